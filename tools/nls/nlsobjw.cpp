// Writer of NLS boot and data-object files.
#include "nlsobjw.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "lxc.h"
#include "lxl.h"
#include "vzclient.h"

namespace nlsw {

// Every field is placed at its offset in the records the readers use
// (lxf.h), so that writer and reader share one layout.

bool host_big_endian() { return lxlhostorder() != 0; }

void Image::put16(size_t at, uint16_t v) {
  reserve_to(at + 2);
  std::memcpy(&bytes[at], &v, 2);
  nums_.push_back({at, 2});
}
void Image::put32(size_t at, uint32_t v) {
  reserve_to(at + 4);
  std::memcpy(&bytes[at], &v, 4);
  nums_.push_back({at, 4});
}
void Image::putname(size_t at, const std::string &s, size_t room) {
  if (room == 0) room = s.size() + 1;
  reserve_to(at + room);
  size_t n = std::min(s.size(), room - 1);
  std::memcpy(&bytes[at], s.data(), n);
  bytes[at + n] = 0;
  names_.push_back({at, n});
}
uint16_t Image::get16(size_t at) const {
  uint16_t v;
  std::memcpy(&v, &bytes[at], 2);
  return v;
}
uint32_t Image::get32(size_t at) const {
  uint32_t v;
  std::memcpy(&v, &bytes[at], 4);
  return v;
}
size_t Image::append(const Image &other, size_t align) {
  size_t at = (bytes.size() + align - 1) / align * align;
  reserve_to(at);
  bytes.insert(bytes.end(), other.bytes.begin(), other.bytes.end());
  for (auto &n : other.nums_) nums_.push_back({n.first + at, n.second});
  for (auto &n : other.names_) names_.push_back({n.first + at, n.second});
  return at;
}
void Image::to_other_order(size_t flagat) {
  std::set<size_t> done;  // a number placed twice is reversed once
  for (auto &n : nums_) {
    if (!done.insert(n.first).second) continue;
    std::reverse(bytes.begin() + n.first, bytes.begin() + n.first + n.second);
  }
  bytes[flagat] ^= LX_FMT_BIGENDIAN;
}
uint8_t ascii_to_ebcdic(uint8_t c) {
  static uint8_t inv[256];
  static bool made = false;
  if (!made) {
    for (int e = 255; e >= 0; --e) {
      uint8_t in = (uint8_t)e, out;
      slste2a(&out, &in, 1);
      inv[out] = in;
    }
    made = true;
  }
  return inv[c];
}
void Image::to_ebcdic(size_t flagat) {
  for (auto &n : names_)
    for (size_t i = 0; i < n.second; ++i) bytes[n.first + i] = ascii_to_ebcdic(bytes[n.first + i]);
  bytes[flagat] &= (uint8_t)~LX_FMT_ASCII;
}

void object_header(Image &img, uint16_t type) {
  img.put32(offsetof(lxnlsobj, version), LX_MINVERSION);
  img.put32(offsetof(lxnlsobj, release), LX_RELEASE);
  img.put32(offsetof(lxnlsobj, size), 0);
  img.put32(offsetof(lxnlsobj, word3), 0);
  img.put32(offsetof(lxnlsobj, word4), 0);
  img.put16(offsetof(lxnlsobj, type), type);
  img.put16(offsetof(lxnlsobj, reserved), 0);
  img.put8(offsetof(lxnlsobj, magic), LX_OBJMAGIC);
  img.put8(offsetof(lxnlsobj, fmtflags), (uint8_t)(lxlhostorder() | LX_FMT_ASCII));
  img.reserve_to(LX_OBJHDR);
}
void finish_object(Image &img) {
  size_t n = (img.size() + 3) / 4 * 4;
  img.reserve_to(n);
  uint32_t sz = (uint32_t)n;
  std::memcpy(&img.bytes[offsetof(lxnlsobj, size)], &sz, 4);  // already recorded as a number
}

// ---- Character sets -------------------------------------------------------

namespace {

uint16_t class_of(uint32_t cp) {
  uint16_t c = 0;
  bool up = (cp >= 'A' && cp <= 'Z') || (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7);
  bool lo = (cp >= 'a' && cp <= 'z') || (cp >= 0xDF && cp <= 0xFF && cp != 0xF7);
  if (up) c |= LXCC_UPPER | LXCC_ALPHA;
  if (lo) c |= LXCC_LOWER | LXCC_ALPHA;
  if (cp >= '0' && cp <= '9') c |= LXCC_DIGIT | LXCC_XDIGIT;
  if ((cp >= 'a' && cp <= 'f') || (cp >= 'A' && cp <= 'F')) c |= LXCC_XDIGIT;
  if (cp == ' ' || (cp >= 9 && cp <= 13)) c |= LXCC_SPACE;
  if (cp == ' ' || cp == 0xA0) c |= LXCC_BLANK;
  if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0)) c |= LXCC_CNTRL;
  if ((cp > 0x20 && cp < 0x7F && !(c & (LXCC_ALPHA | LXCC_XDIGIT))) || (cp >= 0xA1 && cp <= 0xBF))
    c |= LXCC_PUNCT;
  return c;
}

uint32_t upper_cp(uint32_t cp) {
  if ((cp >= 'a' && cp <= 'z') || (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7)) return cp - 0x20;
  return cp;
}
uint32_t lower_cp(uint32_t cp) {
  if ((cp >= 'A' && cp <= 'Z') || (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7)) return cp + 0x20;
  return cp;
}

