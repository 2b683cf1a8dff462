// Feeds the fuzz target every file of its corpus, and every conversion of
// every set with a few texts, rooms and damages made on the spot.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

TEST(CaseFuzzSmoke, CorpusAndMadeInputs) {
  std::vector<std::vector<uint8_t>> inputs;
  for (auto &e : std::filesystem::directory_iterator(QEN_SOURCE_DIR "/tests/fuzz/case/corpus")) {
    std::ifstream in(e.path(), std::ios::binary);
    inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const std::string texts[] = {std::string("Stra\xc3\x9f" "e \xef\xac\x83 \xf0\x90\x90\x80 A\0b", 19),
                               "a\x0e\xa3\xc1\xa3\xe1\x0f" "b\xdf\xc8\xba",
                               std::string("\x00\x41\xd8\x01\xdc\x00\x03\x91\xdc\x00\x00\x00", 12)};
  for (unsigned sel = 0; sel < 256; sel += 3)
    for (unsigned room : {0u, 1u, 37u, 90u, 255u})
      for (const std::string &t : texts)
        for (unsigned dmg : {0u, 5u}) {
          std::vector<uint8_t> in{uint8_t(sel), uint8_t(room), uint8_t(dmg)};
          for (unsigned k = 0; k < dmg; ++k) in.push_back(uint8_t(0x5A + 37 * k));
          in.insert(in.end(), t.begin(), t.end());
          inputs.push_back(in);
        }
  for (auto &in : inputs) EXPECT_EQ(LLVMFuzzerTestOneInput(in.data(), in.size()), 0);
}
