// Feeds the nlsops fuzz target its corpus, each replaced object whole, and
// damaged copies of it: bytes overwritten at random, and cut short.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "nlsops_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

TEST(NlsopsFuzzSmoke, WholeAndDamagedObjects) {
  std::vector<std::vector<uint8_t>> inputs;
  for (auto &e : std::filesystem::directory_iterator(QEN_SOURCE_DIR "/tests/fuzz/nlsops/corpus")) {
    std::ifstream in(e.path(), std::ios::binary);
    inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const nlsw::Image objs[] = {nlsopsfuzz::al16utf16(), nlsopsfuzz::sort(), nlsopsfuzz::binary_ai()};
  std::mt19937 rng(19);
  for (uint8_t k = 0; k < nlsopsfuzz::kKinds; ++k) {
    std::vector<uint8_t> whole{k};
    whole.insert(whole.end(), objs[k].bytes.begin(), objs[k].bytes.end());
    inputs.push_back(whole);
    for (int n = 0; n < 40; ++n) {
      std::vector<uint8_t> bad = whole;
      for (int m = 0; m < 8; ++m) {
        // past the common header, where the tables and their offsets lie
        size_t at = 93 + rng() % (bad.size() - 93);
        bad[at] = uint8_t(n % 2 ? rng() : 0xFF);
      }
      inputs.push_back(bad);
    }
    for (size_t cut = 60; cut < whole.size(); cut += whole.size() / 7) inputs.emplace_back(whole.begin(), whole.begin() + cut);
  }
  for (auto &in : inputs) EXPECT_EQ(LLVMFuzzerTestOneInput(in.data(), in.size()), 0);
}