// id-799 code of a Unicode value, from the built-in wide object.
uint16_t code799(uint32_t cp) {
  const uint8_t *t = (const uint8_t *)lxdlwkb + LXCS_WKBVALUES;
  for (uint16_t code = 0; code < LXCS_WKBCODES; ++code) {
    uint16_t v;
    std::memcpy(&v, t + 2 * code, 2);
    if (v == cp && v != 0xFFFD) return code;
  }
  return 128;
}

// Encoding rows (table 14) for the code points in one plane.
Image build_rows(const std::map<uint16_t, std::vector<uint8_t>> &u2m, unsigned width,
                 bool sparse_ok) {
  Image t;
  t.reserve_to(LXCSR_ROWS * sizeof(lxcsrow));
  auto record = [&](unsigned hi, uint32_t at, uint8_t flags) {
    const size_t r = sizeof(lxcsrow) * hi;
    t.put32(r + offsetof(lxcsrow, at), at);
    t.put8(r + offsetof(lxcsrow, prefix), 0);
    t.put8(r + offsetof(lxcsrow, flags), flags);
    t.put16(r + offsetof(lxcsrow, h6), 0);
  };
  for (unsigned hi = 0; hi < LXCSR_ROWS; ++hi) {
    std::vector<std::pair<unsigned, const std::vector<uint8_t> *>> row;
    for (auto it = u2m.lower_bound((uint16_t)(hi << 8)); it != u2m.end() && (it->first >> 8) == hi;
         ++it)
      row.push_back({it->first & 0xFFu, &it->second});
    if (row.empty()) {
      record(hi, 0, 0);
      continue;
    }
    // A dense row reads an unmapped low byte's zero entry as U+0000's byte,
    // so a row with any gap is sparse, where a gap is a missing bit and the
    // encoder replaces the character and marks the loss.
    bool sparse = sparse_ok && row.size() < LXCSR_ENTRIES;
    Image d;
    auto entry = [&](size_t at, const std::vector<uint8_t> &b) {
      size_t off = width - std::min<size_t>(width, b.size());
      for (size_t i = 0; i < b.size() && i < width; ++i) d.put8(at + off + i, b[i]);
      d.reserve_to(at + width);
    };
    if (sparse) {
      d.reserve_to(LXCSR_BITMAP);
      for (size_t k = 0; k < row.size(); ++k) {
        unsigned lo = row[k].first;
        d.bytes[lo >> 3] |= (uint8_t)(1u << (lo & 7));
        entry(LXCSR_BITMAP + k * width, *row[k].second);
      }
    } else {
      d.reserve_to(LXCSR_ENTRIES * width);
      for (auto &r : row) entry(r.first * width, *r.second);
    }
    size_t at = t.append(d, 4);
    record(hi, (uint32_t)at, (uint8_t)(width | (sparse ? LXCSR_SPARSE : 0)));
  }
  return t;
}

uint32_t to_unit_value(uint32_t cp) {
  if (cp <= 0xFFFF) return cp;
  cp -= 0x10000;
  return ((0xD800u | (cp >> 10)) << 16) | (0xDC00u | (cp & 0x3FF));
}

// A byte trie: 256-node blocks {32-bit offset; flag bytes: leaf, 32-bit
// leaf}, one per prefix followed by more than its last byte, then leaf blocks
// of 256 values (fill where no character), indexed by the last byte.
// nodes receives the number of nodes ahead of the leaf blocks.
Image build_trie(const std::map<std::vector<uint8_t>, uint32_t> &entries, bool wide, uint32_t fill,
                 size_t &nodes) {
  Image t;
  std::map<std::vector<uint8_t>, size_t> nodeblk, leafblk;
  nodeblk[{}] = 0;
  for (auto &m : entries) {
    if (m.first.size() < 2) continue;
    for (size_t k = 1; k + 1 < m.first.size(); ++k)
      nodeblk.emplace(std::vector<uint8_t>(m.first.begin(), m.first.begin() + k), 0);
    leafblk.emplace(std::vector<uint8_t>(m.first.begin(), m.first.end() - 1), 0);
  }
  size_t at = 0;
  for (auto &n : nodeblk) {
    n.second = at;
    at += 256 * 8;
  }
  nodes = nodeblk.size() * kTrieBlockNodes;
  for (size_t i = 0; i < nodes; ++i) {
    t.put32(8 * i, 0);
    t.reserve_to(8 * i + 8);
  }
  size_t leafw = wide ? 4 : 2;
  for (auto &l : leafblk) {
    l.second = at;
    for (unsigned b = 0; b < 256; ++b) {
      if (wide)
        t.put32(at + 4 * b, fill);
      else
        t.put16(at + 2 * b, (uint16_t)fill);
    }
    at += 256 * leafw;
  }
  // Link every node to its child block or leaf.
  for (auto &n : nodeblk) {
    for (unsigned b = 0; b < 256; ++b) {
      std::vector<uint8_t> p = n.first;
      p.push_back((uint8_t)b);
      auto ni = nodeblk.find(p);
      auto li = leafblk.find(p);
      size_t slot = n.second + 8 * b;
      if (ni != nodeblk.end() && ni->second != 0) {
        uint32_t o = (uint32_t)ni->second;
        std::memcpy(&t.bytes[slot], &o, 4);
      } else if (li != leafblk.end()) {
        uint32_t o = (uint32_t)li->second;
        std::memcpy(&t.bytes[slot], &o, 4);
        t.bytes[slot + 4] = 1;
        t.bytes[slot + 5] = wide ? 1 : 0;
      }
    }
  }
  for (auto &m : entries) {
    if (m.first.size() < 2) continue;
    size_t leaf = leafblk[std::vector<uint8_t>(m.first.begin(), m.first.end() - 1)];
    if (wide) {
      uint32_t v = m.second;
      std::memcpy(&t.bytes[leaf + 4 * m.first.back()], &v, 4);
    } else {
      uint16_t v = (uint16_t)m.second;
      std::memcpy(&t.bytes[leaf + 2 * m.first.back()], &v, 2);
    }
  }
  return t;
}

