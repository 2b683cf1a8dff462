// Feeds the fuzz target every file of its corpus, and every mode and set
// over a few texts made on the spot.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

TEST(NumTextFuzzSmoke, CorpusAndEveryMode) {
  std::vector<std::vector<uint8_t>> inputs;
  for (auto &e : std::filesystem::directory_iterator(QEN_SOURCE_DIR "/tests/fuzz/numtext/corpus")) {
    std::ifstream in(e.path(), std::ios::binary);
    inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const std::string texts[] = {"-2147483648", "4294967296", "1,,2,", "ffFF0",
                               std::string("\0" "1\0" "2\x21\x6f", 6), "mmmcmxcix", "xiii",
                               "\x0F" "12\x0F\x0E", std::string("\0", 1), "\xFF\xFE"};
  for (unsigned sel = 0; sel < 32; ++sel)
    for (const std::string &t : texts) {
      std::vector<uint8_t> in{uint8_t(sel)};
      in.insert(in.end(), t.begin(), t.end());
      inputs.push_back(in);
    }
  ASSERT_GT(inputs.size(), 1u);
  for (auto &in : inputs) EXPECT_EQ(LLVMFuzzerTestOneInput(in.data(), in.size()), 0);
}
