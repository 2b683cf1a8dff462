// Viruze NUMBERs: the decimal number format of the kit, its checks,
// constants and tables, arithmetic, rounding, conversion to and from native
// integers and floating-point values, and its default and hexadecimal text.
//
// A NUMBER is an exponent byte followed by up to twenty base-100 digits:
//
//   byte 0      positive: 193 + e (top bit set)   negative: 62 - e (top bit clear)
//   byte 1..n   positive: d + 1 (1..100)          negative: 101 - d (2..101)
//   byte n+1    negative with n < 20 only: the terminator 102
//
// The value is the sum of d(i) * 100^(e - i). Zero is the single byte 0x80,
// positive infinity 0xFF 0x65, negative infinity the single byte 0x00. The
// first and last digits are never 0.
//
// Every operand is passed in one of two forms: counted (body pointer and
// length 1..21) or prefixed (length 0: the first byte is the length and the
// body follows). A result is written counted when its length out-pointer is
// given, else prefixed; every destination has room for LNX_MAXPREFIXED
// bytes. A result may overlap its operands.
//
// The operations never fail and never allocate: overflow gives the infinity
// of the result's sign, underflow zero, and results are rounded half away
// from zero. Only lnxchk validates bytes; every other operation expects
// NUMBERs that lnxchk accepts and produces only such NUMBERs.
//
// Everything here is reentrant; the tables and constants are read-only.
// Callers: the kit's formatted printing (lnxchk, lnxcopy, lnxren, lnxnuc)
// and the date and NUMBER formatting code.
#ifndef QEN_KIT_NUMBERS_LNX_H
#define QEN_KIT_NUMBERS_LNX_H

#include <stddef.h>
#include <stdint.h>

#include "lxc.h"
#include "lxl.h"

