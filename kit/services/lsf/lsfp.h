// The print engine: the kit's own printf. Formats a message into a caller's
// buffer from a format and a typed argument list under a formatting context
// (lsf_ctx.h). Conversions are "%" [ "(" position ")" ] [flags - + blank 0 #]
// [width or "*"] [ "." precision or "*" ] [h or l] letter, with the letters
// d i u o x c s m f e g p; the argument's type code decides how its value is
// printed. Texts are multibyte-aware in the context's character set; in a
// UTF-16 context the format, the text arguments and the output are UTF-16.
//
// Results: the bytes written (UTF-16 mode: units), without a terminator, or
// a negative code (LSFP_E*). The error manager formats every message text
// through lsfpd; any kit component may call lsfp/lsfpv/lsfpd on a context it
// made.
#ifndef QEN_KIT_CORE_LSFP_H
#define QEN_KIT_CORE_LSFP_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#include "lsf.h"
#include "lsf_ctx.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct lxmcur lxmcur;

// The special characters of the grammar, indexes 0 to 23.
extern const char lsfpcodes[];
enum {
  LSFPC_LPAREN, LSFPC_RPAREN, LSFPC_MINUS, LSFPC_PLUS, LSFPC_BLANK, LSFPC_STAR,
  LSFPC_ZERO, LSFPC_HASH, LSFPC_DOT, LSFPC_H, LSFPC_L, LSFPC_PERCENT,
  LSFPC_D, LSFPC_I, LSFPC_U, LSFPC_O, LSFPC_X, LSFPC_C, LSFPC_S, LSFPC_M,
  LSFPC_F, LSFPC_E, LSFPC_G, LSFPC_P, LSFPC_COUNT
};

// Conversion flags.
enum {
  LSFP_LEFT = 0x01,   // "-": left-justify
  LSFP_PLUS = 0x02,   // "+"
  LSFP_SPACE = 0x04,  // " "
  LSFP_ZERO = 0x08,   // "0"
  LSFP_ALT = 0x10,    // "#"
  LSFP_UPPER = 0x20   // the conversion letter was upper case
};

// One parsed conversion. Position, width and precision are read whole.
typedef struct lsfp_conv {
  uint16_t flags;
  uint8_t base;        // 8, 10 or 16 for integer output
  int32_t position;    // argument number from "(n)", 0 when none
  int32_t width;       // -1 when none
  int32_t precision;   // -1 when none
} lsfp_conv;

// Results of the engine and its converters.
enum {
  LSFP_EBADTYPE = -1,    // argument type not printable
  LSFP_ECONV = -2,       // missing or unknown conversion letter (converters: text cut)
  LSFP_EFLAG = -4,       // repeated flag
  LSFP_EPOS = -5,        // bad position number
  LSFP_EMISSING = -6,    // argument missing
  LSFP_EPAREN = -7,      // ")" missing
  LSFP_EPREC = -8,       // bad precision
  LSFP_EWIDTH = -9,      // width number unreadable
  LSFP_ECLASS = -10,     // argument class not allowed for the letter
  LSFP_EFULL = -11,      // output full
  LSFP_ENUMBER = -12,    // invalid NUMBER
  LSFP_ENULL = -13,      // NULL pointer given to a converter
  LSFP_EZEROS = -14,     // the number text could not be zero-padded
  LSFP_EPAD = -15,       // a padding failed
  LSFP_ENOMEM = -16,     // memory or NLS failure, or an unusable argument list
  LSFP_ENOLIST = -17     // no argument list
};

// lsfpv with the variable typed arguments (ending with LSFEND).
int lsfp(lsf_ctx *ctx, void *out, int outlen, const void *format, ...);
// Builds an argument list from ap, prints with lsfpd and destroys the list.
int lsfpv(lsf_ctx *ctx, void *out, int outlen, const void *format, va_list ap);
// The engine. outlen < 0: no limit, and the text is ended by a NUL that is
// not counted; otherwise the buffer is zero-filled over outlen first.
int lsfpd(lsf_ctx *ctx, void *out, int outlen, const void *format, lsf_handle *args);

// Converters: each writes at the output cursor within room bytes, stores the
// bytes written in *written and returns 0 or a negative code.
int lsfpcbg(lsf_ctx *ctx, lxmcur *out, size_t room, uint64_t value, uint64_t u64, int64_t s64,
            int mode, const lsfp_conv *conv, int negative, lxglo *glo, size_t *written);
int lsfpcst(lsf_ctx *ctx, lxmcur *out, size_t room, const char *text, int64_t bytes,
            int64_t columns, const lsfp_conv *conv, lxglo *glo, size_t *written);
int lsfpcme(lsf_ctx *ctx, lxmcur *out, size_t room, const uint8_t *buf, size_t len,
            const lsfp_conv *conv, lxglo *glo, size_t *written);
// An invalid (or NULL) number fails with LSFP_ENUMBER.
int lsfpcon(lsf_ctx *ctx, lxmcur *out, size_t room, const uint8_t *num, size_t len,
            const lsfp_conv *conv, int letter, lxglo *glo, size_t *written);
int slsfpdvoidp(lsf_ctx *ctx, lxmcur *out, size_t room, const void *ptr, const lsfp_conv *conv,
                lxglo *glo, size_t *written);
int slsfpfuncp(lsf_ctx *ctx, lxmcur *out, size_t room, lsf_func fn, const lsfp_conv *conv,
               lxglo *glo, size_t *written);
int lsfpcpad(lsf_ctx *ctx, lxmcur *out, size_t room, int fill, size_t count, lxglo *glo,
             size_t *written);



// UTF-16 conversions of a UTF-16 context. lsfu16to8: a NUL-terminated
// UTF-16 text to an allocated text in the context's character set (free it
// with lsfu16free). lsfu8to16: a text of the context's character set to
// UTF-16 units followed by a zero unit, into *aligned when given, else into
// an allocated *raw buffer with *aligned its 2-aligned start. 0 or -1.
int lsfu16to8(lsf_ctx *ctx, const void *text, char **out, size_t *outlen);
int lsfu8to16(lsf_ctx *ctx, const char *text, void **raw, uint16_t **aligned, size_t *units);
void lsfu16free(lsf_ctx *ctx, void *buffer);

#ifdef __cplusplus
}
#endif

#endif