// The 16-bit size of a trie's node area as the byte-order fix-up reads it:
// in nodes for the decoding trie, in bytes for the class and property tries.
// kTrieAreaTooLarge (no whole number of nodes) marks an area the field cannot
// hold; such a set is written in the host's byte order only.
uint16_t node_area(size_t nodes, size_t unit) {
  size_t n = nodes * unit;
  return n > kTrieAreaMax ? kTrieAreaTooLarge : (uint16_t)n;
}

// Sorted records {32-bit key; 32-bit value} (pairs, combining classes,
// numeric values).
Image build_records(const std::map<uint32_t, uint32_t> &recs) {
  Image t;
  size_t at = 0;
  for (auto &r : recs) {
    t.put32(at, r.first);
    t.put32(at + 4, r.second);
    at += 8;
  }
  return t;
}

Image build_deltas(const std::vector<int32_t> &d) {
  Image t;
  for (size_t i = 0; i < d.size(); ++i) t.put32(4 * i, (uint32_t)d[i]);
  return t;
}

}  // namespace

Image build_charset(const CharsetDesc &desc) {
  Image img;
  object_header(img, LX_TCS);
  img.reserve_to(LXCS_DATA);
  uint32_t flags = desc.flags;
  if (desc.kind == CsKind::Trie) flags |= LXCSF_TRIE;
  if (desc.kind == CsKind::Trie32) flags |= LXCSF_TRIE | LXCSF_LEAF32;
  if (desc.maxbytes == 1) flags |= LXCSF_FIXED;

  // Single bytes and multibyte characters.
  uint16_t sbu[256];
  std::fill(sbu, sbu + 256, 0xFFFF);
  uint16_t bclass[256] = {};
  std::map<std::vector<uint8_t>, uint32_t> mb;
  for (auto &m : desc.map) {
    if (m.first.size() == 1) {
      sbu[m.first[0]] = (uint16_t)(m.second <= 0xFFFF ? m.second : 0xFFFD);
      bclass[m.first[0]] = class_of(m.second);
    } else if (!m.first.empty()) {
      mb[m.first] = m.second;
      bclass[m.first[0]] = (uint16_t)((bclass[m.first[0]] & ~3u) | (m.first.size() - 1));
    }
  }
  bool ascii = sbu[0x41] == 'A' && sbu[0x30] == '0';
  if (ascii) flags |= LXCSF_ASCII;
  for (int b = 0; b < 256; ++b)
    if (sbu[b] == 0xFFFF) sbu[b] = 0xFFFD;

  uint8_t lead_lo = 0, lead_hi = 0, trail_lo = 0, trail_hi = 0;
  uint16_t rowlen = 0;
  if (!mb.empty()) {
    lead_lo = trail_lo = 0xFF;
    for (auto &m : mb) {
      lead_lo = std::min(lead_lo, m.first[0]);
      lead_hi = std::max(lead_hi, m.first[0]);
      trail_lo = std::min(trail_lo, m.first.back());
      trail_hi = std::max(trail_hi, m.first.back());
    }
    rowlen = (uint16_t)(trail_hi - trail_lo + 1);
  }
  if (desc.kind == CsKind::Trie32) {
    trail_lo = 0;
    trail_hi = 0xFF;
  }

  img.put16(offsetof(lxcsobj, id), desc.id);
  img.put16(offsetof(lxcsobj, w94), 31);
  img.put32(offsetof(lxcsobj, flags), flags);
  img.put16(offsetof(lxcsobj, rowlen), desc.kind == CsKind::Fixed2 ? rowlen : 0);
  for (unsigned k = 0; k < 3; ++k) img.put16(LX_ELEM(lxcsobj, h102, k), 0);
  img.put8(offsetof(lxcsobj, sb_repl), desc.sb_repl);
  // Fixed table: lowest lead byte; trie: highest allowed last byte.
  img.put8(offsetof(lxcsobj, lead_lo), desc.kind == CsKind::Fixed2 ? lead_lo : trail_hi);
  img.put8(offsetof(lxcsobj, trail_lo), trail_lo);
  img.put8(offsetof(lxcsobj, shift_in), desc.shift_in);
  img.put8(offsetof(lxcsobj, shift_out), desc.shift_out);
  img.put8(offsetof(lxcsobj, maxbytes), desc.maxbytes);
  img.put8(offsetof(lxcsobj, lead_hi), lead_hi);
  img.put16(offsetof(lxcsobj, h122), 0);
  img.put32(offsetof(lxcsobj, mb_repl), desc.mb_repl);
  img.put32(offsetof(lxcsobj, pad), desc.pad);
  img.put32(offsetof(lxcsobj, w132), '_');
  img.put32(offsetof(lxcsobj, w136), '%');
  for (int b = 0; b < 256; ++b) img.put16(LX_ELEM(lxcsobj, bclass, b), bclass[b]);
  // A UTF-16 set has a 16-bit case table where the byte tables would be.
  if (desc.id == LXCS_AL16UTF16)
    for (int b = 0; b < 256; ++b) img.put16(offsetof(lxcsobj, upper) + 2 * b, 0);
  for (int b = 0; b < 256; ++b) {
    uint8_t up = (uint8_t)b, lo = (uint8_t)b;
    for (int c = 0; c < 256; ++c) {
      if (sbu[b] != 0xFFFD && sbu[c] == upper_cp(sbu[b]) && upper_cp(sbu[b]) != sbu[b]) up = (uint8_t)c;
      if (sbu[b] != 0xFFFD && sbu[c] == lower_cp(sbu[b]) && lower_cp(sbu[b]) != sbu[b]) lo = (uint8_t)c;
    }
    if (desc.id != LXCS_AL16UTF16) {
      img.put8(LX_ELEM(lxcsobj, upper, b), up);
      img.put8(LX_ELEM(lxcsobj, lower, b), lo);
    }
    img.put16(LX_ELEM(lxcsobj, sbu, b), sbu[b]);
    img.put16(LX_ELEM(lxcsobj, sb799, b), code799(sbu[b]));
  }
  for (int k = 0; k < 48; ++k) img.put16(LX_ELEM(lxcsobj, counts, k), 0);
  for (auto &c : desc.byte_classes) img.put16(LX_ELEM(lxcsobj, bclass, c.first), c.second);
  for (size_t b = 0; b < desc.upper16.size() && b < 256; ++b)
    img.put16(LX_ELEM(lxcsobj, sbu, b), desc.upper16[b]);
  for (size_t b = 0; b < desc.lower16.size() && b < 256; ++b)
    img.put16(LX_ELEM(lxcsobj, sb799, b), desc.lower16[b]);
  for (size_t b = 0; b < desc.latin_props.size() && b < 256; ++b)
    img.put16(offsetof(lxcsobj, upper) + 2 * b, desc.latin_props[b]);

  // Data area: table 12, table 14, table 46.
  Image data;
  Image t12;
  size_t nodes = 0;
  if (desc.kind == CsKind::Fixed2 && !mb.empty()) {
    size_t rows = (size_t)(lead_hi - lead_lo + 1);
    for (size_t i = 0; i < rows * rowlen; ++i) t12.put16(2 * i, 0xFFFD);
    for (auto &m : mb) {
      if (m.first.size() != 2) continue;
      size_t at = (size_t)(m.first[0] - lead_lo) * rowlen + (m.first[1] - trail_lo);
      uint16_t v = (uint16_t)to_unit_value(m.second);
      std::memcpy(&t12.bytes[2 * at], &v, 2);
    }
  } else if ((desc.kind == CsKind::Trie || desc.kind == CsKind::Trie32) && !mb.empty()) {
    bool wide = desc.kind == CsKind::Trie32;
    std::map<std::vector<uint8_t>, uint32_t> leaves;
    for (auto &m : mb) leaves[m.first] = wide ? m.second : to_unit_value(m.second);
    t12 = build_trie(leaves, wide, 0xFFFD, nodes);
  }

  // Encoding rows: every character, shortest byte form first.
  std::map<uint32_t, std::vector<uint8_t>> cp2b;
  for (auto &m : desc.map) {
    auto it = cp2b.find(m.second);
    if (it == cp2b.end() || m.first.size() < it->second.size()) cp2b[m.second] = m.first;
  }
  unsigned width = 1;
  for (auto &c : cp2b) width = std::max<unsigned>(width, (unsigned)c.second.size());
  if (width == 1 && desc.maxbytes > 1) width = 2;
  Image t14;
  if (desc.kind == CsKind::Trie32) {
    std::map<unsigned, std::map<uint16_t, std::vector<uint8_t>>> planes;
    for (auto &c : cp2b) planes[(c.first >> 16) & 0xFF][(uint16_t)c.first] = c.second;
    for (unsigned p = 0; p < LXCSR_PLANES; ++p) t14.put32(4 * p, LXCSR_NOPLANE);
    t14.reserve_to(4 * LXCSR_PLANES);
    for (auto &pl : planes) {
      Image rows = build_rows(pl.second, width, desc.sparse_rows);
      size_t at = t14.append(rows, 8);
      uint32_t off = (uint32_t)(at - 4 * LXCSR_PLANES);
      std::memcpy(&t14.bytes[4 * pl.first], &off, 4);
    }
  } else {
    std::map<uint16_t, std::vector<uint8_t>> bmp;
    for (auto &c : cp2b)
      if (c.first <= 0xFFFF) bmp[(uint16_t)c.first] = c.second;
    t14 = build_rows(bmp, width, desc.sparse_rows);
  }

  uint32_t dir[48];
  static_assert(sizeof dir == sizeof(lxcsobj::dir));
  std::map<int, Image> tables;  // by directory index, laid out in that order
  size_t class_nodes = 0, prop_nodes = 0;
  bool equivalents = !desc.equivalents.empty();
  if (equivalents) {
    // one 32-bit value per single byte, indexed by the byte itself
    Image t4;
    uint8_t first = desc.equivalents.begin()->first, last = desc.equivalents.rbegin()->first;
    for (unsigned b = 0; b <= last; ++b) t4.put32(4 * b, 0);
    for (auto &e : desc.equivalents) t4.put32(4 * e.first, e.second);
    tables[LXCT_EQUIV] = t4;
    img.put8(offsetof(lxcsobj, eq_first), first);
    img.put8(offsetof(lxcsobj, eq_last), last);
  }
  if (!desc.classes.empty()) {
    std::map<std::vector<uint8_t>, uint32_t> c(desc.classes.begin(), desc.classes.end());
    tables[LXCT_CLASS] = build_trie(c, false, 0, class_nodes);
  }
  if (!desc.properties.empty()) {
    std::map<std::vector<uint8_t>, uint32_t> c(desc.properties.begin(), desc.properties.end());
    tables[LXCT_PROP] = build_trie(c, false, 0, prop_nodes);
  }
  bool deltas = (flags & LXCSF_CASEDELTA) != 0;
  tables[LXCT_UPPER] = deltas ? build_deltas(desc.upper_deltas) : build_records(desc.upper_pairs);
  tables[LXCT_LOWER] = deltas ? build_deltas(desc.lower_deltas) : build_records(desc.lower_pairs);
  tables[LXCT_COMBINING] = build_records(desc.combining);
  tables[LXCT_NUMERIC] = build_records(desc.numeric);
  if (!desc.compose.empty()) {
    Image t15;
    for (size_t i = 0; i < desc.compose.size(); ++i) t15.put16(2 * i, desc.compose[i]);
    tables[LXCT_COMPOSE] = t15;
  }
  tables[LXCT_M2U] = t12;
  tables[LXCT_U2M] = t14;
  Image nm;
  nm.putname(0, desc.name);
  tables[LXCT_NAME] = nm;
  for (int k = 0; k < 47; ++k) {
    auto it = tables.find(k);
    dir[k] = (uint32_t)(it == tables.end() ? (data.size() + 3) / 4 * 4 : data.append(it->second, 4));
  }
  dir[47] = (uint32_t)data.size();
  for (int k = 0; k < 48; ++k) img.put32(LX_ELEM(lxcsobj, dir, k), dir[k]);
  img.put16(LX_ELEM(lxcsobj, counts, LXCT_CLASS), node_area(class_nodes, kTrieNodeSize));
  img.put16(LX_ELEM(lxcsobj, counts, LXCT_PROP), node_area(prop_nodes, kTrieNodeSize));
  img.put16(LX_ELEM(lxcsobj, counts, LXCT_M2U), node_area(nodes, 1));
  img.put16(LX_ELEM(lxcsobj, counts, LXCT_EQUIV), equivalents ? 1 : 0);
  img.put16(LX_ELEM(lxcsobj, counts, LXCT_UPPER), deltas ? 0 : (uint16_t)desc.upper_pairs.size());
  img.put16(LX_ELEM(lxcsobj, counts, LXCT_LOWER), deltas ? 0 : (uint16_t)desc.lower_pairs.size());
  img.append(data, 4);
  finish_object(img);
  return img;
}

