// Feeds the fuzz target its corpus and descriptor files damaged on the spot:
// a well-formed file of three segments, then every 32-bit word of it set to
// large values, and every length up to it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "skgsd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

std::vector<uint8_t> well_formed() {
  skgsd_ctx d{};
  snprintf(d.dir, sizeof d.dir, "/nonexistent/dump");
  snprintf(d.home, sizeof d.home, "/h");
  snprintf(d.sid, sizeof d.sid, "S");
  d.key = 99;
  d.nsegs = 3;
  std::vector<uint8_t> b(reinterpret_cast<uint8_t *>(&d), reinterpret_cast<uint8_t *>(&d) + sizeof d);
  for (uint32_t i = 0; i < 3; ++i) {
    skgsd_seg s{};
    s.shmid = static_cast<int32_t>(i);
    s.segsize = 0x10000;
    s.addr = 0x40000000 + i * 0x10000;
    s.offset = static_cast<intptr_t>(i * 0x10000);
    b.insert(b.end(), reinterpret_cast<uint8_t *>(&s), reinterpret_cast<uint8_t *>(&s) + sizeof s);
  }
  return b;
}

TEST(SkgsdFuzz, Corpus) {
  const std::filesystem::path dir = std::filesystem::path(QEN_SOURCE_DIR "/tests/fuzz/skgsd/corpus");
  for (const auto &e : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(e.path(), std::ios::binary);
    std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(b.data(), b.size());
  }
}

TEST(SkgsdFuzz, DamagedWords) {
  const std::vector<uint8_t> good = well_formed();
  LLVMFuzzerTestOneInput(good.data(), good.size());
  for (size_t off = 0; off + 4 <= good.size(); off += 4)
    for (uint32_t v : {0u, 1u, 0x7FFFFFFFu, 0xFFFFFFFFu, 0x80000000u}) {
      std::vector<uint8_t> b = good;
      memcpy(&b[off], &v, 4);
      LLVMFuzzerTestOneInput(b.data(), b.size());
    }
  for (size_t n = 0; n <= good.size(); n += 7) LLVMFuzzerTestOneInput(good.data(), n);
}

}  // namespace
