// Feeds the fuzz target every file of its corpus, and sorts made on the
// spot with damaged tables.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "nlsobjw.h"
#include "sortfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

using sortfuzz::join;

nlsw::MultiSortDesc sample() {
  nlsw::MultiSortDesc d;
  d.name = "FUZZ";
  d.id = 4096;
  d.flags = 0x8 | 0x10 | 0x80;
  d.compose = 1;
  d.direct = true;
  for (uint16_t c = 'a'; c <= 'z'; ++c) d.elements[c] = uint32_t(0x100 + c) << 16 | 0x0505;
  d.elements[0x0301] = 0x00003005;
  d.expansions[0xE9] = {0x01650505, 0x00003005};
  d.contractions[{'c', 'h'}] = {0x01640505};
  d.canonicals[{0x0301, 'a', 0}] = 0x02000505;
  d.supplementary[0x1F600] = {0x03000505};
  return d;
}

// A monolingual sort: letters by major and minor keys, a special letter
// (ß as ss), a contracting pair (ch) and a character without a major key.
nlsw::SortDesc mono() {
  nlsw::SortDesc d;
  d.name = "FUZZ";
  d.id = 1;
  d.flags = 0x1 | 0x2;
  for (uint16_t c = 'a'; c <= 'z'; ++c) {
    d.major[c] = d.major[uint16_t(c - 32)] = uint8_t(20 + c - 'a');
    d.minor[c] = 1;
    d.minor[uint16_t(c - 32)] = 2;
  }
  d.major[0xE9] = d.major['e'];
  d.minor[0xE9] = 5;
  d.special = {{0xDF, 0}};
  d.contracting = {{'c', 'h'}};
  return d;
}

}  // namespace

TEST(SortFuzzSmoke, CorpusAndDamagedSorts) {
  std::vector<std::vector<uint8_t>> inputs;
  for (auto &e : std::filesystem::directory_iterator(QEN_SOURCE_DIR "/tests/fuzz/sort/corpus")) {
    std::ifstream in(e.path(), std::ios::binary);
    inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  nlsw::Image multi = nlsw::build_multi_sort(sample());
  const std::string texts[][2] = {
      {"cheval", "chat"}, {"e\xCC\x81t\xC3\xA9", "\xC3\xA9te"}, {"\xF0\x9F\x98\x80z", "\xE0\xB9\x80\xE0\xB8\x81"},
      {"\xE1\x84\x80\xE1\x85\xA1", "\xEA\xB0\x80"}, {std::string("a\0b", 3), "a"}};
  for (unsigned sel = 0; sel < 256; sel += 7)
    for (const auto &t : texts) inputs.push_back(join(uint8_t(sel), t[0], t[1], multi));
  // Table offsets, block numbers and counts pointing outside the object.
  for (size_t at : {188u, 192u, 196u, 200u, 204u, 212u}) {
    nlsw::Image bad = multi;
    bad.put32(at, 0x7FFFFFF0u);
    for (const auto &t : texts) inputs.push_back(join(0x40, t[0], t[1], bad));
  }
  nlsw::Image blocks = multi;
  for (size_t k = 0; k < 256; ++k) blocks.put16(352 + blocks.get32(188) + 2 * k, 0xFFFF);
  inputs.push_back(join(0xC0, "abc", "abd", blocks));
  for (uint16_t fn = 1; fn <= 10; fn += 2)
    for (const auto &t : texts)
      inputs.push_back(join(0x0C, t[0], t[1], nlsw::build_special_sort("FUZZ", 1, fn + 1, fn)));
  // The linguistic comparison's paths: flags and sort options over the
  // selector, on a monolingual sort and on the multilingual one.
  nlsw::Image latin = nlsw::build_sort_object(mono());
  for (unsigned sel = 0; sel < 256; sel += 5)
    for (const auto &t : texts) {
      inputs.push_back(join(uint8_t(sel), t[0], t[1], latin));
      inputs.push_back(join(uint8_t(sel), t[1], t[0], multi));
    }
  for (const auto &in : inputs) LLVMFuzzerTestOneInput(in.data(), in.size());
}