Image build_stateful(const StatefulDesc &desc) {
  Image img;
  object_header(img, LX_TCS);
  img.reserve_to(LXCS_DATA);
  img.put16(offsetof(lxcsstobj, id), desc.id);
  img.put16(offsetof(lxcsstobj, w94), 31);
  img.put32(offsetof(lxcsstobj, flags), LXCSF_STATEFUL | (desc.locking_shifts ? LXCSF_SHIFT : 0u));
  img.put8(offsetof(lxcsstobj, longest), desc.longest);
  img.put8(offsetof(lxcsstobj, base_longest), desc.base_longest);
  img.put8(offsetof(lxcsstobj, one_base), desc.one_base ? 1 : 0);
  img.put8(offsetof(lxcsstobj, h103), 0);
  constexpr size_t kDesig = sizeof(lxcsstent::desig), kShift = sizeof(lxcsstent::shift),
                   kPattern = sizeof(lxcsstent::pattern);
  for (size_t i = 0; i < desc.entries.size() && i < LXCS_STENTRIES; ++i) {
    const StatefulEntry &e = desc.entries[i];
    size_t at = LX_ELEM(lxcsstobj, ent, i);
    for (size_t k = 0; k < e.designation.size() && k < kDesig; ++k)
      img.put8(at + LX_ELEM(lxcsstent, desig, k), e.designation[k]);
    for (size_t k = 0; k < e.shift.size() && k < kShift; ++k)
      img.put8(at + LX_ELEM(lxcsstent, shift, k), e.shift[k]);
    img.put16(at + offsetof(lxcsstent, dlen), (uint16_t)std::min(e.designation.size(), kDesig));
    img.put16(at + offsetof(lxcsstent, slen), (uint16_t)std::min(e.shift.size(), kShift));
    img.put16(at + offsetof(lxcsstent, base), e.base);
    for (size_t k = 0; k < e.pattern.size() && k < kPattern; ++k)
      img.put8(at + LX_ELEM(lxcsstent, pattern, k), e.pattern[k]);
    img.put32(at + offsetof(lxcsstent, single), e.single_shift ? 1u : 0u);
    img.put8(at + offsetof(lxcsstent, blen), e.base_len);
  }
  Image data;
  data.putname(0, desc.name);
  size_t end = data.size();
  for (unsigned k = 0; k < LXCT_COUNT - 1; ++k) img.put32(LX_ELEM(lxcsobj, dir, k), 0);
  img.put32(LX_ELEM(lxcsobj, dir, LXCT_COUNT - 1), (uint32_t)end);
  img.append(data, 4);
  finish_object(img);
  return img;
}

