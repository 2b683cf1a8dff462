// Byte layout of the standard strategy. Every link is an 8-byte slot in both
// widths, so the same offsets hold in the 32-bit and the 64-bit build.
#ifndef QEN_KIT_CORE_LMMST_H
#define QEN_KIT_CORE_LMMST_H

#include <stddef.h>
#include <stdint.h>

#include "lmmi.h"

struct lmmst_ctx;

namespace lmmst {

using u8 = uint8_t;

struct Link {
  uint64_t v;
  template <class T>
  T* get() const {
    return reinterpret_cast<T*>(static_cast<uintptr_t>(v));
  }
  void set(const void* p) { v = reinterpret_cast<uintptr_t>(p); }
};

constexpr u8 kInUse = 0x08;
constexpr u8 kLarge = 0x07;
constexpr u8 kPaged = 0x06;

// A large block's header; the payload follows, its state byte at payload - 9.
struct StBlock {
  Link prev;       // previous physical block, or 0
  Link next;       // next physical block, or 0
  uint64_t size;   // payload bytes
  u8 pad[7];
  u8 state;        // 0x07 free, 0x0F in use
  Link bucket;     // bucket head that matches the size
};

// Trailer at the end of every virtual block.
struct StTrailer {
  Link start;
  Link next;
  Link prev;
  uint64_t total;
};

// A chunk's header: the slots are carved behind it.
struct StChunk {
  Link next;
  Link prev;        // the first chunk's previous is the last chunk
  uint64_t freeb;
  uint32_t inuse;
  uint32_t pad;
  Link cursor;
  uint64_t reserved;
  u8 reserved2[7];
  u8 firstclass;    // class byte of the first slot
};

static_assert(sizeof(Link) == 8);
static_assert(sizeof(StBlock) == 40 && offsetof(StBlock, state) == 31 &&
              offsetof(StBlock, bucket) == 32);
static_assert(sizeof(StTrailer) == 32);
static_assert(sizeof(StChunk) == 56 && offsetof(StChunk, firstclass) == 55 &&
              offsetof(StChunk, cursor) == 32);

unsigned gslt(lmmst_ctx* st, uint64_t size);

}  // namespace lmmst

struct lmmst_ctx {
  lmmst::Link chunks;
  lmmst::Link vinuse;
  lmmst::Link vfree;
  uint32_t l1;
  uint32_t l2[32];
  uint32_t pad;
  lmmst::Link small[5];
  lmmst::Link buckets[1025];
};
static_assert(offsetof(lmmst_ctx, l1) == 24 && offsetof(lmmst_ctx, small) == 160 &&
              sizeof(lmmst_ctx) == 160 + 40 + 1025 * 8);

#endif
