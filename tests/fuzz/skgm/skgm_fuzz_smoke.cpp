// Feeds the fuzz target its corpus and headers damaged on the spot: a
// realm's real tail, then every 32-bit word of it set to large values.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "skgm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

void quiet(void *, const char *, ...) {}
void quiet_error(void *, const char *, int, ...) {}
const skgm_ops kOps = {quiet, quiet, quiet_error};

// The tail (tables and header) of a private realm "fuzz" with three areas.
std::vector<uint8_t> real_tail() {
  skgm_ctx ctx{};
  sl_status err{};
  EXPECT_EQ(skgminit(&err, &ctx, &kOps, nullptr), 1);
  skgm_realmdesc d{};
  memcpy(d.name, "fuzz", 4);
  d.namelen = 4;
  d.flags = SKGM_RF_PRIVATE;
  skgm_area areas[3] = {};
  for (int i = 0; i < 3; i++) {
    areas[i].namelen = 1;
    areas[i].name[0] = static_cast<char>('a' + i);
    areas[i].size = 4096u * (i + 1);
  }
  skgm_realm *h = nullptr;
  EXPECT_EQ(skgmcreate(&err, &ctx, &d, 3, areas, &h), 1);
  const auto *end = reinterpret_cast<const uint8_t *>(h->shared) + sizeof(skgm_header);
  const auto *begin = reinterpret_cast<const uint8_t *>(h->subs);
  std::vector<uint8_t> tail(begin, end);
  skgmdestroy(&err, &ctx, h);
  skgmdetach(&err, &ctx, h);
  return tail;
}

}  // namespace

TEST(SkgmFuzzSmoke, CorpusAndDamagedHeaders) {
  std::vector<std::vector<uint8_t>> inputs;
  for (auto &e : std::filesystem::directory_iterator(QEN_SOURCE_DIR "/tests/fuzz/skgm/corpus")) {
    std::ifstream in(e.path(), std::ios::binary);
    inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const std::vector<uint8_t> tail = real_tail();
  inputs.push_back(tail);
  for (size_t at = 0; at + 4 <= tail.size(); at += 4)
    for (uint32_t v : {0xFFFFFFFFu, 0x7FFFFFFFu, 0x10000u}) {
      std::vector<uint8_t> bad = tail;
      memcpy(bad.data() + at, &v, 4);
      inputs.push_back(bad);
    }
  inputs.push_back({});
  for (const auto &in : inputs) LLVMFuzzerTestOneInput(in.data(), in.size());
}