bool read_map(const std::string &path, CharsetDesc &desc, std::string &err) {
  std::ifstream in(path);
  if (!in) {
    err = "cannot open " + path;
    return false;
  }
  std::string line;
  while (std::getline(in, line)) {
    auto hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream ls(line);
    std::string b, u;
    if (!(ls >> b >> u)) continue;
    if (b.rfind("0x", 0) != 0 || u.rfind("0x", 0) != 0 || b.size() % 2) {
      err = "bad line in " + path + ": " + line;
      return false;
    }
    std::vector<uint8_t> bytes;
    for (size_t i = 2; i < b.size(); i += 2) bytes.push_back((uint8_t)std::stoul(b.substr(i, 2), nullptr, 16));
    desc.map.push_back({bytes, (uint32_t)std::stoul(u.substr(2), nullptr, 16)});
  }
  return true;
}

// ---- Languages and territories --------------------------------------------

namespace {

// Places UTF-16 strings in a pool: field f of fields gets the pool offset of
// texts[f]; the entry at fields.back() gets the ASCII name.
void pool_strings(Image &img, size_t pool, const std::vector<std::pair<unsigned, std::string>> &texts,
                  unsigned namefield, const std::string &name) {
  size_t at = 0;
  for (auto &t : texts) {
    img.put16(t.first, (uint16_t)at);
    for (unsigned char c : t.second) {
      img.put16(pool + at, c);
      at += 2;
    }
    img.put16(pool + at, 0);
    at += 2;
  }
  img.put16(namefield, (uint16_t)at);
  img.putname(pool + at, name);
}

}  // namespace

