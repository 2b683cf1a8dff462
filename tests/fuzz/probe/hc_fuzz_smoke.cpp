// Feeds the health-file fuzz target its corpus and damaged copies of a valid
// file of this build's layout.
#include <gtest/gtest.h>

#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "gimh.h"
#include "vsnnum.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

TEST(HcFuzzSmoke, CorpusAndDamagedFiles) {
  std::vector<std::vector<uint8_t>> inputs;
  for (auto &e : std::filesystem::directory_iterator(QEN_SOURCE_DIR "/tests/fuzz/probe/corpus")) {
    std::ifstream in(e.path(), std::ios::binary);
    inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  gimh_region r{};
  r.magic = r.magic2 = GIMH_MAGIC;
  r.version = vsnnum;
  r.flags = GIMH_FLG_READY;
  r.pid.pid = getpid();
  for (auto &rec : r.rec) memset(rec.state, 1, sizeof rec.state);
  r.rec[0].state[GIMH_EV_OPEN] = 2;
  r.rec[0].state[GIMH_EV_RESTART] = 2;
  const auto *bytes = reinterpret_cast<const uint8_t *>(&r);
  std::vector<uint8_t> valid(bytes, bytes + sizeof r);
  inputs.push_back(valid);
  for (size_t at : {size_t(188), size_t(192), size_t(195), sizeof r - 1}) {
    std::vector<uint8_t> bad = valid;
    bad[at] = 0xFF;
    inputs.push_back(bad);
  }
  inputs.emplace_back(valid.begin(), valid.end() - 1);
  inputs.emplace_back();
  for (const auto &in : inputs) EXPECT_EQ(LLVMFuzzerTestOneInput(in.data(), in.size()), 0);
}
