// Writer of the fold mapping objects (CASE_FOLDING, and BINARY_AI with its
// longer first level): a named mapping object (type 4) whose area at w0
// holds three counts, the first level of 256 words by high byte, the second
// level (an empty page first, so that offset 0 means "no page"), the
// expansion cells and the supplementary cells, all 32-bit; the name follows.
#include <cstdio>
#include <fstream>
#include <sstream>

#include "lxl.h"
#include "nlsobjw.h"

namespace nlsw {

namespace {

constexpr size_t kArea = LXMAP_DATA;                       // data area of a named mapping object
constexpr size_t kCounts = offsetof(lxfoldarea, first);     // count words before the first level
constexpr size_t kPage = LXFOLD_PAGE;                       // 256 words
constexpr uint32_t kExpansion = LXFOLD_EXPANSION;
constexpr uint32_t kSupplementary = LXFOLD_SUPPLEMENTARY;
constexpr size_t word_at(unsigned k) { return LX_ELEM(lxmapobj, dir, k); }
constexpr uint32_t kLowCells = 1024;  // low surrogates DC00..DFFF

// UTF-16 units of a code point.
void units(uint32_t cp, std::vector<uint16_t> &out) {
  if (cp > 0xFFFF) {
    cp -= 0x10000;
    out.push_back(uint16_t(0xD800 + (cp >> 10)));
    out.push_back(uint16_t(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(uint16_t(cp));
  }
}

}  // namespace

Image build_fold(const FoldMap &folds, const std::string &name, uint16_t objnum, size_t level2) {
  // entries of the BMP by value, supplementary cells by high surrogate
  std::map<uint16_t, uint32_t> entry;
  std::vector<uint32_t> exp, supp;
  std::map<uint16_t, std::vector<uint32_t>> highs;  // high surrogate -> 1024 cells
  for (const auto &[cp, to] : folds) {
    if (to.empty() && cp > 0xFFFF) continue;
    if (cp > 0xFFFF) {
      std::vector<uint16_t> u;
      units(cp, u);
      auto &cells = highs[u[0]];
      cells.resize(kLowCells, 0);
      uint32_t v = to[0];
      if (v > 0xFFFF) {
        std::vector<uint16_t> t;
        units(v, t);
        v = uint32_t(t[0]) << 16 | t[1];
      }
      cells[u[1] - 0xDC00] = v;
      continue;
    }
    std::vector<uint16_t> out;
    for (uint32_t c : to) units(c, out);
    if (out.size() == 1 && out[0] != 0) {
      entry[uint16_t(cp)] = out[0];
    } else {
      entry[uint16_t(cp)] = kExpansion | uint32_t(exp.size());
      exp.push_back(uint32_t(out.size()));
      for (uint16_t u : out) exp.push_back(u);
    }
  }
  for (const auto &[hi, cells] : highs) {
    entry[hi] = kSupplementary | uint32_t(supp.size());
    supp.insert(supp.end(), cells.begin(), cells.end());
  }
  // pages: an empty one first
  std::map<unsigned, size_t> page_of;
  for (const auto &[v, e] : entry) page_of.emplace(v >> 8, 0);
  size_t next = kPage;
  for (auto &[hi, off] : page_of) {
    off = next;
    next += kPage;
  }

  Image img;
  object_header(img, LX_TMAP);
  img.put32(offsetof(lxmapobj, w92), 0);
  const size_t w0 = kArea;
  const size_t table = w0 + kCounts;
  const size_t second = table + level2;
  const size_t exp_at = second + next;
  const size_t supp_at = exp_at + 4 * exp.size();
  const size_t name_at = supp_at + 4 * supp.size();
  for (unsigned k = 0; k < LX_NELEM(lxmapobj, dir); ++k) img.put32(word_at(k), 0);
  img.put32(word_at(LXMAP_W_FOLDAREA), uint32_t(w0));
  img.put32(word_at(LXMAP_W_FOLDTABLE), uint32_t(table));
  img.put32(word_at(LXMAP_W_FOLDEXP), uint32_t(exp_at));
  img.put32(word_at(LXMAP_W_FOLDSUPP), uint32_t(supp_at));
  img.put32(word_at(LXMAP_W_NAME), uint32_t(name_at));
  img.put16(offsetof(lxmapobj, id), objnum);
  img.put16(offsetof(lxmapobj, h290), 0);
  img.put32(w0 + LX_ELEM(lxfoldarea, count, 0), uint32_t(page_of.size()));
  img.put32(w0 + LX_ELEM(lxfoldarea, count, 1), uint32_t(exp.size()));
  img.put32(w0 + LX_ELEM(lxfoldarea, count, 2), uint32_t(supp.size()));
  for (unsigned hi = 0; hi < LX_NELEM(lxfoldarea, first); ++hi) {
    auto p = page_of.find(hi);
    img.put32(w0 + LX_ELEM(lxfoldarea, first, hi), p == page_of.end() ? 0 : uint32_t(p->second));
  }
  // a first level longer than 1024 bytes keeps its gap as bytes
  img.reserve_to(second);
  for (size_t at = second; at < exp_at; at += 4) img.put32(at, 0);
  for (const auto &[v, e] : entry) img.put32(second + page_of[v >> 8] + 4 * (v & 0xFF), e);
  for (size_t k = 0; k < exp.size(); ++k) img.put32(exp_at + 4 * k, exp[k]);
  for (size_t k = 0; k < supp.size(); ++k) img.put32(supp_at + 4 * k, supp[k]);
  img.putname(name_at, name);
  finish_object(img);
  return img;
}

Image build_case_folding(const FoldMap &folds) {
  return build_fold(folds, "CASE_FOLDING", kCaseFoldingId, LXFOLD_LEVEL2);
}

bool read_fold(const std::string &path, FoldMap &folds, std::string &err) {
  std::ifstream in(path);
  if (!in) {
    err = "cannot read " + path;
    return false;
  }
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream ls(line);
    std::string cp;
    ls >> cp;
    std::vector<uint32_t> to;
    std::string t;
    while (ls >> t) to.push_back(uint32_t(std::stoul(t, nullptr, 16)));
    folds[uint32_t(std::stoul(cp, nullptr, 16))] = to;
  }
  return true;
}

}  // namespace nlsw