#ifdef __cplusplus
extern "C" {
#endif


// One NUMBER byte.
typedef unsigned char lnx_number;

#define LNX_MAXDIGITS 20      // base-100 digits of a NUMBER
#define LNX_MAXBODY 21        // exponent byte and twenty digits (or digits and 102)
#define LNX_MAXPREFIXED 22    // a body with its length byte
#define LNX_ZERO 0x80         // zero's single byte
#define LNX_NEGINF 0x00       // negative infinity's single byte
#define LNX_POSINF0 0xFF      // positive infinity: exponent byte
#define LNX_POSINF1 0x65      //   and its one digit byte
#define LNX_NEGTERM 102       // terminator of a negative NUMBER under 20 digits

// ---- format, checks and constants -----------------------------------------

// 1 when num[0..len) (len 0: prefixed) is a valid NUMBER, else 0.
int lnxchk(const lnx_number *num, size_t len);
// Copies a NUMBER, converting between the forms; overlap-safe.
void lnxcopy(const lnx_number *src, size_t srclen, lnx_number *dst, size_t *dstlen);
// -1, 0 or 1: the sign of the value, from its exponent byte and length
// (0 only for the one-byte body 0x80; 0x80 0x02 is 1e-130).
int lnxsgn(const lnx_number *num, size_t len);

// Stored constants in prefixed form and the pointers to them.
extern const lnx_number lnxqzero[], lnxqpos1[], lnxqtwo[], lnxqten[], lnxqneg1[], lnxqpi[],
    lnxqe[], lnxqln10[];
extern const lnx_number *const lnxqzptr, *const lnxqoptr, *const lnxq10ptr, *const lnxqn1ptr,
    *const lnxqpiptr, *const lnxqeptr, *const lnxqlntenptr;
// Each returns the address of its pointer variable.
const lnx_number *const *lnxqgtzero(void);
const lnx_number *const *lnxqgtone(void);
const lnx_number *const *lnxqgtten(void);
const lnx_number *const *lnxqgtneg1(void);
const lnx_number *const *lnxqgtpi(void);
const lnx_number *const *lnxqgte(void);
const lnx_number *const *lnxqgtln10(void);

// Character tables of 50 characters, indexed by role.
enum {
  LNXQ_DIGIT0 = 0, LNXQ_PLUS = 10, LNXQ_MINUS = 11, LNXQ_BLANK = 12, LNXQ_POINT = 13,
  LNXQ_COMMA = 14, LNXQ_DOLLAR = 15, LNXQ_LESS = 16, LNXQ_GREATER = 17, LNXQ_OPEN = 18,
  LNXQ_CLOSE = 19, LNXQ_OVERFLOW = 20, LNXQ_INFINITY = 21, LNXQ_LOWER = 22, LNXQ_UPPER = 37,
  LNXQ_UPPER_E = 41, LNXQ_NCHARS = 50
};
extern const char lnxqasc_chars[LNXQ_NCHARS], lnxqcom_chars[LNXQ_NCHARS],
    lnxqebc_chars[LNXQ_NCHARS];

// Digit tables of the operations, each generated from its rule. A pair
// table holds {digit byte, carry byte} rows (LnxqAdd_PPP: 202 rows,
// LnxqAdd_NNN 205, LnxqAdd_PNP 204, LnxqAdd_PNN 203, LnxqComponent_P 101,
// LnxqComponent_N 102); the byte tables are indexed by a digit byte (101 or
// 102 entries) or a digit (LnxqDigit_*: 100).
extern const uint8_t (*const LnxqAdd_PPP)[2], (*const LnxqAdd_NNN)[2], (*const LnxqAdd_PNP)[2],
    (*const LnxqAdd_PNN)[2], (*const LnxqComponent_P)[2], (*const LnxqComponent_N)[2];
extern const uint8_t *const LnxqDigit_P, *const LnxqDigit_N, *const LnxqTruncate_P,
    *const LnxqTruncate_N, *const LnxqRound_P, *const LnxqRound_N, *const LnxqFirstDigit,
    *const LnxqNegate, *const LnxsubIdentity;
// (digits to produce, whole last digit) for native floating values:
// binary128 below 10 and from 10, double, float.
extern const int32_t LnxqParameters[6][2];

// ---- arithmetic ------------------------------------------------------------

void lnxadd(const lnx_number *a, size_t alen, const lnx_number *b, size_t blen, lnx_number *r,
            size_t *rlen);
void lnxsub(const lnx_number *a, size_t alen, const lnx_number *b, size_t blen, lnx_number *r,
            size_t *rlen);
void lnxneg(const lnx_number *num, size_t len, lnx_number *r, size_t *rlen);
void lnxmul(const lnx_number *a, size_t alen, const lnx_number *b, size_t blen, lnx_number *r,
            size_t *rlen);

// ---- rounding --------------------------------------------------------------

// Rounds to `places` decimal places (negative: tens, hundreds, ...).
void lnxrou(const lnx_number *num, size_t len, lnx_number *r, size_t *rlen, int places);
// Rounds to `digits` significant decimal digits (negative: zero).
void lnxfpr(const lnx_number *num, size_t len, lnx_number *r, size_t *rlen, int digits);
// Rounds to `scale` places and returns precision minus the decimal positions
// left of the point; *overflow = 1 when that is negative, else 0. A one-byte
// operand (zero or negative infinity) gives zero.
int lnxsca(const lnx_number *num, size_t len, lnx_number *r, size_t *rlen, int precision,
           int scale, int *overflow);

// ---- native integers -------------------------------------------------------

#define LNX_KIND_UNSIGNED 0
#define LNX_KIND_NONNEG 1     // lnxmin: signed; lnxsni: 0 .. signed maximum
#define LNX_KIND_SIGNED 2
#define LNX_KIND_MASK 0x7F
#define LNX_SNI_FULLMIN 0x4000  // the signed range includes -2^(8n-1)
#define LNX_SNI_MASKING 0x8000  // on overflow store the masked magnitude

#define LNX_ST_OK 0
#define LNX_ST_RANGE 1
#define LNX_ST_BELOW1 2
#define LNX_ST_UNSUPPORTED 3

// A native integer of 1, 2, 4 or 8 bytes (machine order) to a NUMBER.
int lnxmin(const void *value, size_t size, int kind, lnx_number *r, size_t *rlen);
// A NUMBER to a native integer, truncating toward zero; see LNX_ST_*.
int lnxsni(const lnx_number *num, size_t len, void *out, size_t size, unsigned flags);

// Powers of 100 of the integer conversions.
typedef struct lnxpow {
  int32_t k;
  uint64_t power;  // 100^k
} lnxpow;
extern const lnxpow SlnxUbgPowers[5], SlnxUb8Powers[10];

// A limit of lnxsni: the magnitude as NUMBER bytes (zero-padded), their real
// length, the bit pattern stored when clamped and the positive range's mask.
typedef struct lnxlimit {
  uint8_t num[16];
  uint8_t len;
  uint64_t pattern;
  uint64_t mask;
} lnxlimit;
extern const lnxlimit LnxsniUb1Maximum, LnxsniUb1Minimum, LnxsniUb2Maximum, LnxsniUb2Minimum,
    LnxsniUb4Maximum, LnxsniUb4Minimum, LnxsniUbgMaximum, LnxsniUbgMinimum, LnxsniUb8Maximum,
    LnxsniUb8Minimum, LnxsniSb1Maximum, LnxsniSb1Minimum, LnxsniSb1FullMin, LnxsniSb2Maximum,
    LnxsniSb2Minimum, LnxsniSb2FullMin, LnxsniSb4Maximum, LnxsniSb4Minimum, LnxsniSb4FullMin,
    LnxsniSbgMaximum, LnxsniSbgMinimum, LnxsniSbgFullMin, LnxsniSb8Maximum, LnxsniSb8Minimum,
    LnxsniSb8FullMin, LnxsniEb1Maximum, LnxsniEb1Minimum, LnxsniEb2Maximum, LnxsniEb2Minimum,
    LnxsniEb4Maximum, LnxsniEb4Minimum;

// ---- native floating-point values --------------------------------------------

// A float (4), double (8) or binary128 (16) value to a NUMBER of 6, 15 or 33
// significant digits. Any other size gives zero; a NaN positive infinity.
void lnxren(const void *value, size_t size, lnx_number *r, size_t *rlen);

typedef struct lnxdpow {
  int32_t k;
  double up;    // 100^k
  double down;  // 100^-k
} lnxdpow;
extern const lnxdpow SlnxDblPowers[8];
typedef struct lnxqpow {
  int32_t k;
  __float128 up;
  __float128 down;
} lnxqpow;
extern const lnxqpow SlnxLDblPowers[8];

// ---- text ------------------------------------------------------------------

// The default text of a NUMBER in a field of |width| bytes (width < 0:
// exponent form), in the handle's character set (NULL: ASCII, '.' as the
// decimal character). pad != 0 right-justifies over the whole field.
// *outlen receives the bytes written (untouched for width 0).
void lnxnucoptg(const lnx_number *num, size_t len, unsigned char *buf, int width,
                const lxlangid *lang, int *outlen, int pad, lxglo *glo);
void lnxnucopt(const lnx_number *num, size_t len, unsigned char *buf, int width,
               const lxlangid *lang, int *outlen, int pad);
void lnxnucg(const lnx_number *num, size_t len, unsigned char *buf, int width,
             const lxlangid *lang, lxglo *glo);
void lnxnuc(const lnx_number *num, size_t len, unsigned char *buf, int width,
            const lxlangid *lang);
// The hexadecimal digits of a non-negative NUMBER's integer part in
// buf[0..size) from a character table; fill != 0 pads with table[0] to the
// size. Returns the characters written, 0 when nothing was written.
size_t lnxqn2h(const lnx_number *num, size_t len, char *buf, size_t size, int fill,
               const char *table);

// ---- formatted text -----------------------------------------------------------

// The numeric format descriptor of the formatted text (lnxnft), 80 bytes.
// The print engine's number converter sets only LNXF_FORMATTED, LNXF_SCI and
// LNXF_NOPOINT, the positions, the width and the two minimums.
#define LNX_FMT_SIZE 80
#define LNX_FMT_GROUPS 71     // group positions: up to the end, ended by 0
#define LNXF_SCI 0x00000040u
#define LNXF_FORMATTED 0x00000080u
#define LNXF_NOPOINT 0x00010000u
typedef struct lnx_fmt {
  uint32_t flags;
  uint8_t intpos;   // digit positions before the decimal point
  uint8_t decpos;   // digit positions after it (the value is rounded to them)
  uint8_t width;    // field width in bytes
  uint8_t minint;   // integer digits printed even when zero
  uint8_t mindec;   // decimal digits printed even when zero
  // low 7 bits: the integer position (from the left, empty positions
  // included) after which a group separator follows; 0x80: the language's
  // group character instead of ","
  uint8_t groups[LNX_FMT_GROUPS];
} lnx_fmt;
#ifdef __cplusplus
static_assert(sizeof(lnx_fmt) == LNX_FMT_SIZE, "the descriptor's size");
static_assert(offsetof(lnx_fmt, intpos) == 4 && offsetof(lnx_fmt, mindec) == 8 &&
                  offsetof(lnx_fmt, groups) == 9,
              "the descriptor's layout");
#endif
// The other flags of the descriptor:
#define LNXF_TRAILMINUS 0x00000001u  // trailing minus for negative values
#define LNXF_DOLLAR 0x00000002u      // "$" before the digits
#define LNXF_ANGLE 0x00000004u       // negative values in "<" ">"
#define LNXF_ZEROBLANK 0x00000008u   // a zero value prints as blanks
#define LNXF_DATE_MDY 0x00000010u    // date mode, "MM/DD/YY"
#define LNXF_DATE_DMY 0x00000020u    // date mode, "DD/MM/YY" (wins over MDY)
#define LNXF_PLUS 0x00000100u        // leading "+" for positive values
#define LNXF_TRAILSIGN 0x00000200u   // trailing "+" or "-"
#define LNXF_CURBEFORE 0x00000400u   // NLS currency text before the digits
#define LNXF_CURAFTER 0x00000800u    // NLS currency text after the digits
#define LNXF_CURPOINT 0x00001000u    // NLS currency text in place of the point
#define LNXF_ROMAN 0x00002000u       // Roman numerals
#define LNXF_LOWER 0x00004000u       // Roman or hexadecimal in lower case
#define LNXF_CUR53 0x00008000u       // the currency text is NLS text item 53
#define LNXF_DOT 0x00020000u         // the point is "." whatever the language
#define LNXF_BLANKFILL 0x00040000u   // spaces in empty positions, right-justified
#define LNXF_PAREN 0x00080000u       // negative values in "(" ")"
#define LNXF_ROUND05 0x00100000u     // the last printed digit rounded to 0 or 5
#define LNXF_HEX 0x00200000u         // hexadecimal
#define LNXF_TEXTMIN 0x00400000u     // positions and width taken from the value
#define LNXF_CUR121 0x00800000u      // the currency text is NLS text item 121
// The widest text of text-minimum mode: 64 characters and a blank.
#define LNX_TEXTMIN_ROOM 65

// Writes a valid NUMBER (len 0: leading length byte) as text under the
// descriptor into out, in the handle's character set (NULL: a default
// handle over the process's shared NLS objects). out holds the width (in
// text-minimum mode at least LNX_TEXTMIN_ROOM bytes), twice as many for an
// AL16UTF16 handle. Returns the bytes written;
// every failure shows as "#" over the width, nothing is raised. Each call
// takes its own NLS status record and drops its reference before it
// returns.
size_t lnxnft(const lnx_number *num, size_t len, const lnx_fmt *fmt, unsigned char *out,
              const lxlangid *lang);
// lnxnft under the caller's status record (lang NULL: a default handle in
// it; both NULL: the "#" fill).
size_t lnxnftg(const lnx_number *num, size_t len, const lnx_fmt *fmt, unsigned char *out,
               const lxlangid *lang, lxglo *glo);
// The date mode's error callback: longjmp to the jmp_buf that is the date
// context's callback argument, with the error number as the value.
[[noreturn]] void lnxnfterf(void *ctx, int err);

// ---- reaching the NLS environment ------------------------------------------

// Converts text from the handle's charset into target, appending two zero
// bytes; 0 with *outlen set, -7 (no charset object) or -13 (no room).
int LnxqBufConv(const lxlangid *lang, const void *text, size_t textlen, const lxcsobj *target,
                void *buf, size_t size, size_t *outlen);
// A copy of the handle in copy switched to UTF8, or lang itself.
const lxlangid *LnxqLid2Utf(const lxlangid *lang, lxlangid *copy, lxglo *glo);
// A fresh lxglo in buf over the process's shared NLS object table.
lxglo *slnxGetGloPtr(lxlobj **global, const lxlangid *lang, lxglo *buf, uint32_t *status);


#ifdef __cplusplus
}
#endif

#endif
