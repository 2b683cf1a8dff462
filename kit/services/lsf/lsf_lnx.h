// The number operations the print engine uses for floating-point and NUMBER
// arguments: a double to a NUMBER, checking and copying a NUMBER, a
// NUMBER's default text and its formatted text.
//
// These stand for lnxren, lnxchk, lnxcopy, lnxnuc and lnxnft of the number
// library, which replaces this one file (and its header) whole. A NUMBER is
// passed as (bytes, length); length 0 means the first byte holds the length.
#ifndef QEN_KIT_CORE_LSF_LNX_H
#define QEN_KIT_CORE_LSF_LNX_H

#include <stddef.h>
#include <stdint.h>

typedef struct lxlangid lxlangid;

// Longest NUMBER in counted form: exponent byte, 20 digits, terminator.
#define LSFNUM_MAXLEN 22

// Compiled NUMBER format: what the print engine asks of the text.
enum {
  LSFNUM_SCI = 0x40,        // exponent form
  LSFNUM_FORMATTED = 0x80,  // formatted output (else overflow fill)
  LSFNUM_NOPOINT = 0x10000  // no decimal point
};
typedef struct lsfnum_fmt {
  uint32_t flags;
  uint32_t int_pos;    // integer positions
  uint32_t dec_pos;    // decimal positions (the value is rounded to them)
  uint32_t width;      // field width
  uint32_t min_int;    // integer digits printed even when zero
  uint32_t min_dec;    // decimal digits printed even when zero
} lsfnum_fmt;

// A double (size 8) to a NUMBER in counted form of at most LSFNUM_MAXLEN bytes.
void lsfnum_ren(const void *value, size_t size, uint8_t *num, size_t *len);
// 1 when num[0..len) is a valid NUMBER.
int lsfnum_chk(const uint8_t *num, size_t len);
// Copies a NUMBER to dst in counted form; stores its length (0 when invalid).
void lsfnum_copy(const uint8_t *num, size_t len, uint8_t *dst, size_t *dstlen);
// The default text of an infinity ("~", "-~"); returns its length.
size_t lsfnum_nuc(const uint8_t *num, size_t len, char *out);
// Writes a valid finite NUMBER under the format into out (room for the
// width) in the handle's character set; returns the text length. A value
// that does not fit is filled with "#" over the width.
size_t lsfnum_nft(const uint8_t *num, size_t len, const lsfnum_fmt *fmt, char *out,
                  const lxlangid *lang);

// The decimal form of a valid finite NUMBER: its significant digits (at most
// 40, no leading or trailing zeros; none for zero), the exponent of the
// leading digit, and the sign.
typedef struct lsfnum_dec {
  char digits[41];
  int32_t ndigits;
  int32_t exp10;
  int32_t negative;
} lsfnum_dec;
void lsfnum_decode(const uint8_t *num, size_t len, lsfnum_dec *out);

#endif
