// The OS layer's file opener, which opens ordinary files or, when the
// virtual-file layer serves the installation, files of the data package.
#ifndef QEN_KIT_CORE_SLF_H
#define QEN_KIT_CORE_SLF_H

#include <stddef.h>

#include "los.h"

#ifdef __cplusplus
extern "C" {
#endif

// Kinds of a handle.
#define SLF_KIND_STDIO 0
#define SLF_KIND_VIRTUAL 1

// Result of SlfFopen: a stdio stream (kind 0) or a virtual file (kind 1).
typedef struct slf_handle {
  void *stream;
  int kind;
} slf_handle;

// Modes and flags of SlfFopen.
#define SLF_MODE_READ 0
#define SLF_MODE_WRITE 1
#define SLF_FLAG_UPDATE 0x1
#define SLF_FLAG_APPEND 0x8
#define SLF_VIRTUAL 0x1

// Stream types 2, 3 and 4 give the standard input, output and error.
slf_handle *SlfFopen(const char *name, const char *dir, int mode, int flags, int stype,
                     slos_error *err, int virt);

// Builds dir + '/' + name + '.' + ext into buf (buflen bytes); at most
// buflen - 2 characters are accepted. 0, or -1 with -9 "Buffer too short".
int Slfgfn(const char *name, const char *dir, const char *ext, void *reserved, char *buf,
           size_t buflen, slos_error *err);

#ifdef __cplusplus
}
#endif

#endif
