// The formatted text of a NUMBER under the compiled format that the number
// converter fills (fixed or exponent form, decimal positions, integer field,
// width, leading zeros), and the decimal digits the converter reads its
// counts from.
//
// lsfnum_nft stands in for lnxnft, which the dates issue (23) brings to the
// NUMBER library; the library then lends it with its other routines
// (lsfnumops in lsfp.h) and this file goes. A NUMBER is passed as (bytes,
// length); length 0 means the first byte holds the length.
#ifndef QEN_KIT_CORE_LSF_NFT_H
#define QEN_KIT_CORE_LSF_NFT_H

#include <stddef.h>
#include <stdint.h>

typedef struct lxlangid lxlangid;

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

// Writes a valid NUMBER under the format into out (room for the width) in
// the handle's character set; returns the text length. An infinity, or a
// value that does not fit, is filled with "#" over the width.
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
