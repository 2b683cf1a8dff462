// Feeds the fuzz target every file of its corpus, and sorts made on the
// spot: a sound one, and ones whose sections lie outside the object.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lxl.h"
#include "nlsobjw.h"
#include "sortfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

using sortfuzz::join;

nlsw::SortDesc sample() {
  nlsw::SortDesc d;
  d.name = "FUZZ";
  d.id = 2;
  d.flags = 0x3;
  for (uint16_t c = 'a'; c <= 'z'; ++c) {
    d.major[c] = d.major[uint16_t(c - 32)] = uint8_t(c);
    d.minor[c] = 1;
    d.minor[uint16_t(c - 32)] = 2;
  }
  d.letters = {{0xDF, 's', 5, 's', 6}};
  d.pairs = {{'c', 'h', 'c' + 1, 1}};
  d.base_letters = {{0xE9, 'e'}};
  return d;
}

TEST(MonoFuzz, Corpus) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(QEN_SOURCE_DIR) / "tests/fuzz/mono/corpus";
  size_t n = 0;
  for (const auto &e : fs::directory_iterator(dir)) {
    std::ifstream in(e.path(), std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    ++n;
  }
  EXPECT_GT(n, 0u);
}

// Every selector over a sound sort, and the same sort with each section's
// offset or count pointing outside it.
TEST(MonoFuzz, DamagedSections) {
  const nlsw::Image good = nlsw::build_sort_object(sample());
  std::vector<nlsw::Image> sorts{good};
  for (unsigned k = LXSRT_SPECIAL; k <= LXSRT_BASE; ++k) {
    nlsw::Image off = good, count = good;
    const uint32_t far = 0x7FFFFF00;
    const uint16_t many = 0xFFFF;
    memcpy(off.bytes.data() + LX_ELEM(lxsrtobj, sect, k), &far, sizeof far);
    memcpy(count.bytes.data() + LX_ELEM(lxsrtobj, h108, k - 1), &many, sizeof many);
    sorts.push_back(off);
    sorts.push_back(count);
  }
  const std::string texts[][2] = {{"Strasse", "stra\xDF" "e"}, {"chacha", "czcz"},
                                  {std::string(300, '-') + "a", "A"}, {"\xC3\xA9t\xC3\xA9", "ete"}};
  // With MONO_FUZZ_CORPUS naming a directory, the sound sort's inputs are
  // written there as the fuzzer's seeds.
  const char *corpus = getenv("MONO_FUZZ_CORPUS");
  for (size_t k = 0; k < sorts.size(); ++k)
    for (unsigned sel = 0; sel < 32; sel += k == 0 ? 1 : 5)
      for (size_t i = 0; i < std::size(texts); ++i) {
        std::vector<uint8_t> in = join(uint8_t(sel), texts[i][0], texts[i][1], sorts[k]);
        LLVMFuzzerTestOneInput(in.data(), in.size());
        if (corpus && k == 0 && sel % 4 == i % 4) {
          std::ofstream out(std::string(corpus) + "/seed_" + std::to_string(sel) + "_" +
                                std::to_string(i),
                            std::ios::binary);
          out.write(reinterpret_cast<const char *>(in.data()), std::streamsize(in.size()));
        }
      }
}

}  // namespace
