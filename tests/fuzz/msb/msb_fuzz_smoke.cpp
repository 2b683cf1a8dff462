// Feeds the fuzz target every file of its corpus under every mode, and
// damaged forms of them made on the spot.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "lmsf.h"
#include "msbw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

void run(const std::vector<uint8_t> &file) {
  for (uint8_t mode : {0, 3, 7, 9}) {
    std::vector<uint8_t> in{mode};
    in.insert(in.end(), file.begin(), file.end());
    LLVMFuzzerTestOneInput(in.data(), in.size());
  }
}

}  // namespace

TEST(MsbFuzzSmoke, CorpusAndDamagedFiles) {
  std::vector<std::vector<uint8_t>> files;
  for (auto &e : std::filesystem::directory_iterator(QEN_SOURCE_DIR "/tests/fuzz/msb/corpus")) {
    std::ifstream in(e.path(), std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!bytes.empty()) bytes.erase(bytes.begin());  // the mode byte
    files.push_back(bytes);
  }
  msbw::Desc d;
  d.per_block = 1;
  for (int n = 1; n <= 300; ++n) d.messages[static_cast<uint16_t>(n * 7)] = {1, "t"};
  d.comments[7] = {2, "c"};
  std::vector<uint8_t> two;
  std::string err;
  ASSERT_TRUE(msbw::build(d, two, err)) << err;
  files.push_back(two);
  ASSERT_GE(files.size(), 2u);
  for (const auto &f : files) {
    run(f);
    // every byte of the header, the indexes and the first data block set high
    for (size_t at = 0; at < f.size() && at < 4 * LMSF_BLOCK; at += 29) {
      std::vector<uint8_t> bad = f;
      bad[at] = 0xFF;
      run(bad);
    }
    // cut anywhere
    for (size_t cut : {size_t{0}, size_t{100}, size_t{LMSF_BLOCK}, f.size() / 2, f.size() - 1})
      if (cut < f.size()) run(std::vector<uint8_t>(f.begin(), f.begin() + static_cast<long>(cut)));
  }
}
