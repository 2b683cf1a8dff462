// Prints the conversions of a calendar for a range of day numbers, for the
// reference model (tools/cal/calmodel.py check): per day "J year month day
// era" of direction 0, then the Gregorian date direction 1 gives back ("0 0
// status" when it fails). A fifth argument is the VIRUZE_HOME whose
// calendar files apply; without it none do.
#include <cstdio>
#include <cstdlib>

#include "ldx.h"
#include "ldxtest.h"
#include "lxe.h"

int main(int argc, char **argv) {
  if (argc != 4 && argc != 5) return 2;
  if (argc == 5)
    setenv("VIRUZE_HOME", argv[4], 1);
  else
    unsetenv("VIRUZE_HOME");
  lxlangid h = ldxtest::american(std::atoi(argv[1]));
  const int32_t first = std::atoi(argv[2]), last = std::atoi(argv[3]);
  const lxecal *cal = lxetbn[h.cal];
  ldx_ctx ctx;
  ldxnbeg(&ctx, nullptr, nullptr, nullptr, nullptr, nullptr);
  for (int32_t j = first; j <= last; ++j) {
    ldx_julian jd{j, 0};
    ldx_date g{}, c{}, back{};
    ldxdfd(&ctx, &jd, &g);
    lxglo glo{};
    int32_t era = -1;
    if (!lxeg2u(&h, &c, &g, &era, &glo)) {
      std::printf("%d 0 0 %u %d 0 0 0\n", j, glo.status, era);
      continue;
    }
    int32_t e = era;
    glo.status = 0;
    if (cal->convert(&h, &back, &c, 1, &e, &glo))
      std::printf("%d %d %d %d %d %d %d %d\n", j, c.year, c.month, c.day, era, back.year,
                  back.month, back.day);
    else
      std::printf("%d %d %d %d %d 0 0 %u\n", j, c.year, c.month, c.day, era, glo.status);
  }
  return 0;
}
