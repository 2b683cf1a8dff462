// Feeds the fuzz target every file of its corpus, and a few made on the spot.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "lxl.h"
#include "nlsobjw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

TEST(NlsFuzzSmoke, CorpusAndDamagedFiles) {
  std::vector<std::vector<uint8_t>> inputs;
  for (auto &e : std::filesystem::directory_iterator(QEN_SOURCE_DIR "/tests/fuzz/nls/corpus")) {
    std::ifstream in(e.path(), std::ios::binary);
    inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  nlsw::CharsetDesc cs = nlsw::ascii_charset("FUZZ", 1);
  nlsw::Image obj = nlsw::build_charset(cs);
  obj.to_other_order(26);
  std::vector<uint8_t> o{1};
  o.insert(o.end(), obj.bytes.begin(), obj.bytes.end());
  inputs.push_back(o);
  // Every table offset of the directory pointing far outside the object.
  for (size_t at : {LX_ELEM(lxcsobj, dir, LXCT_M2U), LX_ELEM(lxcsobj, dir, LXCT_U2M),
                    LX_ELEM(lxcsobj, dir, LXCT_NAME)}) {
    std::vector<uint8_t> bad = o;
    bad[1 + at] = 0x7F;
    inputs.push_back(bad);
  }
  // Every other type, in the other byte order, with EBCDIC names.
  nlsw::Image others[] = {nlsw::build_language(nlsw::american()),
                          nlsw::build_territory(nlsw::america()), nlsw::build_sort("FUZZ", 1)};
  for (unsigned k = 0; k < 3; ++k) {
    others[k].to_other_order(26);
    others[k].to_ebcdic(26);
    std::vector<uint8_t> in{(uint8_t)(1 | (k + 1) << 1)};
    in.insert(in.end(), others[k].bytes.begin(), others[k].bytes.end());
    inputs.push_back(in);
  }
  nlsw::BootDesc b;
  b.objects = {{LX_TLANG, 1, "AMERICAN", 400, 0, 0}, {LX_TTERR, 1, "AMERICA", 300, 0, 0}};
  nlsw::Image boot = nlsw::build_boot(b);
  std::vector<uint8_t> bi{0};
  bi.insert(bi.end(), boot.bytes.begin(), boot.bytes.end());
  inputs.push_back(bi);
  for (size_t cut = 1; cut < bi.size(); cut += 7) inputs.emplace_back(bi.begin(), bi.begin() + cut);
  for (auto &in : inputs) EXPECT_EQ(LLVMFuzzerTestOneInput(in.data(), in.size()), 0);
}
