// What the print engine's parts share: memory of the context's product, the
// engine's error records, case of single-byte characters and the UTF-16 road.
#ifndef QEN_KIT_CORE_LSFP_INT_H
#define QEN_KIT_CORE_LSFP_INT_H

#include <stddef.h>
#include <stdint.h>

#include "lsfp.h"

// Which converter failed (the engine's record names it).
enum { LSFP_CV_INT, LSFP_CV_TEXT, LSFP_CV_DUMP, LSFP_CV_NUMBER };

// Sites of the engine's internal errors.
enum {
  LSFP_SITE_NULL = 301,
  LSFP_SITE_NUMBER = 302,
  LSFP_SITE_NOLIMIT = 303,
  LSFP_SITE_ZEROS = 305,
  LSFP_SITE_PAD = 306
};

void *lsfp_alloc(lsf_ctx *ctx, size_t size);
void lsfp_free(lsf_ctx *ctx, void *p);

// Records LSF number: LSF 1 with text and 0, LSF 6 or 23 with text and the
// count, any other without arguments.
void lsfp_record(lsf_ctx *ctx, int number, int site, const char *text, uint64_t count);

// The lower-case and upper-case form of a single-byte character.
uint8_t lsfp_lower(const lxlangid *lang, lxglo *glo, uint8_t b);
uint8_t lsfp_upper(const lxlangid *lang, lxglo *glo, uint8_t b);

// lsfpd of a UTF-16 context, after its set-up.
int lsfp_utf16(lsf_ctx *ctx, void *out, int outlen, const void *format, lsf_handle *args,
               const char *codes);

#endif
