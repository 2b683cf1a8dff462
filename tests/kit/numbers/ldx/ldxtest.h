// Test support of the date library: the error callback that long-jumps back
// with the error number, as the library's callers do, and language handles
// of the built-in AMERICAN language for date contexts and calendar
// conversions (a context compiles the handle's default date format).
#ifndef QEN_TESTS_LDXTEST_H
#define QEN_TESTS_LDXTEST_H

#include <csetjmp>

#include "ldx.h"
#include "lxh.h"

namespace ldxtest {

// The callback of a context begun with a jmp_buf as its argument.
inline void jump(void *ctx, int err) {
  std::longjmp(*static_cast<jmp_buf *>(static_cast<ldx_ctx *>(ctx)->cbarg), err);
}

// The error number that stmt raised through a context whose callback
// argument is jb (0 when it raised none). The jump point lives in a lambda
// of its own that is still running when the callback jumps.
#define LDX_RAISED(jb, stmt)                \
  [&]() -> int {                            \
    volatile int ldx_err_ = setjmp(jb);     \
    if (ldx_err_ == 0) {                    \
      stmt;                                 \
    }                                       \
    return ldx_err_;                        \
  }()

// The default handle over the process's NLS table (the built-in one unless
// the process names an installation), with calendar cal. The environment
// record it is built in stays for the life of the process, which keeps the
// shared table loaded between conversions.
inline lxlangid american(int cal = 0) {
  static const lxlangid base = [] {
    lxlangid h{};
    if (lxglo *g = lxlownenv(nullptr)) lxhLaToId(nullptr, 0, &h, 0, g);
    return h;
  }();
  lxlangid h = base;
  h.cal = static_cast<uint16_t>(cal);
  return h;
}

}  // namespace ldxtest

#endif
