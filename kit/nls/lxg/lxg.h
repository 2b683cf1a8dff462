// Whole-string conversion between character sets, and conversion to and from
// UTF-16 code units.
#ifndef QEN_KIT_NLS_LXG_H
#define QEN_KIT_NLS_LXG_H

#include <stddef.h>
#include <stdint.h>

#include "lxc.h"
#include "lxl.h"

#ifdef __cplusplus
extern "C" {
#endif

#ifdef QEN_TEST_HOOKS
// Test builds: nonzero makes lxgcnv convert every pair through its general
// loop, without the dedicated loops of the common pairs.
extern int lxg_general_only;
#endif

// Status codes of the conversions.
#define LXG_ST_NOMEM 5       // a work buffer could not be allocated
#define LXG_ST_SMALL 6       // output too small: part of the source not converted
#define LXG_ST_NOCS 7        // a charset object is missing, or no converter serves it
#define LXG_ST_COPIED 8      // bytes copied without conversion
#define LXG_ST_NOTSTATEFUL 20  // a stateful conversion asked of a set without flag 0x80
#define LXG_ST_NORETURN 30   // a stateful set's initial set has no return sequence
#define LXG_ST_MISALIGNED 500  // a UTF-16 unit buffer is not on a 2-byte boundary

// Modes of the resumable conversions.
#define LXG_MORE 0           // more source follows: carry a cut-off character, keep shift modes
#define LXG_LAST 1           // last piece: drop a cut-off character, close the output
#define LXG_LAST_WHOLE 2     // last piece, no output character split; the carry-over is cleared

// lxgu2t mode flag: cooperate with the resumable conversions' carry-over.
#define LXG_U2T_RESUME 0x1000u

// Converts src[0..srclen) from srccs into dst[0..dstlen) in dstcs and returns
// the bytes written (nothing is terminated). glo receives the status, bytes
// consumed, the character counts and the replacement mark.
size_t lxgcnv(void *dst, const lxcsobj *dstcs, size_t dstlen, const void *src,
              const lxcsobj *srccs, size_t srclen, lxglo *glo);

// The most output bytes one input byte can need from srccs to dstcs.
uint32_t lxgratio(const lxcsobj *dstcs, const lxcsobj *srccs, lxglo *glo);

// Text in srccs to UTF-16 units (host order, 2-byte aligned). Capacity 0
// measures: returns the units the whole source needs.
uint32_t lxgt2u(uint16_t *dst, uint32_t capacity, const void *src, const lxcsobj *srccs,
                uint32_t srclen, uint16_t mode, lxglo *glo);

// UTF-16 units to text in dstcs. dstlen 0 measures: returns the bytes needed.
uint32_t lxgu2t(void *dst, const lxcsobj *dstcs, uint32_t dstlen, const uint16_t *src,
                uint32_t nunits, uint16_t mode, lxglo *glo);

// lxgu2t counting bytes and characters on both sides. Each count gives a
// limit (NULL: none) and receives the amount used. Bit 31 of kind leaves a
// final high surrogate unconsumed; the low bits name the destination form
// (0: from dstcs).
uint32_t lxgu2tc(void *dst, const lxcsobj *dstcs, uint32_t *outbytes, uint32_t *outchars,
                 const uint16_t *src, uint32_t *srcbytes, uint32_t *srcunits, uint32_t kind,
                 lxglo *glo);

// ---- Resumable conversion --------------------------------------------------

// Converts from *src (*srclen bytes left) into dst[0..dstlen), advancing *src
// and *srclen past every byte consumed, carried or dropped. The carry-over
// fields of glo hold a cut-off source character, output bytes that did not
// fit and the shift states from one call to the next (mode: LXG_MORE,
// LXG_LAST, LXG_LAST_WHOLE). Returns the bytes written, or -1 with status 7
// (a set missing), 6 (mode 2 cannot write the held output) or 500.
int32_t lxgcvp(void *dst, const lxcsobj *dstcs, uint32_t dstlen, const void **src,
               const lxcsobj *srccs, uint32_t *srclen, uint16_t mode, lxglo *glo);

// ---- Stateful sets (flag 0x80: ISO-2022 and HZ) ------------------------------

// lxgcnv's contract where either set is stateful.
size_t lxg2cnv(void *dst, const lxcsobj *dstcs, size_t dstlen, const void *src,
               const lxcsobj *srccs, size_t srclen, lxglo *glo);
// Text of a stateful set's base charset into the stateful form.
size_t lxg2o2i(void *dst, const lxcsobj *stcs, size_t dstlen, const void *src,
               const lxcsobj *basecs, size_t srclen, lxglo *glo);
// Stateful text to UTF-16 units (capacity 0 counts them), and back (dstlen 0
// measures).
uint32_t lxg2t2u(uint16_t *dst, uint32_t capacity, const void *src, const lxcsobj *srccs,
                 uint32_t srclen, uint16_t mode, lxglo *glo);
uint32_t lxg2u2t(void *dst, const lxcsobj *dstcs, uint32_t dstlen, const uint16_t *src,
                 uint32_t nunits, uint16_t mode, lxglo *glo);
// lxgcvp's contract where either set is stateful.
int32_t lxg2cvp(void *dst, const lxcsobj *dstcs, uint32_t dstlen, const void **src,
                const lxcsobj *srccs, uint32_t *srclen, uint16_t mode, lxglo *glo);
// The entry of a stateful set that bytes[0..avail) starts: mode 0 a
// designation sequence, 1 a shift sequence, 2 a base-charset character.
// Returns 1 and the entry in *idx when found, else 0.
int lx2seq(const lxcsobj *stcs, const uint8_t *bytes, unsigned *idx, int mode, size_t avail);
// 1 (and the base id) when cs can serve as the stateful set's base charset.
int lxmatch(const lxcsobj *cs, const lxcsobj *stcs, uint16_t *baseid);

// ---- GB18030 -----------------------------------------------------------------

// lxgcnv's and lxgcvp's contracts where either set is GB18030 (id 854). The
// lengths come by address, each with an optional character counter (NULL:
// the byte counter's value). bytesonly 1 reports as lxgcnv / lxgcvp do;
// 0 reports the amounts used through the counters as well.
size_t lxgbcnv(void *dst, const lxcsobj *dstcs, size_t *dstlen, size_t *dstchars,
               const void *src, const lxcsobj *srccs, size_t *srclen, size_t *srcchars,
               int bytesonly, lxglo *glo);
int32_t lxgbcvp(void *dst, const lxcsobj *dstcs, uint32_t *dstlen, uint32_t *dstchars,
                const void **src, const lxcsobj *srccs, uint32_t *srclen, uint32_t *srcchars,
                uint16_t mode, int bytesonly, lxglo *glo);

#ifdef __cplusplus
}
#endif

#endif
