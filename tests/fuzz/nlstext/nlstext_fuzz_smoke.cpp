// Feeds the fuzz target every file of its corpus, and random inputs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

TEST(NlsTextFuzzSmoke, CorpusAndRandomInputs) {
  for (auto &e : std::filesystem::directory_iterator(QEN_SOURCE_DIR "/tests/fuzz/nlstext/corpus")) {
    std::ifstream in(e.path(), std::ios::binary);
    std::vector<uint8_t> d{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(LLVMFuzzerTestOneInput(d.data(), d.size()), 0);
  }
  std::mt19937 rng(7);
  const uint8_t alphabet[] = {0x00, 0x0E, 0x0F, 0x20, 0x41, 0x61, 0xA1, 0xA3, 0xC1, 0xC3, 0x84,
                              0xCC, 0x81, 0xD8, 0x3D, 0xDC, 0xDE, 0xE4, 0xB8, 0x80, 0xED, 0xA0,
                              0xB0, 0xF0, 0x9F, 0x98, 0x11, 0x61, 0xFF};
  for (int i = 0; i < 3000; ++i) {
    std::vector<uint8_t> d(7 + rng() % 24);
    for (size_t k = 0; k < 7; ++k) d[k] = uint8_t(rng());
    for (size_t k = 7; k < d.size(); ++k) d[k] = alphabet[rng() % sizeof alphabet];
    EXPECT_EQ(LLVMFuzzerTestOneInput(d.data(), d.size()), 0);
  }
}
