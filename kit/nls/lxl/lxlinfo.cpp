// Locale texts written at a character cursor: the language handles' item
// reader writes them (lxhcurinfo).
#include "lxh.h"
#include "lxl.h"

extern "C" void lxlinfo(lxmcur *cur, size_t size, int item, lxglo *glo) {
  lxhcurinfo(cur, size, item, glo);
}
