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

// Status codes of the conversions.
#define LXG_ST_SMALL 6       // output too small: part of the source not converted
#define LXG_ST_NOCS 7        // a charset object is missing, or no converter serves it
#define LXG_ST_COPIED 8      // bytes copied without conversion
#define LXG_ST_MISALIGNED 500  // a UTF-16 unit buffer is not on a 2-byte boundary

// lxgu2t mode flag: cooperate with the resumable conversions' carry-over.
#define LXG_U2T_RESUME 0x1000u

// Converts src[0..srclen) from srccs into dst[0..dstlen) in dstcs and returns
// the bytes written (nothing is terminated). glo receives the status, bytes
// consumed, the character counts and the replacement mark. Stateful and
// GB18030 sets are not converted here yet: status LXG_ST_NOCS and 0.
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

#ifdef __cplusplus
}
#endif

#endif
