// Feeds the fuzz target its corpus, real realms' tails under every control
// byte, and tails damaged on the spot (every 32-bit word set to large
// values). The target itself stops the process when an input leaves a
// segment or a handle behind; here the consistent inputs must also attach,
// the multi-segment one with all its segments, and a stale header never.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "skgm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
extern "C" uint64_t skgm_fuzz_attached, skgm_fuzz_multiseg;

namespace {

constexpr int kOwnIds = 0x1, kSegments = 0x2, kDestroy = 0x4, kConceal = 0x8;

void quiet(void *, const char *, ...) {}
void quiet_error(void *, const char *, int, ...) {}
const skgm_ops kOps = {quiet, quiet, quiet_error};

// The tail (tables and header) of a private realm "fuzz" with these areas.
std::vector<uint8_t> real_tail(std::vector<uint32_t> flags, uint32_t *nsegs) {
  skgm_ctx ctx{};
  sl_status err{};
  EXPECT_EQ(skgminit(&err, &ctx, &kOps, nullptr), 1);
  skgm_realmdesc d{};
  memcpy(d.name, "fuzz", 4);
  d.namelen = 4;
  d.flags = SKGM_RF_PRIVATE;
  std::vector<skgm_area> areas(flags.size());
  for (size_t i = 0; i < areas.size(); i++) {
    areas[i].namelen = 1;
    areas[i].name[0] = static_cast<char>('a' + i);
    areas[i].size = 4096u * (i + 1);
    areas[i].flags = flags[i];
  }
  skgm_realm *h = nullptr;
  EXPECT_EQ(skgmcreate(&err, &ctx, &d, static_cast<uint32_t>(areas.size()), areas.data(), &h), 1);
  if (h == nullptr) return {};
  *nsegs = h->nsegs;
  const auto *end = reinterpret_cast<const uint8_t *>(h->shared) + sizeof(skgm_header);
  const auto *begin = reinterpret_cast<const uint8_t *>(h->subs);
  std::vector<uint8_t> tail(begin, end);
  skgmdestroy(&err, &ctx, h);
  skgmdetach(&err, &ctx, h);
  return tail;
}

std::vector<uint8_t> with(uint8_t control, const std::vector<uint8_t> &tail) {
  std::vector<uint8_t> in(1 + tail.size());
  in[0] = control;
  std::copy(tail.begin(), tail.end(), in.begin() + 1);
  return in;
}

void run(const std::vector<uint8_t> &in) { LLVMFuzzerTestOneInput(in.data(), in.size()); }

}  // namespace

TEST(SkgmFuzzSmoke, RealTails) {
  uint32_t one = 0, three = 0;
  const std::vector<uint8_t> single = real_tail({0, 0, 0}, &one);
  // Areas of three classes (plain, locked, intimate) take three segments.
  const std::vector<uint8_t> multi = real_tail({0, SKGM_AF_LOCK, SKGM_AF_INTIMATE}, &three);
  ASSERT_EQ(one, 1u);
  ASSERT_EQ(three, 3u);
  for (const auto *tail : {&single, &multi}) {
    uint64_t before = skgm_fuzz_attached;
    run(with(0, *tail));
    EXPECT_EQ(skgm_fuzz_attached, before) << "a stale header was taken for the realm";
    for (int c : {kOwnIds | kSegments, kOwnIds | kSegments | kConceal,
                      kOwnIds | kSegments | kDestroy, kOwnIds | kSegments | kConceal | kDestroy}) {
      before = skgm_fuzz_attached;
      const uint64_t multi_before = skgm_fuzz_multiseg;
      run(with(static_cast<uint8_t>(c), *tail));
      EXPECT_EQ(skgm_fuzz_attached, before + 1) << "control " << int(c);
      EXPECT_EQ(skgm_fuzz_multiseg, multi_before + (tail == &multi ? 1 : 0)) << int(c);
    }
    // Its own primary but the other segments' stale ids: not attachable,
    // and nothing stays behind.
    if (tail == &multi) {
      before = skgm_fuzz_attached;
      run(with(static_cast<uint8_t>(kOwnIds), *tail));
      EXPECT_EQ(skgm_fuzz_attached, before);
    }
  }
}

TEST(SkgmFuzzSmoke, CorpusAndDamagedHeaders) {
  std::vector<std::vector<uint8_t>> inputs;
  for (auto &e : std::filesystem::directory_iterator(QEN_SOURCE_DIR "/tests/fuzz/skgm/corpus")) {
    std::ifstream in(e.path(), std::ios::binary);
    inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  uint32_t n = 0;
  for (const auto &tail : {real_tail({0, 0, 0}, &n), real_tail({0, SKGM_AF_LOCK, SKGM_AF_INTIMATE}, &n)})
    for (int c : {0, kOwnIds, kOwnIds | kSegments, kOwnIds | kSegments | kDestroy}) {
      inputs.push_back(with(static_cast<uint8_t>(c), tail));
      for (size_t at = 0; at + 4 <= tail.size(); at += 4)
        for (uint32_t v : {0xFFFFFFFFu, 0x7FFFFFFFu, 0x10000u, 1u}) {
          std::vector<uint8_t> bad = with(static_cast<uint8_t>(c), tail);
          memcpy(bad.data() + 1 + at, &v, 4);
          inputs.push_back(bad);
        }
    }
  inputs.push_back({});
  inputs.push_back({static_cast<uint8_t>(kOwnIds)});
  for (const auto &in : inputs) run(in);
}
