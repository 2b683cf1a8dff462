// Internal services of the message-file service: the block search, the cache
// area's lists and the handle's locks.
#ifndef QEN_KIT_NLS_LMS_INT_H
#define QEN_KIT_NLS_LMS_INT_H

#include <stddef.h>
#include <stdint.h>

#include "lms.h"

#define LMS_PATHMAX 256   // the path buffer the handle builds names in
#define LMS_FBLANGS 5

// Parts of a file.
enum { LMS_PMSG = 0, LMS_PCMT = 1 };

extern "C" {
// Fallback languages: an abbreviation equal to lms_fblang[i] (ignoring case)
// also tries lms_pmlang[i].
extern const char *const lms_fblang[LMS_FBLANGS];
extern const char *const lms_pmlang[LMS_FBLANGS];

// The handle's locks: the thread context, two owner-aware counted mutexes
// and the shared/exclusive lock. 0, or -1 with nothing made.
int lmsamtsini(lmshnd *h);
void lmsamtsmxlk(lmshnd *h, lms_mutex *m);
void lmsamtsmxunlk(lmshnd *h, lms_mutex *m);
void lmsamtster(lmshnd *h);
}

// Holds one of the handle's counted mutexes for a scope (nothing for a
// handle without locks).
class LmsHeld {
 public:
  LmsHeld(lmshnd *h, lms_mutex *m, bool take = true) : h_(h), m_(m), take_(take && h->thr) {
    if (take_) lmsamtsmxlk(h_, m_);
  }
  ~LmsHeld() {
    if (take_) lmsamtsmxunlk(h_, m_);
  }
  LmsHeld(const LmsHeld &) = delete;
  LmsHeld &operator=(const LmsHeld &) = delete;

 private:
  lmshnd *h_;
  lms_mutex *m_;
  bool take_;
};

// Where one part of one file lies, from the counts of its header.
struct LmsPart {
  slmsfile *file;
  uint64_t l1;       // block of the level-1 index
  uint32_t l;        // its entries (level-2 blocks)
  uint64_t l2first;  // block of level-2 block 0
  uint64_t dfirst;   // block of data block 0
  uint32_t d;        // data blocks
};
LmsPart lms_part(lmshnd *h, int part, bool second);

// Reads block n of the file (512 bytes); false on any failure.
bool lms_read_block(slmsfile *f, uint64_t n, void *buf);

// Looks the number up in one part of the first or the second file; copies
// its text (at most a block) into text and its attribute into *attr.
// Returns the text's length, or -1 for a miss (also for a read error or a
// damaged block).
int lms_find(lmshnd *h, int part, bool second, unsigned number, char *text, uint16_t *attr);

// Block i of a fully cached part whose count headers begin at head.
inline uint8_t *lms_cached_body(lmscbuf *head, uint32_t count, uint32_t i) {
  return reinterpret_cast<uint8_t *>(head + count) + size_t{i} * LMSF_BLOCK;
}

// Gives the handle's cached buffers back to its area and detaches it.
void lms_area_release(lmshnd *h);

// value in decimal into out (24 bytes).
void lms_decimal(char *out, long value);

// ---- data blocks -------------------------------------------------------------

// A u16 of a block at byte offset at.
inline uint16_t lms_u16(const uint8_t *block, size_t at) {
  uint16_t v;
  __builtin_memcpy(&v, block + at, sizeof v);
  return v;
}

// Searches a data block for the number. Returns the entry's text offset and
// sets *len and *attr, or -1 when the number is not there or the block is
// damaged (count, entries or offsets out of order or outside the block).
// checked: the block was found sound when it was cached; not checked again.
int lms_block_find(const uint8_t *block, unsigned number, size_t *len, uint16_t *attr,
                   bool checked = false);

// The number range of a sound data block (low > high for an empty or damaged
// one) and its entry count.
void lms_block_range(const uint8_t *block, uint16_t *low, uint16_t *high, uint16_t *count);

#endif
