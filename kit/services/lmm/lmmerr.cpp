// The memory manager's link to the error store.
//
// lmm_record_error pushes a record of class 3 under the facility on the
// block's error store, the mark calls work on the calling thread's records and
// the facility calls register and free "VODUDED"/"LMM". In a test build what
// the recorder passes on is also logged per thread.
#include <stdio.h>
#include <string.h>

#include "lem.h"
#include "lmmi.h"
#include "lpm.h"

namespace {
lwem_ctx* store_of(lpm_meta* block) { return block ? block->errs : nullptr; }
}  // namespace

#ifdef QEN_TEST_HOOKS
namespace {
thread_local lmm_record_log rlog;

void log_record(int number, int site, va_list args) {
  lmm_recorded& last = rlog.rec[rlog.count % 32];
  rlog.count++;
  last.number = number;
  last.site = site;
  last.text[0] = '\0';
  // The first typed argument of the manager's records is its text.
  va_list ap;
  va_copy(ap, args);
  int type = va_arg(ap, int);
  if (type == LMMI_TXTP) {
    const char* t = va_arg(ap, const char*);
    if (t) snprintf(last.text, sizeof last.text, "%s", t);
  }
  va_end(ap);
}
}  // namespace

lmm_record_log* lmm_recorded_log(void) { return &rlog; }
#endif

int lmm_record_error(lpm_meta* block, lwem_facility* facility, int number, int site,
                     va_list args) {
#ifdef QEN_TEST_HOOKS
  log_record(number, site, args);
#endif
  va_list ap;
  va_copy(ap, args);
  int r = lwemrev(store_of(block), facility, number, nullptr, site, LWEM_CLASS_RECORDED, ap);
  va_end(ap);
  return r == 0 ? 1 : 0;
}

int lmm_mark_newest(lpm_meta* block) {
  lwemmrk(store_of(block));
  return 0;
}

int lmm_error_depth(lpm_meta* block) { return int(lwemged(store_of(block))); }

void lmm_clear_newest_mark(lpm_meta* block) { lwemcmk(store_of(block)); }

lwem_facility* lmm_facility_add(lpm_meta* block) {
  return lwemfaa(store_of(block), nullptr, "VODUDED", "LMM", 3, 4);
}

void lmm_facility_free(lpm_meta* block, lwem_facility* facility) {
  lwemfaf(store_of(block), facility);
}
