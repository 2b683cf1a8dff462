// Special and multilingual linguistic sort objects.
#include <algorithm>
#include <cstddef>
#include <map>
#include <vector>

#include "lxl.h"
#include "nlsobjw.h"

namespace nlsw {

namespace {
constexpr uint16_t kSpecialSort = 0x20;
}

Image build_special_sort(const std::string &name, uint16_t id, uint16_t cmp_fn, uint16_t key_fn) {
  Image img = build_sort(name, id);
  img.put16(offsetof(lxsrtobj, flags), kSpecialSort);
  img.put16(offsetof(lxsrtobj, cmp_fn), cmp_fn);
  img.put16(offsetof(lxsrtobj, key_fn), key_fn);
  return img;
}

}  // namespace nlsw

namespace nlsw {

namespace {

constexpr size_t kData = LXSRT_NAME;  // table offsets are relative to it
constexpr uint32_t kContract = 0x1, kExpand = 0x2, kCanon = 0x4, kDirect = 0x100;
constexpr uint32_t kRefContract = 0xFFC10000u, kRefExpand = 0xFFC20000u, kRefCanon = 0xFFC30000u,
                   kRefSurr = 0xFFC50000u;

struct Writer {
  const MultiSortDesc &d;
  std::vector<uint32_t> expand{0};  // index 0: no expansion
  uint32_t flags;

  // The element value for a list of elements: itself, or an expansion.
  uint32_t value(const std::vector<uint32_t> &e) {
    if (e.size() == 1) return e[0];
    if (e.empty()) return 0;
    flags |= kExpand;
    uint32_t i = static_cast<uint32_t>(expand.size());
    expand.push_back(static_cast<uint32_t>(e.size()));
    expand.insert(expand.end(), e.begin(), e.end());
    return kRefExpand | i;
  }
  // A unit's own element value (0 when it has none).
  uint32_t own(uint16_t u) {
    auto x = d.expansions.find(u);
    if (x != d.expansions.end()) return value(x->second);
    auto e = d.elements.find(u);
    return e == d.elements.end() ? 0 : e->second;
  }
};

void put_be16(std::vector<uint8_t> &b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v >> 8);
  b[at + 1] = static_cast<uint8_t>(v);
}

}  // namespace

