// Inside the OS-dependent layer only: the expansion step of sltln without the
// path search, for names whose place is fixed by their own rule (region files
// live in <home>/dbs, whatever VIRUZE_PATH says).
#ifndef QEN_KIT_OSD_SLTLN_INT_H
#define QEN_KIT_OSD_SLTLN_INT_H

#include <stddef.h>

#include "los.h"

#ifdef __cplusplus
extern "C" {
#endif

// Arguments, result and status as sltln, without the VIRUZE_PATH search.
void sltlnexp(sl_status *st, const char *src, size_t srclen, char *dst, size_t dstlen,
              size_t *outlen);

#ifdef __cplusplus
}
#endif

#endif
