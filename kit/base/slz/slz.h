// Environment variables and OS error texts of the sl layer.
#ifndef QEN_KIT_CORE_SLZ_H
#define QEN_KIT_CORE_SLZ_H

#include <stddef.h>
#include <stdint.h>

#include "los.h"

#ifdef __cplusplus
extern "C" {
#endif

#define SLZ_INDIRECT 0x1u     // the value names another variable
#define SLZ_MAXNAME 31        // longest variable name
#define SLZ_MAXVALUE 1023     // longest value
#define SLZ_MAXINDIRECT 255   // most indirections followed

// Copies the value of the variable (name of namelen bytes) into buf, without a
// NUL, and returns its length. -1 with code 21104 when it is unset or empty;
// -2 with 21100 for bad arguments or too many indirections, with 21101 for a
// name above 31 characters or a value that does not fit buf or is longer than
// 1023 characters. A NULL status returns -2.
int slzgetevar(sl_status *st, const char *name, size_t namelen, char *buf,
               size_t buflen, uint32_t flags);

// Sets the variable to the value's bytes (empty for NULL). The assignment
// stays with the environment. Returns 1, or 0 with code 21102 (no memory) or
// 21100 (bad name, or the environment refused it).
int slzsetevar(sl_status *st, const char *name, size_t namelen,
               const char *value, size_t valuelen);

// The system's text for the OS error number in buf (at most len - 1
// characters and a NUL). Returns buf, or NULL when the system has no text
// for the number or len is 0.
char *slzerrstr(int32_t oserr, char *buf, size_t len);

#ifdef __cplusplus
}
#endif

#endif
