// The recursive global NLS lock over the thread services.
#include "lxl.h"
#include "lxlint.h"
#include "slts.h"

extern "C" {
slts_ctx *slx_sltscontext = nullptr;
slts_mutex slx_global_lock;
slts_tid slx_current_tid;
uint32_t slx_lock_count = 0;

int slxmxinit(void) {
  slx_sltscontext = sltsini();
  if (!slx_sltscontext) return 0;
  if (sltsmxi(slx_sltscontext, &slx_global_lock) != 0) {
    int r = sltster(slx_sltscontext);
    slx_sltscontext = nullptr;
    return r;
  }
  if (sltstidinit(slx_sltscontext, &slx_current_tid) == 0) sltstan(slx_sltscontext, &slx_current_tid);
  slx_lock_count = 0;
  return 0;
}
}

void lxlglock(void) {
  slts_ctx *ctx = slx_sltscontext;
  if (!ctx) return;
  slts_tid me;
  if (sltstidinit(ctx, &me) != 0) {
    // No record for the caller: it cannot be the owner, so wait for the lock.
    sltsmna(ctx, &slx_global_lock);
    slx_lock_count = 1;
    return;
  }
  sltstgi(ctx, &me);
  // Only the owner finds itself in the current identity (it is set under the
  // lock and cleared before the lock is let go), and only the owner reads
  // the count.
  if (sltsThrIsSame(&me, &slx_current_tid) && slx_lock_count > 0) {
    ++slx_lock_count;
  } else {
    sltsmna(ctx, &slx_global_lock);
    slx_lock_count = 1;
    sltstai(ctx, &slx_current_tid, &me);
  }
  sltstiddestroy(ctx, &me);
}

void lxlgunlock(void) {
  slts_ctx *ctx = slx_sltscontext;
  if (!ctx) return;
  if (--slx_lock_count == 0) {
    sltstan(ctx, &slx_current_tid);
    sltsmnr(ctx, &slx_global_lock);
  }
}
