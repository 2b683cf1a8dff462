// Feeds the fuzz target every file of its corpus, and broken files made on
// the spot with the calendar-file writer.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "calw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

TEST(CalFuzzSmoke, CorpusAndBrokenFiles) {
  std::vector<std::vector<uint8_t>> inputs;
  for (auto &e : std::filesystem::directory_iterator(QEN_SOURCE_DIR "/tests/fuzz/cal/corpus")) {
    std::ifstream in(e.path(), std::ios::binary);
    inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  calw::File f;
  calw::Era era;
  era.name = "E";
  era.first = 2458605;
  era.lens[0] = 255;  // a length byte past every field
  f.eras = {era, era};
  f.devs = {{2451550, 1, 0}, {-5, 32767, 0}, {2147483647, -32768, 0}};
  for (bool swap : {false, true})
    for (long cut : {-1L, 3L, 9L, 120L, 230L}) {
      calw::File g = f;
      g.foreign_order = swap;
      g.cut = cut;
      for (uint8_t pick : {0, 1}) {
        std::vector<uint8_t> in{pick};
        std::vector<uint8_t> b = calw::bytes(g);
        in.insert(in.end(), b.begin(), b.end());
        inputs.push_back(in);
      }
    }
  for (const auto &in : inputs) EXPECT_EQ(LLVMFuzzerTestOneInput(in.data(), in.size()), 0);
}
