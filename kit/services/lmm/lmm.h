// Memory manager: heaps arranged in a tree, each with a pluggable allocation
// strategy (a table of seven operations) and an optional kit mutex.
#ifndef QEN_KIT_CORE_LMM_H
#define QEN_KIT_CORE_LMM_H

#include <stddef.h>
#include <stdint.h>

#include "slts.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct lpm_meta lpm_meta;
typedef struct lwem_facility lwem_facility;

typedef struct lmm_heap lmm_heap;
typedef struct lmm_ctx lmm_ctx;
typedef struct lmm_primary lmm_primary;
typedef struct lmm_private lmm_private;

// Largest request the manager passes on to a strategy.
#define LMM_MAXSIZE ((size_t)2147473647u)

// Flags of the heap operations.
#define LMM_NOMUTEX 0x1u        /* lmmhpinit: no mutex; realloc: copy the whole old block */
#define LMM_COPYALL 0x1u
#define LMM_VRTSIZE 0x20u       /* (flags & 31) x 8192 is the virtual-block size */
#define LMM_NOREC 0x10000u      /* record no error */
#define LMM_PAGEBLK 0x100000u   /* block-list block is page-aligned */
#define LMM_NOMARK 0x200000u    /* record errors but do not mark them */
#define LMM_KEEPHP 0x80000u     /* standard heap free does nothing */
#define LMM_INTERNAL 0x420000u  /* the manager's own allocations */
#define LMM_PRODUCT 0x400000u   /* a product instance's records (lmmcis, lmmcit) */
#define LMM_PRODUCT_UNDO (LMM_PRODUCT | LMM_NOMARK)  /* lmmcis undoing a failed instance */

// Message numbers of the LMM facility.
#define LMM_EINTERNAL 3
#define LMM_EBADARG 33
#define LMM_ETOOLARGE 34
#define LMM_ENOTSCTX 35
#define LMM_ETSCTXREL 36

// The seven operations of an allocation strategy. Each takes the ctx, the
// heap, the caller's flags and the call's mark flag.
typedef struct lmm_strategy {
  int (*hinit)(lmm_ctx* ctx, lmm_heap* heap, void** place, unsigned flags, int* mark);
  int (*hfree)(lmm_ctx* ctx, lmm_heap* heap, unsigned flags, int* mark);
  void* (*malloc)(lmm_ctx* ctx, lmm_heap* heap, size_t size, unsigned flags, int* mark);
  int (*free)(lmm_ctx* ctx, lmm_heap* heap, void* ptr, unsigned flags, int* mark);
  void* (*calloc)(lmm_ctx* ctx, lmm_heap* heap, size_t count, size_t size, unsigned flags,
                  int* mark);
  void* (*realloc)(lmm_ctx* ctx, lmm_heap* heap, void* ptr, size_t size, size_t copylen,
                   unsigned flags, int* mark);
  void* (*valloc)(lmm_ctx* ctx, lmm_heap* heap, size_t size, unsigned flags, int* mark);
} lmm_strategy;

// A node of a heap's list of blocks taken straight from the process allocator.
typedef struct lmm_block {
  struct lmm_block* next;
  struct lmm_block* prev;  // the head's previous is the last node
  size_t size;
  size_t alignoff;
  void* block;
  uint32_t flags;          // LMM_PAGEBLK
} lmm_block;

// A heap descriptor.
struct lmm_heap {
  lmm_heap* parent;                // NULL for the root top heap
  void* strctx;                    // the strategy's private context
  const lmm_strategy* strategy;
  int callerowned;                 // 1 when the caller supplied the descriptor
  slts_mutex mutex;
  lmm_block* blocks;               // OS block list
  int locking;                     // 1: malloc and free take the mutex
};

struct lmm_primary {
  lpm_meta* block;                 // owning process block
  lmm_heap* roothp;                // root top heap
  lwem_facility* facility;         // "VODUDED"/"LMM"
  slts_ctx* tsctx;
  size_t vrtsize;                  // default virtual-block size; 0: 17 x max(page, 8192)
};

struct lmm_private {
  lmm_primary* primary;
  lmm_heap* tophp;
  void* reserved;
};

struct lmm_ctx {
  void* owner;                     // the process block or the product
  lmm_private* priv;
};

// The memory field of a process block or product.
typedef struct lmm_service {
  lmm_ctx* ctx;
  uint32_t count;
  void* words[9];
} lmm_service;

// Strategy tables.
extern const lmm_strategy lmmgstand;
extern const lmm_strategy lmmgfast;
const lmm_strategy* lmmgetstmfp(void);
const lmm_strategy* lmmgetfsmfp(void);

