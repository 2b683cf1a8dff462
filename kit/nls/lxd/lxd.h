// Display-width padding: copies a text field into a buffer and pads it to a
// width, on the right or on the left, with a pad string or the character
// set's own pad character. In a single-byte character set the width counts
// bytes; in any other it counts display columns (double-width characters
// take two). The date renderer pads date elements that carry names (month
// and day names, era texts) with it.
//
// The destination's size is given (dstsize) and never written past.
#ifndef QEN_KIT_NLS_LXD_H
#define QEN_KIT_NLS_LXD_H

#include <stddef.h>
#include <stdint.h>

#include "lxl.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LXD_PAD_RIGHT 1      // mode: source, then padding (any other low byte: left)
#define LXD_ST_SHORT 28      // a multibyte pad could not fill the width exactly

// Copies src[0..srclen) into dst[0..dstsize) padded to width (bytes in a
// single-byte set, display columns otherwise). The status is cleared on
// entry; nbytes2 receives the bytes written. Returns, when padding was
// added, dst + srclen (right padding: where the padding begins) or dst (left
// padding); NULL when the source filled or exceeded the width. Status 28
// when a multibyte pad left columns unfilled; status 6 (and NULL) when the
// padded field does not fit in dstsize bytes.
char *lxdprl(const void *src, size_t srclen, char *dst, size_t dstsize, size_t width,
             const char *pad, int mode, const lxlangid *h, lxglo *glo);

#ifdef __cplusplus
}
#endif

#endif
