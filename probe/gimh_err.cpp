// Error reporting of the health interface: OS error records become VUV
// messages 93 to 90, and the calling thread's error stack becomes text.
#include <stdio.h>
#include <string.h>

#include "gimh_int.h"

namespace {

constexpr int kOsTextSize = 80;      // the OS text of an errno
constexpr int kOsNumberSize = 10;    // at most 9 digits
constexpr int kPemBufferSize = 2000;
constexpr int kMinErrorBuffer = 50;

void put_text(char *buffer, int length, const char *text) {
  if (length < 1) return;
  snprintf(buffer, static_cast<size_t>(length), "%s", text);
}

}  // namespace

extern "C" {

void gimcroserr(gimc_env *env, const slos_error *oserr) {
  if (!env || !oserr) return;
  if (oserr->other[0] != '\0') GIMH_RECORD(env, VUV_OSINFO, LSFTXTP, oserr->other);
  GIMH_RECORD(env, VUV_OSLOC, LSFTXTP, oserr->location);
  if (oserr->code == SLOS_ERR_INTERNAL) return;
  char text[kOsTextSize];
  if (slosDep2Mesg(oserr->oserr, text, sizeof text) == 1)
    GIMH_RECORD(env, VUV_OSTEXT, LSFTXTP, text);
  char number[kOsNumberSize];
  slosDep2String(oserr->oserr, number, sizeof number);
  GIMH_RECORD(env, VUV_OSCALL, LSFTXTP, oserr->call, LSFTXTP, number);
}

int gimcgem(gimc_env *env, char *buffer, int length, int clear) {
  if (!buffer || length < 1) return 0;
  if (!env || !env->lem) {
    put_text(buffer, length, "Invalid context\n");
    return 0;
  }
  if (lemged(env->lem) == 0) {
    buffer[0] = '\0';
    return 0;
  }
  int n = lembem(env->lem, 1, buffer, length);
  if (n <= 0) {
    n = lembem(env->lem, 0, buffer, length);
    if (n <= 0) put_text(buffer, length, "Unable to get error messages from the context\n");
  }
  if (clear) lemces(env->lem);
  return n;
}

void gimcpem(gimc_env *env) {
  char buffer[kPemBufferSize];
  gimcgem(env, buffer, sizeof buffer, 1);
  slemdsp(env ? env->lem : nullptr, buffer);
}

int gimh_error(gimh_proc_ctx *proc, char *buffer, int length) {
  if (!buffer || length < kMinErrorBuffer) return 0;
  if (!proc || !proc->env.lem || proc->magic != GIMH_PROC_MAGIC) {
    put_text(buffer, length, "Error: process context is not initialized\n");
    return 0;
  }
  return gimcgem(&proc->env, buffer, length, 1);
}

}  // extern "C"