CharsetDesc ascii_charset(const std::string &name, uint16_t id) {
  CharsetDesc s;
  s.name = name;
  s.id = id;
  for (uint32_t c = 0; c < 128; ++c) s.map.push_back({{static_cast<uint8_t>(c)}, c});
  return s;
}

LanguageDesc american() {
  LanguageDesc s;
  s.name = "AMERICAN";
  s.days = {"sunday", "monday", "tuesday", "wednesday", "thursday", "friday", "saturday"};
  s.abbr_days = {"sun", "mon", "tue", "wed", "thu", "fri", "sat"};
  s.months = {"january", "february", "march", "april", "may", "june", "july", "august",
              "september", "october", "november", "december"};
  s.abbr_months = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
  return s;
}

Image build_language(const LanguageDesc &s) {
  Image img;
  object_header(img, LX_TLANG);
  img.put32(offsetof(lxlanobj, flags), s.flags);
  for (unsigned o = offsetof(lxlanobj, id); o < LXLAN_POOL; o += 2) img.put16(o, 0);
  img.put16(offsetof(lxlanobj, id), s.id);
  img.put16(offsetof(lxlanobj, ter), s.territory);
  img.put16(offsetof(lxlanobj, cs), s.charset);
  img.put16(offsetof(lxlanobj, sort), s.sort);
  // Texts by their field number (the offset of their pool-offset field).
  std::map<unsigned, std::string> f;
  f[LXLAN_ABBR] = s.abbrev;
  auto list = [&](unsigned first, const std::vector<std::string> &v) {
    for (size_t i = 0; i < v.size(); ++i) f[first + 2 * (unsigned)i] = v[i];
  };
  list(LXLAN_ABDAY, s.abbr_days);
  list(LXLAN_DAY, s.days);
  list(LXLAN_ABMONTH, s.abbr_months);
  list(LXLAN_MONTH, s.months);
  f[LXLAN_YES] = s.yes;
  f[LXLAN_NO] = s.no;
  f[LXLAN_AM] = s.am;
  f[LXLAN_PM] = s.pm;
  f[LXLAN_AD] = s.ad;
  f[LXLAN_BC] = s.bc;
  std::vector<std::pair<unsigned, std::string>> texts;
  for (unsigned o = offsetof(lxlanobj, text); o < offsetof(lxlanobj, name); o += 2)
    texts.push_back({o, f.count(o) ? f[o] : ""});
  size_t longest[4] = {0, 0, 0, 0};
  for (auto &m : s.months) longest[0] = std::max(longest[0], m.size());
  for (auto &m : s.abbr_months) longest[1] = std::max(longest[1], m.size());
  for (auto &m : s.days) longest[2] = std::max(longest[2], m.size());
  for (auto &m : s.abbr_days) longest[3] = std::max(longest[3], m.size());
  img.put16(LX_ELEM(lxlanobj, longest, 0), (uint16_t)longest[0]);
  img.put16(LX_ELEM(lxlanobj, longest, 2), (uint16_t)longest[1]);
  img.put16(LX_ELEM(lxlanobj, longest, 1), (uint16_t)longest[2]);
  img.put16(LX_ELEM(lxlanobj, longest, 3), (uint16_t)longest[3]);
  pool_strings(img, LXLAN_POOL, texts, offsetof(lxlanobj, name), s.name);
  finish_object(img);
  return img;
}

TerritoryDesc america() {
  TerritoryDesc t;
  t.name = "AMERICA";
  t.strings = {{LXTER_DECIMAL, "."}, {LXTER_GROUP, ","}, {LXTER_ISOCURR, "USD"},
               {LXTER_CURRENCY, "$"}, {LXTER_MONDECIMAL, "."}, {LXTER_MONGROUP, ","},
               {LXTER_LISTSEP, ","}, {LXTER_DEBIT, "<"}, {LXTER_CREDIT, ">"},
               {LXTER_SYSDATEFMT, "%m/%d/%y"}, {LXTER_SYSTIMEFMT, "%H:%M:%S"},
               {LXTER_DATEFMT, "DD-MON-YY"}, {LXTER_TIMEFMT, "HH.MI.SSXFF AM"},
               {LXTER_TIMEFMT2, "HH.MI.SSXFF AM"}, {LXTER_TSFMT, "DD-MON-YY HH.MI.SSXFF AM"},
               {LXTER_TIMETZFMT, "HH.MI.SSXFF AM TZR"},
               {LXTER_TSTZFMT, "DD-MON-YY HH.MI.SSXFF AM TZR"}};
  return t;
}

Image build_territory(const TerritoryDesc &s) {
  Image img;
  object_header(img, LX_TTERR);
  img.put32(offsetof(lxterobj, flags), 0);
  for (unsigned o = offsetof(lxterobj, id); o < LXTER_POOL; o += 2) img.put16(o, 0);
  img.put16(offsetof(lxterobj, id), s.id);
  for (auto &n : s.numbers) img.put16(n.first, n.second);
  std::map<unsigned, std::string> f = s.strings;
  f[LX_ELEM(lxterobj, text, 1)] = s.abbrev;
  std::vector<std::pair<unsigned, std::string>> texts;
  for (unsigned o = offsetof(lxterobj, text); o < offsetof(lxterobj, name); o += 2)
    texts.push_back({o, f.count(o) ? f[o] : ""});
  pool_strings(img, LXTER_POOL, texts, offsetof(lxterobj, name), s.name);
  finish_object(img);
  return img;
}

