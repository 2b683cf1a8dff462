// Feeds the fuzz target every file of its corpus, and every handle and mode
// over a few NUMBERs made on the spot.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

TEST(LnxNftFuzzSmoke, CorpusAndEveryMode) {
  std::vector<std::vector<uint8_t>> inputs;
  for (auto &e : std::filesystem::directory_iterator(QEN_SOURCE_DIR "/tests/fuzz/lnxnft/corpus")) {
    std::ifstream in(e.path(), std::ios::binary);
    inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const std::vector<std::vector<uint8_t>> numbers = {
      {0x80}, {0x00}, {0xFF, 0x65}, {0xC2, 0x0D, 0x23, 0x33}, {0x3D, 0x59, 0x43, 0x33, 0x66},
      {0x80, 0x02}, {0xFF, 0x64, 0x64, 0x64}, {0xC5, 0x19, 0x59, 0x38, 0x59, 0x33}};
  const uint32_t modes[] = {0x80, 0xC0, 0x400080, 0x2080, 0x6080, 0x200080, 0x10, 0x30,
                            0xB0, 0x1FFFFF80, 0xFFFFFFFF, 0x41CFF};
  for (unsigned sel = 0; sel < 16; ++sel)
    for (uint32_t m : modes)
      for (const auto &n : numbers)
        for (uint8_t width : {uint8_t(0), uint8_t(9), uint8_t(40), uint8_t(255)}) {
          std::vector<uint8_t> in{uint8_t(sel), uint8_t(m), uint8_t(m >> 8), uint8_t(m >> 16),
                                  uint8_t(m >> 24), 5, 3, width, 2, 4, 0x82, 3, 0};
          in.insert(in.end(), n.begin(), n.end());
          inputs.push_back(in);
        }
  ASSERT_GT(inputs.size(), 1u);
  for (auto &in : inputs) EXPECT_EQ(LLVMFuzzerTestOneInput(in.data(), in.size()), 0);
}
