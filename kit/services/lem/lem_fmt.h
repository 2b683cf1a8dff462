// The error manager's calls of the formatting package (lem_fmt.cpp): its
// formatting context, the message prefix and the message text.
#ifndef QEN_KIT_CORE_LEM_FMT_H
#define QEN_KIT_CORE_LEM_FMT_H

#include <stdint.h>

#include "lemx.h"
#include "lsf_ctx.h"

// A formatting context for the context's language and NLS environment, or NULL.
lsf_ctx *lem_fmtini(lem_ctx *lem);
// Ends the context's formatting context.
void lem_fmtcln(lem_ctx *lem);
// "%s-%05d: " of facility and number into out (size bytes, zero-filled);
// bytes written, or a negative code.
int lem_fmtp(lem_ctx *lem, char *out, int size, const char *facility, int32_t number);
// A message text formatted with a record's argument list into out (size
// bytes, zero-filled); bytes written, or a negative code (-11: out is full).
int lem_fmtpd(lem_ctx *lem, char *out, int size, const char *format, lsf_arglist *list);

#define LEM_FMT_FULL (-11)

#endif