Image build_sort(const std::string &name, uint16_t id) {
  Image img;
  object_header(img, LX_TSORT);
  for (unsigned o = offsetof(lxsrtobj, id); o < offsetof(lxsrtobj, sect); o += 2) img.put16(o, 0);
  for (unsigned k = 0; k < 49; ++k) img.put32(LX_ELEM(lxsrtobj, sect, k), 0);
  img.put16(offsetof(lxsrtobj, id), id);
  img.reserve_to(LXSRT_NAME);
  img.putname(LXSRT_NAME, name);
  finish_object(img);
  return img;
}

// ---- Boot file ------------------------------------------------------------

Image build_boot(BootDesc desc) {
  std::stable_sort(desc.objects.begin(), desc.objects.end(), [](const BootObject &a, const BootObject &b) {
    return a.type != b.type ? a.type < b.type : a.id < b.id;
  });
  uint16_t count = (uint16_t)(desc.objects.size() + 1);
  Image img;
  img.put32(offsetof(lxboot, version), desc.version);
  img.put32(offsetof(lxboot, release), LX_RELEASE);
  img.put32(offsetof(lxboot, size), (uint32_t)(LX_BOOTHDR + LX_BENTSIZE * count));
  img.put32(offsetof(lxboot, size2), 0);
  img.put32(offsetof(lxboot, flags), 0);
  for (unsigned t = 0; t < 10; ++t) {
    uint16_t first = count;
    for (size_t i = 0; i < desc.objects.size(); ++i)
      if (desc.objects[i].type >= t) {
        first = (uint16_t)(i + 1);
        break;
      }
    img.put16(LX_ELEM(lxboot, first, t), first);
  }
  img.put16(offsetof(lxboot, count), count);
  img.put16(offsetof(lxboot, reserved), 0);
  img.put8(offsetof(lxboot, magic), desc.magic);
  img.put8(offsetof(lxboot, fmtflags), (uint8_t)(lxlhostorder() | LX_FMT_ASCII));
  img.reserve_to(LX_BOOTHDR + LX_BENTSIZE * count);
  for (size_t i = 0; i < desc.objects.size(); ++i) {
    const BootObject &o = desc.objects[i];
    size_t at = LX_BOOTHDR + LX_BENTSIZE * (i + 1);
    img.put32(at + offsetof(lxbent, size), o.size);
    img.put16(at + offsetof(lxbent, type), o.type);
    img.put16(at + offsetof(lxbent, id), o.id);
    // A territory's name ends before its language key and group byte.
    size_t room = o.type == LX_TTERR ? LX_TERNAME : LX_BOOTNAME;
    img.put8(at + offsetof(lxbent, namelen), (uint8_t)(std::min(o.name.size(), room - 1) + 1));
    img.putname(at + offsetof(lxbent, name), o.name, room);
    if (o.type == LX_TTERR) {
      img.put8(at + LX_BENT_LANGKEY, o.langkey);
      img.put8(at + LX_BENT_GROUP, o.group);
    }
  }
  return img;
}

std::string object_name(unsigned type, unsigned id) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "lx%01x%04x", type & 0xF, id & 0xFFFF);
  return buf;
}

namespace {
bool write_file(const std::string &path, const std::vector<uint8_t> &b, std::string &err) {
  FILE *f = std::fopen(path.c_str(), "wb");
  bool ok = f && std::fwrite(b.data(), 1, b.size(), f) == b.size();
  if (f && std::fclose(f) != 0) ok = false;
  if (!ok) err = "cannot write " + path;
  return ok;
}

// Whether the loader can find every trie's node area of a charset written
// in the other byte order.
bool order_fixable(const Image &img) {
  if (img.size() < LXCS_DATA) return true;
  for (int t : {LXCT_CLASS, LXCT_M2U, LXCT_PROP})
    if (img.get16(LX_ELEM(lxcsobj, counts, t)) == kTrieAreaTooLarge) return false;
  return true;
}

}  // namespace

bool write_installation(const Installation &inst, const std::string &dir, unsigned bootdigit,
                        std::string &err) {
  BootDesc boot = inst.boot;
  for (auto &o : inst.objects) {
    BootObject b = o.first;
    if (b.size == 0) b.size = (uint32_t)o.second.size();
    boot.objects.push_back(b);
  }
  Image bi = build_boot(boot);
  bool other = inst.big_endian != host_big_endian();
  if (other) bi.to_other_order(offsetof(lxboot, fmtflags));
  if (inst.ebcdic) bi.to_ebcdic(offsetof(lxboot, fmtflags));
  if (!write_file(dir + "/lx" + std::to_string(bootdigit) + "boot.nlb", bi.bytes, err)) return false;
  for (auto &o : inst.objects) {
    if (o.second.size() == 0) continue;
    Image img = o.second;
    if (other && o.first.type == LX_TCS && !order_fixable(img)) {
      err = "charset " + std::to_string(o.first.id) + ": trie too large for the other byte order";
      return false;
    }
    if (other) img.to_other_order(offsetof(lxnlsobj, fmtflags));
    if (inst.ebcdic) img.to_ebcdic(offsetof(lxnlsobj, fmtflags));
    if (!write_file(dir + "/" + object_name(o.first.type, o.first.id) + ".nlb", img.bytes, err))
      return false;
  }
  return true;
}

