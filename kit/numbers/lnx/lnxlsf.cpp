// The routines this library lends the kit's print engine, which lies below
// it: checking, copying, double to NUMBER, the default text and the
// formatted text.
#include "lnx.h"
#include "lsfp.h"

namespace {
constexpr lsfnumops kLent = {lnxchk, lnxcopy, lnxren, lnxnuc, lnxnftg};
}

extern "C" void lnxlendlsf(void) { lsfsetnum(&kLent); }
