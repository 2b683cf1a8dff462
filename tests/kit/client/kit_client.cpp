// A program that uses the kit as a client does: it calls only the kit's
// interface, with no start-up call beyond what each case names. argv[1]:
//   print     lpmprinit, lpmloadpkg "lsf", lsfiniu, then %f of 0.5
//   calendar  lxeg2u of 31 December 1999 into the Japanese Imperial calendar
//   vfiles    lfvinit(2) as the first kit call; argv[2] the mode expected
// Prints what it got and exits 0 when it matched.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "lfv.h"
#include "lpm.h"
#include "lpmpkg.h"
#include "lsf_ctx.h"
#include "lsfp.h"
#include "lxe.h"
#include "lxh.h"
#include "lxl.h"

namespace {

int print() {
  lpm_product *prod = lpmprinit();
  if (!prod) return 10;
  lpm_funcs *pkg = lpmloadpkg(reinterpret_cast<lpm_meta *>(prod), "lsf");
  if (!pkg) return 11;
  lsf_ctx *c = lsfiniu(pkg, nullptr, nullptr, 0);
  if (!c) return 12;
  char out[64];
  double half = 0.5;
  const int r = lsfp(c, out, sizeof out, "%f", LSFDBLP, &half, LSFEND);
  std::printf("%d %s\n", r, out);
  lsfcln(c);
  lpmdelete(reinterpret_cast<lpm_meta *>(prod), "lsf");
  lpmprterm(prod);
  return r == 8 && std::strcmp(out, "0.500000") == 0 ? 0 : 1;
}

int calendar() {
  lxlangid h{};
  if (lxglo *own = lxlownenv(nullptr)) {
    lxhLaToId(nullptr, 0, &h, 0, own);
    lxlterm(own);
    std::free(own);
  }
  h.cal = 1;  // Japanese Imperial
  lxglo g{};
  ldx_date d{};
  d.year = 1999;
  d.month = 12;
  d.day = 31;
  ldx_date out{};
  int32_t era = -1;
  const int r = lxeg2u(&h, &out, &d, &era, &g);
  std::printf("%d status %u year %d era %d\n", r, unsigned(g.status), int(out.year), int(era));
  return r == 1 && g.status == 0 && out.year == 11 && era == 3 ? 0 : 1;
}

int vfiles(int expected) {
  const int r = lfvinit(LFV_MODE_PACKAGE);
  std::printf("%d mode %d\n", r, int(lfvtype()));
  return r == 0 && lfvtype() == expected ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) return 2;
  const std::string what = argv[1];
  if (what == "print") return print();
  if (what == "calendar") return calendar();
  if (what == "vfiles" && argc == 3) return vfiles(std::atoi(argv[2]));
  return 2;
}
