// The client library's version number. The instance writes the same number
// into the layout version word of its health file.
#ifndef QEN_VZCLIENT_VSNNUM_H
#define QEN_VZCLIENT_VSNNUM_H

#include <stdint.h>

// Release 10.1: major in the top byte, minor in the next four bits.
#define VZ_VSNNUM 0x0A100000u

#ifdef __cplusplus
extern "C" {
#endif

extern const uint32_t vsnnum;  // always VZ_VSNNUM

#ifdef __cplusplus
}
#endif

#endif
