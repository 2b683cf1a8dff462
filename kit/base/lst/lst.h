// Byte-string helpers: bounded formatted printing, case-insensitive compare,
// upper-casing copy.
#ifndef QEN_KIT_CORE_LST_H
#define QEN_KIT_CORE_LST_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Formats into buf, which holds size bytes; never writes past them and always
// terminates when size is above 0. Returns the number of characters written,
// terminator not counted (0 for size 0), or a negative value when the format
// cannot be applied.
int lstprintf(char *buf, size_t size, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));

// 0 when the n bytes of a and b are equal ignoring the case of ASCII letters,
// else the difference of the first unequal pair after lower-casing. NUL bytes
// are compared like any other.
int lstmclo(const void *a, const void *b, size_t n);

// Copies n bytes upper-cased (ASCII letters); the areas may overlap.
// Returns dst.
void *lstmup(void *dst, const void *src, size_t n);

#ifdef __cplusplus
}
#endif

#endif