// ---- Description files ----------------------------------------------------
//
// One statement per line, "#" starts a comment:
//   order big|little|host          byte order of every file (default host)
//   names ascii|ebcdic             character code of the names (default ascii)
//   boot 1|2                       lx1boot.nlb or lx2boot.nlb (default 1)
//   bootversion N, bootmagic N     header values of the boot file
//   language ID NAME [territory=ID] [charset=ID] [sort=ID] [abbrev=XX]
//   territory ID NAME [langkey=N] [group=N] [abbrev=XX]
//   charset ID NAME kind=single|fixed2|trie|trie32|utf [map=FILE] [maxbytes=N]
//           [flags=N] [sbrepl=N] [mbrepl=N]
//   sort ID NAME
//   entry TYPE ID NAME SIZE        an entry with no file
// Map files are read relative to the description's directory.

bool write_from_description(const std::string &desc_path, const std::string &outdir,
                            std::string &err) {
  std::ifstream in(desc_path);
  if (!in) {
    err = "cannot open " + desc_path;
    return false;
  }
  std::string base = desc_path.substr(0, desc_path.find_last_of('/') + 1);
  Installation inst;
  inst.big_endian = host_big_endian();
  unsigned bootdigit = 1;
  std::string line;
  int lineno = 0;
  while (std::getline(in, line)) {
    ++lineno;
    auto hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream ls(line);
    std::vector<std::string> w;
    for (std::string t; ls >> t;) w.push_back(t);
    if (w.empty()) continue;
    std::map<std::string, std::string> kv;
    std::vector<std::string> pos;
    for (size_t i = 1; i < w.size(); ++i) {
      auto eq = w[i].find('=');
      if (eq == std::string::npos)
        pos.push_back(w[i]);
      else
        kv[w[i].substr(0, eq)] = w[i].substr(eq + 1);
    }
    auto num = [&](const std::string &s) { return (uint32_t)std::stoul(s, nullptr, 0); };
    auto opt = [&](const char *k, uint32_t d) { return kv.count(k) ? num(kv[k]) : d; };
    auto bad = [&](const std::string &why) {
      err = desc_path + ":" + std::to_string(lineno) + ": " + why;
      return false;
    };
    try {
      const std::string &cmd = w[0];
      if (cmd == "order") {
        if (pos.size() != 1) return bad("order needs one word");
        inst.big_endian = pos[0] == "big" || (pos[0] == "host" && host_big_endian());
      } else if (cmd == "names") {
        if (pos.size() != 1) return bad("names needs one word");
        inst.ebcdic = pos[0] == "ebcdic";
      } else if (cmd == "boot") {
        bootdigit = num(pos.at(0));
      } else if (cmd == "bootversion") {
        inst.boot.version = num(pos.at(0));
      } else if (cmd == "bootmagic") {
        inst.boot.magic = (uint8_t)num(pos.at(0));
      } else if (cmd == "language") {
        LanguageDesc s = american();
        s.id = (uint16_t)num(pos.at(0));
        s.name = pos.at(1);
        s.territory = (uint16_t)opt("territory", 1);
        s.charset = (uint16_t)opt("charset", 1);
        s.sort = (uint16_t)opt("sort", 0);
        if (kv.count("abbrev")) s.abbrev = kv["abbrev"];
        inst.objects.push_back({{LX_TLANG, s.id, s.name, 0, 0, 0}, build_language(s)});
      } else if (cmd == "territory") {
        TerritoryDesc s = america();
        s.id = (uint16_t)num(pos.at(0));
        s.name = pos.at(1);
        if (kv.count("abbrev")) s.abbrev = kv["abbrev"];
        inst.objects.push_back({{LX_TTERR, s.id, s.name, 0, (uint8_t)opt("langkey", 0),
                                 (uint8_t)opt("group", 0)},
                                build_territory(s)});
      } else if (cmd == "charset") {
        CharsetDesc s;
        s.id = (uint16_t)num(pos.at(0));
        s.name = pos.at(1);
        std::string kind = kv.count("kind") ? kv["kind"] : "single";
        s.kind = kind == "fixed2" ? CsKind::Fixed2 : kind == "trie" ? CsKind::Trie
               : kind == "trie32" ? CsKind::Trie32 : kind == "utf" ? CsKind::Utf : CsKind::Single;
        s.flags = opt("flags", 0);
        s.sb_repl = (uint8_t)opt("sbrepl", '?');
        s.mb_repl = opt("mbrepl", 0);
        if (kv.count("map") && !read_map(base + kv["map"], s, err)) return false;
        if (!kv.count("map"))
          for (unsigned b = 0; b < 128; ++b) s.map.push_back({{(uint8_t)b}, b});
        unsigned longest = 1;
        for (auto &m : s.map) longest = std::max<unsigned>(longest, (unsigned)m.first.size());
        s.maxbytes = (uint8_t)opt("maxbytes", longest);
        inst.objects.push_back({{LX_TCS, s.id, s.name, 0, 0, 0}, build_charset(s)});
      } else if (cmd == "sort") {
        uint16_t id = (uint16_t)num(pos.at(0));
        inst.objects.push_back({{LX_TSORT, id, pos.at(1), 0, 0, 0}, build_sort(pos.at(1), id)});
      } else if (cmd == "entry") {
        inst.boot.objects.push_back(
            {(uint16_t)num(pos.at(0)), (uint16_t)num(pos.at(1)), pos.at(2), num(pos.at(3)), 0, 0});
      } else {
        return bad("unknown statement " + cmd);
      }
    } catch (const std::exception &) {
      return bad("missing or bad value");
    }
  }
  return write_installation(inst, outdir, bootdigit, err);
}

}  // namespace nlsw
