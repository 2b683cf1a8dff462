// Feeds the NUMBER fuzz target its corpus and every pair of a few special
// NUMBERs under a range of selectors.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

TEST(LnxFuzzSmoke, CorpusAndSpecialPairs) {
  for (auto &e : std::filesystem::directory_iterator(QEN_SOURCE_DIR "/tests/fuzz/numbers/corpus")) {
    std::ifstream in(e.path(), std::ios::binary);
    std::vector<uint8_t> v(std::istreambuf_iterator<char>(in), {});
    LLVMFuzzerTestOneInput(v.data(), v.size());
  }
  const std::vector<std::vector<uint8_t>> specials = {
      {0x80}, {0x00}, {0xFF, 0x65}, {0xC1, 0x02}, {0x3E, 0x64, 0x66}, {0x80, 0x02},
      {0xFF, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100,
       100, 100, 100},
      {0x7F, 0x64, 0x66}, {0xCA, 0x13, 0x2D, 0x44, 0x2D, 0x08, 0x26, 0x0A, 0x38, 0x11, 0x10},
      {0xC1, 0x64, 0x64, 0x64, 0x64, 0x64, 0x64, 0x64, 0x64, 0x64, 0x64, 0x64, 0x64, 0x64, 0x64, 0x64,
       0x64, 0x64, 0x64, 0x64, 0x33}};
  for (auto &a : specials)
    for (auto &b : specials)
      for (int sel : {0, 1, 3, 7, 40, 86, 87, 127, 128, 200, 255}) {
        std::vector<uint8_t> in{static_cast<uint8_t>(sel), static_cast<uint8_t>(a.size())};
        in.insert(in.end(), a.begin(), a.end());
        in.insert(in.end(), b.begin(), b.end());
        LLVMFuzzerTestOneInput(in.data(), in.size());
      }
  SUCCEED();
}
