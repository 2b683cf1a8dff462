// NLS string operations: copying, concatenation and lengths of texts.
#ifndef QEN_KIT_NLS_LXO_H
#define QEN_KIT_NLS_LXO_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Byte length of a UTF-16 text before its terminating unit of two zero bytes.
size_t lxsulen(const void *text);

#ifdef __cplusplus
}
#endif

#endif
