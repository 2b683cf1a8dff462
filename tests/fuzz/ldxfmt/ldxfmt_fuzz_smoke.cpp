// Feeds the fuzz target every file of its corpus, and the corpus texts with
// every handle, compile and a few rooms.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

TEST(LdxfmtFuzzSmoke, CorpusWithEveryHandle) {
  std::vector<std::vector<uint8_t>> inputs;
  for (auto &e : std::filesystem::directory_iterator(QEN_SOURCE_DIR "/tests/fuzz/ldxfmt/corpus")) {
    std::ifstream in(e.path(), std::ios::binary);
    inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  ASSERT_FALSE(inputs.empty());
  for (auto in : inputs) {
    if (in.size() < 2) continue;
    for (unsigned pick = 0; pick < 32; ++pick)
      for (uint8_t room : {uint8_t(0), uint8_t(7), uint8_t(30), uint8_t(255)}) {
        in[0] = uint8_t(pick);
        in[1] = room;
        EXPECT_EQ(LLVMFuzzerTestOneInput(in.data(), in.size()), 0);
      }
  }
}
