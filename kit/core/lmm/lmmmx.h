// The thread-services records a heap and the memory service hold.
#ifndef QEN_KIT_CORE_LMMMX_H
#define QEN_KIT_CORE_LMMMX_H

#if __has_include("slts.h")
#include "slts.h"
#define LMM_HAVE_SLTS 1
#else
// Until the thread services are part of the kit: the same shapes, no calls.
typedef struct slts_ctx slts_ctx;
typedef struct slts_mutex {
  void* callback;
  void* argument;
  void* block;
} slts_mutex;
#define LMM_HAVE_SLTS 0
#endif

#endif
