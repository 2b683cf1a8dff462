// Feeds the conversion fuzz target its corpus and generated inputs: every
// pair of sets over text made of pieces of each set's own encodings.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

TEST(ConvFuzzSmoke, CorpusAndGeneratedInputs) {
  std::vector<std::vector<uint8_t>> inputs;
  for (auto &e : std::filesystem::directory_iterator(QEN_SOURCE_DIR "/tests/fuzz/conv/corpus")) {
    std::ifstream in(e.path(), std::ios::binary);
    inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // Pieces that the stateful, GB18030 and Unicode sets are made of.
  const std::vector<std::vector<uint8_t>> pieces = {
      {'a'}, {'~'}, {'~', '{'}, {'~', '}'}, {'~', '~'}, {'\n'}, {0x1B, 0x24, 0x42}, {0x1B, 0x28, 0x42},
      {0x1B, 0x28, 0x49}, {0x1B, 0x24, 0x29, 0x43}, {0x1B, 0x24, 0x29, 0x41}, {0x1B, 0x24, 0x29, 0x47},
      {0x1B, 0x24, 0x2A, 0x48}, {0x1B, 0x4E}, {0x0E}, {0x0F}, {0x30, 0x21}, {0x21, 0x21},
      {0x81, 0x30, 0x81, 0x30}, {0x90, 0x30, 0x81, 0x30}, {0xA1, 0xA2}, {0x8E, 0xA1, 0xA1, 0xA1},
      {0xE4, 0xB8, 0xAD}, {0xF0, 0x9F, 0x98, 0x80}, {0xED, 0xA0, 0xBD, 0xED, 0xB8, 0x80}, {0xC3, 0xA9},
      {0xD8, 0x3D, 0xDE, 0x00}, {0x00, 0x41}, {0x8E, 0xB1}, {0xFF}, {0x80}};
  std::mt19937 rng(12345);
  for (int k = 0; k < 6000; ++k) {
    std::vector<uint8_t> in = {(uint8_t)rng(), (uint8_t)rng(), (uint8_t)rng(), (uint8_t)rng()};
    int np = (int)(rng() % 12);
    for (int j = 0; j < np; ++j) {
      const auto &p = pieces[rng() % pieces.size()];
      in.insert(in.end(), p.begin(), p.end());
    }
    inputs.push_back(in);
  }
  for (auto &in : inputs) EXPECT_EQ(LLVMFuzzerTestOneInput(in.data(), in.size()), 0);
}