Image build_multi_sort(const MultiSortDesc &d) {
  Image img = build_sort(d.name, d.id);
  Writer w{d, {0}, d.flags};
  std::map<uint16_t, uint32_t> unit;  // the main table's values
  for (const auto &e : d.elements) unit[e.first] = e.second;
  for (const auto &x : d.expansions) unit[x.first] = w.value(x.second);

  // Contractions, chained by first unit, longest first.
  std::map<uint16_t, std::vector<std::pair<std::vector<uint16_t>, std::vector<uint32_t>>>> chains;
  for (const auto &c : d.contractions) chains[c.first.at(0)].push_back(c);
  Image con;
  uint32_t nentries = 0;
  for (auto &ch : chains) {
    auto &list = ch.second;
    std::stable_sort(list.begin(), list.end(),
                     [](const auto &a, const auto &b) { return a.first.size() > b.first.size(); });
    if (list.back().first.size() != 1) list.push_back({{ch.first}, {}});
    uint32_t first = nentries;
    for (size_t k = 0; k < list.size(); ++k) {
      const auto &units = list[k].first;
      size_t at = static_cast<size_t>(nentries) * 20;
      con.reserve_to(at + 20);
      uint32_t v = units.size() == 1 && list[k].second.empty() ? w.own(ch.first) : w.value(list[k].second);
      con.put32(at, v);
      con.put8(at + 4, k + 1 < list.size() ? 1 : 0);
      con.put8(at + 5, static_cast<uint8_t>(2 * units.size()));
      for (size_t i = 0; i < units.size() && i < 7; ++i) put_be16(con.bytes, at + 6 + 2 * i, units[i]);
      ++nentries;
    }
    unit[ch.first] = kRefContract | first;
    w.flags |= kContract;
  }

  // Canonical entries, by combining unit, sorted by key; key 0 first.
  Image can;
  uint32_t ncan = 0;
  std::map<uint16_t, std::vector<std::pair<uint32_t, uint32_t>>> marks;
  for (const auto &c : d.canonicals)
    marks[c.first.mark].push_back({static_cast<uint32_t>(c.first.base) << 16 | c.first.between, c.second});
  for (auto &m : marks) {
    auto &list = m.second;
    uint32_t self = w.own(m.first);
    if (self != 0) list.push_back({0, self});
    std::sort(list.begin(), list.end());
    uint32_t first = ncan;
    for (size_t k = 0; k < list.size(); ++k) {
      size_t at = static_cast<size_t>(ncan) * 12;
      can.reserve_to(at + 12);
      put_be16(can.bytes, at, static_cast<uint16_t>(list[k].first >> 16));
      put_be16(can.bytes, at + 2, static_cast<uint16_t>(list[k].first));
      can.put32(at + 4, list[k].second);
      put_be16(can.bytes, at + 8, m.first);
      can.put8(at + 10, k == 0 ? static_cast<uint8_t>(list.size()) : 0);
      ++ncan;
    }
    unit[m.first] = kRefCanon | first;
    w.flags |= kCanon;
  }

  // Supplementary characters: one block per group of 64 high surrogates,
  // 1024 elements for each high surrogate used in it.
  std::map<uint16_t, std::map<uint16_t, uint32_t>> highs;  // high -> low -> element
  for (const auto &s : d.supplementary) {
    uint32_t v = s.first - 0x10000;
    highs[static_cast<uint16_t>(0xD800 + (v >> 10))][static_cast<uint16_t>(0xDC00 + (v & 0x3FF))] =
        w.value(s.second);
  }
  std::map<unsigned, std::vector<uint16_t>> groups;  // group -> its highs in order
  for (const auto &h : highs) groups[(h.first - 0xD800) >> 6].push_back(h.first);

  // Main table: block 0 is all zeros.
  std::map<unsigned, unsigned> blocks;  // high byte -> block number
  for (const auto &u : unit) blocks.emplace(u.first >> 8, 0);
  for (const auto &h : highs) blocks.emplace(h.first >> 8, 0);
  unsigned nb = 1;
  for (auto &b : blocks) b.second = nb++;
  Image main;
  main.reserve_to(516 + 4 * 256 * nb);
  for (unsigned hb = 0; hb < 256; ++hb) {
    auto b = blocks.find(hb);
    main.put16(2 * hb, static_cast<uint16_t>(b == blocks.end() ? 0 : 256 * b->second));
  }
  for (unsigned i = 0; i < 256 * nb; ++i) main.put32(516 + 4 * i, 0);
  auto set_unit = [&](uint16_t u, uint32_t v) { main.put32(516 + 4 * (256 * blocks.at(u >> 8) + (u & 0xFF)), v); };
  for (const auto &u : unit) set_unit(u.first, u.second);

  // The surrogate table: an offset per group of 64 high surrogates.
  constexpr unsigned kSurrGroups = 1024 / 64;
  std::map<unsigned, Image> sblocks;
  for (const auto &g : groups) {
    Image blk;
    blk.reserve_to(4 * 1024 * g.second.size());
    for (size_t k = 0; k < g.second.size(); ++k) {
      uint16_t hi = g.second[k];
      set_unit(hi, kRefSurr | static_cast<uint32_t>(k * 1024));
      for (unsigned lo = 0; lo < 1024; ++lo) blk.put32(4 * (k * 1024 + lo), 0);
      for (const auto &l : highs.at(hi)) blk.put32(4 * (k * 1024 + (l.first - 0xDC00)), l.second);
    }
    sblocks[g.first] = blk;
  }
  Image exp;
  for (size_t i = 0; i < w.expand.size(); ++i) exp.put32(4 * i, w.expand[i]);

  Image dir;
  if (d.direct) {
    for (unsigned u = 0; u < 256; ++u) {
      auto x = d.expansions.find(static_cast<uint16_t>(u));
      uint32_t a = 0, b = 0;
      if (x != d.expansions.end() && x->second.size() == 2) {
        a = x->second[0];
        b = x->second[1];
      } else {
        auto m = unit.find(static_cast<uint16_t>(u));
        if (m != unit.end()) a = m->second;
      }
      dir.put32(8 * u, a);
      dir.put32(8 * u + 4, b);
    }
    w.flags |= kDirect;
  }

  auto place = [&](const Image &t) { return static_cast<uint32_t>(img.append(t, 4) - kData); };
  img.reserve_to(kData + 64);  // past the name
  img.put32(188, place(main));
  img.put32(196, place(exp));
  // The comparison tells a contraction table by its offset differing from
  // the expansion table's.
  img.put32(192, con.size() ? place(con) : img.get32(196));
  img.put32(200, place(can.size() ? can : Image{}));
  Image surr;
  for (unsigned g = 0; g < kSurrGroups; ++g) surr.put32(4 * g, 0);
  for (auto &sb : sblocks) surr.put32(4 * sb.first, place(sb.second));
  img.put32(204, place(surr));
  if (d.direct) img.put32(212, place(dir));
  img.put32(152, w.flags);
  img.put8(348, d.compose);
  finish_object(img);
  return img;
}

}  // namespace nlsw
