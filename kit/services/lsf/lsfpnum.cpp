// The NUMBER routines that the NUMBER library, which lies above the print
// engine, lends it when a process comes up.
#include <atomic>

#include "lsfp.h"
#include "lsfp_int.h"

namespace {
std::atomic<const lsfnumops *> lent{nullptr};
}

extern "C" void lsfsetnum(const lsfnumops *ops) { lent.store(ops, std::memory_order_release); }

const lsfnumops *lsfp_numops(void) { return lent.load(std::memory_order_acquire); }