int lmmhpinit(lmm_ctx* ctx, lmm_heap** place, lmm_heap* parent, unsigned flags, void* reserved,
              const char* file, int line, const lmm_strategy* strategy);
int lmmhpfree(lmm_ctx* ctx, lmm_heap* heap, unsigned flags);
#if UINTPTR_MAX > 0xFFFFFFFFu
void* lmmmalloc(lmm_ctx* ctx, lmm_heap* heap, size_t size, unsigned flags, const char* file,
                int line);
#else
void* lmmmalloc(lmm_ctx* ctx, lmm_heap* heap, size_t size, unsigned flags);
#endif
int lmmfree(lmm_ctx* ctx, lmm_heap* heap, void* ptr, unsigned flags);
lmm_heap* lmmtophp(lmm_ctx* ctx);
size_t lmmhpsz(void);

// Memory service of a process block (mode 0 start, 1 stop) and per product.
int lmmrist(lpm_meta* block, void* slot, int mode);
int lmmcis(lpm_meta* block, lmm_ctx** place, void* product, size_t* memdata);
int lmmcit(lpm_meta* block, lmm_ctx* inst, void* product);
int lmmfrthp(lmm_ctx* ctx);

// Process allocator.
void slmmpreinit(lpm_meta* block);
void* slwmmgetmem(slts_ctx* tsctx, size_t* size);
int slwmmputmem(slts_ctx* tsctx, void* ptr);
size_t slmmstmsr(void);

// Error recorder: typed arguments in the argument-list form, ending with type 0.
int lmmorec(lpm_meta* block, lwem_facility* facility, lmm_ctx* ctx, int number, int site,
            void* reserved, int* mark, unsigned flags, ...);

// OS block list of a heap.
void* lmmomallocblklist(lmm_ctx* ctx, lmm_heap* heap, size_t size, unsigned flags, int* mark);
int lmmofreeblklist(lmm_ctx* ctx, lmm_heap* heap, void* ptr, unsigned flags, int* mark);
int lmmohfreeblklist(lmm_ctx* ctx, lmm_heap* heap, unsigned flags, int* mark);
void* lmmocallocblklist(lmm_ctx* ctx, lmm_heap* heap, size_t count, size_t size, unsigned flags,
                        int* mark);
void* lmmovallocblklist(lmm_ctx* ctx, lmm_heap* heap, size_t size, unsigned flags, int* mark);
void* lmmoreallocblklist(lmm_ctx* ctx, lmm_heap* heap, void* ptr, size_t size, size_t copylen,
                         unsigned flags, int* found, int listflag, int* mark);

// Standard strategy.
int lmmsthinit(lmm_ctx* ctx, lmm_heap* heap, void** place, unsigned flags, int* mark);
int lmmsthfree(lmm_ctx* ctx, lmm_heap* heap, unsigned flags, int* mark);
void* lmmstmalloc(lmm_ctx* ctx, lmm_heap* heap, size_t size, unsigned flags, int* mark);
int lmmstfree(lmm_ctx* ctx, lmm_heap* heap, void* ptr, unsigned flags, int* mark);
void* lmmstcalloc(lmm_ctx* ctx, lmm_heap* heap, size_t count, size_t size, unsigned flags,
                  int* mark);
void* lmmstrealloc(lmm_ctx* ctx, lmm_heap* heap, void* ptr, size_t size, size_t copylen,
                   unsigned flags, int* mark);
void* lmmstvalloc(lmm_ctx* ctx, lmm_heap* heap, size_t size, unsigned flags, int* mark);

// Fast arena strategy.
int lmmfshinit(lmm_ctx* ctx, lmm_heap* heap, void** place, unsigned flags, int* mark);
int lmmfshfree(lmm_ctx* ctx, lmm_heap* heap, unsigned flags, int* mark);
void* lmmfsmalloc(lmm_ctx* ctx, lmm_heap* heap, size_t size, unsigned flags, int* mark);
int lmmfsfree(lmm_ctx* ctx, lmm_heap* heap, void* ptr, unsigned flags, int* mark);
void* lmmfscalloc(lmm_ctx* ctx, lmm_heap* heap, size_t count, size_t size, unsigned flags,
                  int* mark);
void* lmmfsrealloc(lmm_ctx* ctx, lmm_heap* heap, void* ptr, size_t size, size_t copylen,
                   unsigned flags, int* mark);
void* lmmfsvalloc(lmm_ctx* ctx, lmm_heap* heap, size_t size, unsigned flags, int* mark);

#ifdef __cplusplus
}
#endif

#endif
