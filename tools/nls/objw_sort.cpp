// Linguistic sort objects with their sections, and the named mapping
// BINARY_AI (type 4, id 16), as the sort lookups and the base-letter mapping
// read them.
#include <cstddef>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <vector>

#include "lxl.h"
#include "lxp.h"
#include "nlsobjw.h"

namespace nlsw {
namespace {

constexpr size_t kMapData = LXMAP_DATA;  // a mapping's data area
// the first-level table and what follows it up to the first block
constexpr size_t kFirstLevelSpan = LXFOLD_BALEVEL2 + LXFOLD_BABLOCK0;
constexpr uint32_t kBlockBase = LXFOLD_BABLOCK0;  // second-level block k at kBlockBase + 1024k
constexpr uint32_t kExpansion = LXFOLD_EXPANSION, kSurrogate = LXFOLD_SUPPLEMENTARY;
constexpr size_t map_word(unsigned k) { return LX_ELEM(lxmapobj, dir, k); }

void align4(Image &img) { img.reserve_to((img.size() + 3) / 4 * 4); }

// A two-level table of 1-byte (keys) or 2-byte (base letters) values.
// Unmapped characters have key 0, and themselves as base letter. A base
// letter table spans 512 16-bit values, of which the low byte indexes the
// first 256.
constexpr size_t kBaseSpan = LXSRT_BASETAB;
Image two_level(const std::map<uint16_t, uint16_t> &values, unsigned width, uint16_t &count) {
  std::map<uint8_t, std::map<uint8_t, uint16_t>> blocks;
  for (auto &v : values) blocks[uint8_t(v.first >> 8)][uint8_t(v.first)] = v.second;
  count = uint16_t(blocks.size());
  Image t;
  const size_t stride = width == 1 ? LXSRT_BLOCKCHARS : 2 * kBaseSpan;
  size_t block = sizeof(lxsrtblk) * blocks.size(), k = 0;
  for (auto &b : blocks) {
    size_t off = block + stride * k;
    if (off > 0xFFFF) throw std::length_error("two-level table too large");
    const size_t e = sizeof(lxsrtblk) * k;
    t.put8(e + offsetof(lxsrtblk, hi), b.first);
    t.put8(e + offsetof(lxsrtblk, b1), 0);
    t.put16(e + offsetof(lxsrtblk, off), uint16_t(off));
    for (unsigned lo = 0; lo < LXSRT_BLOCKCHARS; ++lo) {
      auto it = b.second.find(uint8_t(lo));
      // a base-letter block keeps the characters it does not map
      uint16_t v = it != b.second.end() ? it->second : width == 2 ? uint16_t(b.first << 8 | lo) : 0;
      if (width == 1) t.put8(off + lo, uint8_t(v));
      else t.put16(off + 2 * lo, v);
    }
    if (width == 2)
      for (size_t x = LXSRT_BLOCKCHARS; x < kBaseSpan; ++x) t.put16(off + 2 * x, 0);
    ++k;
  }
  return t;
}

// 12-byte special entries: key, second key, up to three outputs, the
// characters covered (1: whatever follows, 2: with the second key) and the
// number of outputs (up to the last nonzero one). In the other byte order the
// loader reverses the five 16-bit values of every entry.
Image records12(const std::vector<SortRecord> &recs) {
  constexpr unsigned kOutputs = LX_NELEM(lxsrtrec12, v);
  Image t;
  for (size_t i = 0; i < recs.size(); ++i) {
    const size_t at = sizeof(lxsrtrec12) * i;
    const SortRecord &r = recs[i];
    unsigned count = 1;
    for (unsigned k = 0; k < kOutputs; ++k)
      if (r.v[k] != 0) count = k + 1;
    t.put16(at + offsetof(lxsrtrec12, ch), r.ch);
    t.put16(at + offsetof(lxsrtrec12, second), r.second);
    for (unsigned k = 0; k < kOutputs; ++k) t.put16(at + LX_ELEM(lxsrtrec12, v, k), r.v[k]);
    t.put8(at + offsetof(lxsrtrec12, match), r.any_second ? LXSRT_ANY : LXSRT_BOTH);
    t.put8(at + offsetof(lxsrtrec12, nout), uint8_t(count));
  }
  return t;
}

}  // namespace

Image build_sort_object(const SortDesc &d) {
  Image img;
  object_header(img, LX_TSORT);
  for (unsigned o = offsetof(lxsrtobj, id); o < offsetof(lxsrtobj, sect); o += 2) img.put16(o, 0);
  for (unsigned k = 0; k < 49; ++k) img.put32(LX_ELEM(lxsrtobj, sect, k), 0);
  img.put32(offsetof(lxsrtobj, h348), 0);
  img.put16(offsetof(lxsrtobj, id), d.id);
  img.put16(offsetof(lxsrtobj, flags), d.flags);
  img.put16(offsetof(lxsrtobj, cmp_fn), d.cmp_fn);
  img.put16(offsetof(lxsrtobj, key_fn), d.key_fn);

  Image data;  // from LXSRT_NAME on: the name first, then the sections
  data.putname(0, d.name);
  auto place = [&](unsigned k, const Image &t, size_t count) {
    align4(data);
    size_t at = data.append(t, 4);
    img.put32(LX_ELEM(lxsrtobj, sect, k), uint32_t(at));
    img.put16(LX_ELEM(lxsrtobj, h108, k - 1), uint16_t(count));
  };
  Image special, contract;
  for (size_t i = 0; i < d.special.size(); ++i) {
    // a special value: the character and its value, no keys
    const size_t at = sizeof(lxpsplet) * i;
    special.put16(at + offsetof(lxpsplet, ch), d.special[i].first);
    special.put16(at + offsetof(lxpsplet, unused), d.special[i].second);
    special.put32(at + offsetof(lxpsplet, major1), 0);
  }
  for (size_t i = 0; i < d.contracting.size(); ++i) {
    const size_t at = sizeof(lxpcpair) * i;
    contract.put16(at + offsetof(lxpcpair, first), d.contracting[i].first);
    contract.put16(at + offsetof(lxpcpair, second), d.contracting[i].second);
    contract.put32(at + offsetof(lxpcpair, major), 0);
  }
  for (size_t i = 0; i < d.letters.size(); ++i) {
    const size_t at = sizeof(lxpsplet) * (d.special.size() + i);
    special.put16(at + offsetof(lxpsplet, ch), d.letters[i].ch);
    special.put16(at + offsetof(lxpsplet, unused), 0);
    special.put8(at + offsetof(lxpsplet, major1), d.letters[i].major1);
    special.put8(at + offsetof(lxpsplet, minor1), d.letters[i].minor1);
    special.put8(at + offsetof(lxpsplet, major2), d.letters[i].major2);
    special.put8(at + offsetof(lxpsplet, minor2), d.letters[i].minor2);
  }
  for (size_t i = 0; i < d.pairs.size(); ++i) {
    const size_t at = sizeof(lxpcpair) * (d.contracting.size() + i);
    contract.put16(at + offsetof(lxpcpair, first), d.pairs[i].first);
    contract.put16(at + offsetof(lxpcpair, second), d.pairs[i].second);
    contract.put8(at + offsetof(lxpcpair, major), d.pairs[i].major);
    contract.put8(at + offsetof(lxpcpair, minor), d.pairs[i].minor);
    contract.put16(at + offsetof(lxpcpair, unused), 0);
  }
  place(LXSRT_SPECIAL, special, d.special.size() + d.letters.size());
  place(LXSRT_CONTRACT, contract, d.contracting.size() + d.pairs.size());
  place(LXSRT_SUPPER, records12(d.upper), d.upper.size());
  place(LXSRT_SLOWER, records12(d.lower), d.lower.size());
  place(LXSRT_SBASE, records12(d.base_records), d.base_records.size());
  uint16_t n;
  std::map<uint16_t, uint16_t> major(d.major.begin(), d.major.end());
  std::map<uint16_t, uint16_t> minor(d.minor.begin(), d.minor.end());
  Image t = two_level(major, 1, n);
  place(LXSRT_MAJOR, t, n);
  t = two_level(minor, 1, n);
  place(LXSRT_MINOR, t, n);
  t = two_level(d.base_letters, 2, n);
  place(LXSRT_BASE, t, n);
  img.reserve_to(LXSRT_NAME);
  img.append(data, 4);
  finish_object(img);
  return img;
}

Image build_binary_ai(const BinaryAiDesc &d) {
  Image img;
  object_header(img, LX_TMAP);
  img.put32(offsetof(lxmapobj, w92), 0);
  for (unsigned k = 0; k < LX_NELEM(lxmapobj, dir); ++k) img.put32(map_word(k), 0);
  img.put16(offsetof(lxmapobj, id), LXMAP_BINARY_AI);
  img.put16(offsetof(lxmapobj, h290), 0);
  img.reserve_to(kMapData);
  const size_t first = kMapData;
  img.put32(map_word(LXMAP_W_FOLDAREA), uint32_t(first));
  img.put32(map_word(LXMAP_W_FOLDTABLE), uint32_t(first));
  for (size_t k = 0; k < sizeof(lxfoldarea) / sizeof(uint32_t); ++k) img.put32(first + 4 * k, 0);
  img.reserve_to(first + kFirstLevelSpan);

  // expansions and surrogate blocks are indexed in 32-bit values
  std::vector<uint32_t> expansions, surrogates;
  std::map<uint16_t, uint32_t> surrogate_base;  // high unit -> its block
  for (auto &s : d.pairs) {
    uint16_t hi = uint16_t(s.first >> 16);
    if (!surrogate_base.count(hi)) {
      surrogate_base[hi] = uint32_t(surrogates.size());
      surrogates.resize(surrogates.size() + 1024, 0);
    }
    surrogates[surrogate_base[hi] + ((s.first & 0xFFFF) - 0xDC00)] = s.second;
  }
  std::map<uint16_t, uint32_t> value;
  for (auto &m : d.units) {
    if (m.second.size() == 1) {
      value[m.first] = m.second[0];
    } else {
      if (expansions.size() > 0xFFFF) throw std::length_error("expansion table too large");
      value[m.first] = kExpansion | uint32_t(expansions.size());
      expansions.push_back(uint32_t(m.second.size()));
      for (uint16_t u : m.second) expansions.push_back(u);
    }
  }
  for (auto &b : surrogate_base) value[b.first] = kSurrogate | b.second;

  std::map<uint8_t, std::map<uint8_t, uint32_t>> blocks;
  for (auto &v : value) blocks[uint8_t(v.first >> 8)][uint8_t(v.first)] = v.second;
  uint32_t k = 0;
  for (auto &b : blocks) {
    uint32_t off = kBlockBase + LXFOLD_PAGE * k;
    img.put32(first + 4 * b.first, off);
    size_t at = first + LXFOLD_BALEVEL2 + off;
    for (unsigned lo = 0; lo < 256; ++lo) {
      auto it = b.second.find(uint8_t(lo));
      img.put32(at + 4 * lo, it == b.second.end() ? 0 : it->second);
    }
    ++k;
  }
  img.reserve_to((img.size() + 3) / 4 * 4);
  img.put32(map_word(LXMAP_W_FOLDEXP), uint32_t(img.size()));
  for (uint32_t e : expansions) img.put32(img.size(), e);
  img.put32(map_word(LXMAP_W_FOLDSUPP), uint32_t(img.size()));
  for (uint32_t s : surrogates) img.put32(img.size(), s);
  img.put32(map_word(LXMAP_W_NAME), uint32_t(img.size()));  // the name
  img.putname(img.size(), "BINARY_AI");
  finish_object(img);
  return img;
}

}  // namespace nlsw
