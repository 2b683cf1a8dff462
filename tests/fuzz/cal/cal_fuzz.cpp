// Fuzz target of the calendar-file reader. The first input byte picks the
// calendar whose file the rest of the input becomes (even: Japanese
// Imperial, odd: English Hijrah); then every era and deviation the file
// offers is looked up and a few dates are converted both ways.
// Built with clang's -fsanitize=fuzzer it is a libFuzzer target; otherwise
// cal_fuzz_smoke feeds it the corpus files.
#include <stdint.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "../../kit/numbers/ldx/ldxtest.h"  // the handle a date context compiles
#include "ldx.h"
#include "lxe.h"
#include "temp_dir.h"

namespace {

constexpr int kMaxLookups = 300;  // more than a fuzz input's records

const std::string &home() {
  static std::string d = [] {
    std::string s = kept_temp_dir();
    mkdir((s + "/nls").c_str(), 0755);
    setenv("VIRUZE_HOME", s.c_str(), 1);
    return s;
  }();
  return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const bool lunar = data[0] & 1;
  const std::string path = home() + (lunar ? "/nls/lxecaleh.nlb" : "/nls/lxecalji.nlb");
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data + 1, 1, size - 1, f);
  std::fclose(f);
  const lxecal *cal = lunar ? &lxeeh : &lxeji;
  char texts[4][LXE_NAME_FIELD];
  for (int n = 0; n < kMaxLookups; ++n) {
    lxeera e{};
    for (int i = 0; i < 4; ++i) e.text[i] = texts[i];
    lxedev d{};
    const int era = lxegera(cal, n, &e), dev = lxegdev(cal, n, &d);
    if (!era && !dev) break;
  }
  lxlangid h = ldxtest::american(lunar ? 6 : 1);
  for (int year : {1900, 1990, 2024}) {
    ldx_date in{}, out{}, back{};
    in.year = int16_t(year);
    in.month = 6;
    in.day = 30;
    lxglo g{};
    int32_t e = -1;
    if (lxeg2u(&h, &out, &in, &e, &g)) cal->convert(&h, &back, &out, 1, &e, &g);
  }
  std::remove(path.c_str());
  return 0;
}
