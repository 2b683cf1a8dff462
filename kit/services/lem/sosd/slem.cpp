// OS-dependent part of the error message texts: showing a text.
#include <cstdio>

#include "lemx.h"

extern "C" void slemdsp(lem_ctx *lem, const char *text) {
  (void)lem;
  std::puts(text ? text : "");
}
