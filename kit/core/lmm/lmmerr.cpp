// The memory manager's link to the error store.
//
// The error store connects here: lmm_record_error pushes a record of class 3
// under the facility, the mark calls work on the calling thread's records and
// the facility calls register and free "VODUDED"/"LMM". Until then nothing is
// pushed; what the recorder passes on is logged per thread.
#include <stdio.h>
#include <string.h>

#include "lmmi.h"

namespace {
thread_local lmm_record_log rlog;
}

lmm_record_log* lmm_recorded_log(void) { return &rlog; }

int lmm_record_error(lpm_meta*, lwem_facility*, int number, int site, va_list args) {
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
  return 0;
}

int lmm_mark_newest(lpm_meta*) { return 0; }

int lmm_error_depth(lpm_meta*) { return 0; }

void lmm_clear_newest_mark(lpm_meta*) {}

lwem_facility* lmm_facility_add(lpm_meta*) { return nullptr; }

void lmm_facility_free(lpm_meta*, lwem_facility*) {}
