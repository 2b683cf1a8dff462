// Cache areas of message handles, and the locks of thread-safe handles.
//
// An area is the caller's memory: the header (lmscache) at its start, then
// the usable part from its offset on. Attaching it to an open handle splits
// the usable part into a message share and a comment share; each share holds
// every data block of its part when they all fit (the part is then fully
// cached), else a copy of the level-1 index (and the level-2 index blocks
// when they fit too) and as many block buffers, or single-message buffers,
// as fit.
#include <cstring>

#include "lms.h"
#include "lms_int.h"

namespace {

constexpr size_t kWord = sizeof(void *);

size_t align_up(size_t n) { return (n + kWord - 1) & ~(kWord - 1); }
size_t align_down(size_t n) { return n & ~(kWord - 1); }

uint8_t *body(lmscbuf *b) { return reinterpret_cast<uint8_t *>(b + 1); }

// Carves count buffers of size bytes from p, linked in order; returns the
// first and leaves p after the last.
lmscbuf *carve(uint8_t *&p, size_t count, size_t size) {
  lmscbuf *first = nullptr, **link = &first;
  for (size_t i = 0; i < count; ++i, p += size) {
    auto b = reinterpret_cast<lmscbuf *>(p);
    std::memset(b, 0, sizeof *b);
    *link = b;
    link = &b->next;
  }
  return first;
}

// Fills one share (lmsacb1). Returns false when the level-1 index could not
// be read (the area is then not attached).
bool fill_share(lmshnd *h, lmscache *a, int part, uint8_t *p, size_t len) {
  const LmsPart lay = lms_part(h, part, false);
  const uint8_t share_bit = part == LMS_PMSG ? LMSC_MSGSHARE : LMSC_CMTSHARE;
  const uint8_t l2_bit = part == LMS_PMSG ? LMSC_MSGL2 : LMSC_CMTL2;
  const int idx_kind = part == LMS_PMSG ? LMSC_MSGIDX : LMSC_CMTIDX;
  const int data_kind = part == LMS_PMSG ? LMSC_MSGDATA : LMSC_CMTDATA;
  lmscbuf *&data = part == LMS_PMSG ? h->msg_data : h->cmt_data;
  lmscbuf *&l2 = part == LMS_PMSG ? h->msg_l2 : h->cmt_l2;
  uint8_t &state = part == LMS_PMSG ? h->msg_state : h->cmt_state;

  alignas(8) uint8_t l1[LMSF_BLOCK];
  if (!lms_read_block(&h->file1, lay.l1, l1)) return false;

  if (len / LMSC_BLOCKBUF >= lay.d) {
    // every data block fits: read them all. The buffer headers lie together
    // in block order, the blocks after them (lms_cached_body), so that the
    // search bisects a compact array; highs never decrease. A block that
    // cannot be read or is damaged covers no number.
    auto hdrs = reinterpret_cast<lmscbuf *>(p);
    uint16_t prev_high = 0;
    for (uint32_t d = 0; d < lay.d; ++d) {
      lmscbuf *b = &hdrs[d];
      uint8_t *blk = lms_cached_body(hdrs, lay.d, d);
      if (!lms_read_block(&h->file1, lay.dfirst + d, blk)) std::memset(blk, 0, LMSF_BLOCK);
      b->index = static_cast<uint16_t>(d);
      b->next = d + 1 < lay.d ? &hdrs[d + 1] : nullptr;
      lms_block_range(blk, &b->low, &b->high, &b->count);
      if (b->low > b->high || b->high < prev_high) {
        b->low = 1;
        b->high = prev_high;
        b->count = 0;
      }
      prev_high = b->high;
    }
    data = lay.d ? hdrs : nullptr;
    state = LMS_PCACHED;
    return true;
  }
  if (len < LMSF_BLOCK) {
    a->flags = static_cast<uint8_t>(a->flags & ~share_bit);
    return true;
  }
  std::memcpy(p, l1, LMSF_BLOCK);
  a->l1[part] = p;
  p += LMSF_BLOCK;
  len -= LMSF_BLOCK;
  if (len / LMSC_BLOCKBUF > lay.l) {
    l2 = carve(p, lay.l, LMSC_BLOCKBUF);
    len -= size_t{lay.l} * LMSC_BLOCKBUF;
    uint16_t j = 0;
    for (lmscbuf *b = l2; b; b = b->next, ++j)
      b->index = lms_read_block(&h->file1, lay.l2first + j, body(b)) ? j : LMSC_SINGLE;
    a->flags = static_cast<uint8_t>(a->flags | l2_bit);
  }
  if (size_t n = len / LMSC_BLOCKBUF; n > 0) {
    a->anchor[data_kind][0] = carve(p, n, LMSC_BLOCKBUF);
  } else if (size_t m = len / LMSC_MSGBUF; m > 0) {
    a->anchor[data_kind][1] = carve(p, m, LMSC_MSGBUF);
  } else if (!l2) {
    a->flags = static_cast<uint8_t>(a->flags & ~share_bit);
    a->l1[part] = nullptr;
  }
  (void)idx_kind;
  return true;
}

void give_back(lmscache *a, lmscbuf *&list, int kind) {
  while (lmscbuf *b = list) {
    list = b->next;
    int which = b->index == LMSC_SINGLE && kind != LMSC_MSGIDX && kind != LMSC_CMTIDX ? 1 : 0;
    b->next = a->anchor[kind][which];
    a->anchor[kind][which] = b;
  }
}

void destroy_mutex(slts_ctx *thr, lms_mutex *m) {
  sltsmxd(thr, &m->mx);
  sltstiddestroy(thr, &m->owner);
}

}  // namespace

void lms_area_release(lmshnd *h) {
  lmscache *a = h->area;
  if (!a) return;
  // a fully cached part's blocks are not buffers of the lists: dropped
  if (h->msg_state == LMS_PCACHED) h->msg_data = nullptr;
  if (h->cmt_state == LMS_PCACHED) h->cmt_data = nullptr;
  give_back(a, h->msg_data, LMSC_MSGDATA);
  give_back(a, h->cmt_data, LMSC_CMTDATA);
  give_back(a, h->msg_l2, LMSC_MSGIDX);
  give_back(a, h->cmt_l2, LMSC_CMTIDX);
  a->l1[0] = a->l1[1] = nullptr;
  a->owner = nullptr;
  h->area = nullptr;
}

extern "C" {

int lmsaci1(void *area, size_t size, size_t offset, int mode) {
  if (!area || size == 0) return -1;
  auto a = static_cast<lmscache *>(area);
  if (size < sizeof(lmscache) || offset > size || size - offset < sizeof(lmscache)) {
    a->flags = LMSC_UNUSABLE;
    return -1;
  }
  std::memset(a, 0, sizeof *a);
  a->size = size;
  a->offset = offset;
  if (mode != 1) a->flags = LMSC_MSGSHARE | LMSC_CMTSHARE;
  return 0;
}

int lmsacin(void *area, size_t size, int mode) { return lmsaci1(area, size, 0, mode); }

int lmsacbn(lmshnd *h, void *area, int msgflag) { return lmsacb(h, area, msgflag, 0, 0); }

int lmsacb(lmshnd *h, void *area, int msgflag, int cmtflag, size_t cmtsize) {
  if (!h || !area || h->msg_state != LMS_POPEN || h->area) return -1;
  auto a = static_cast<lmscache *>(area);
  if (a->flags == LMSC_UNUSABLE || a->owner) return -1;
  LmsHeld held(h, &h->listmx);
  const size_t start = align_up(a->offset > sizeof(lmscache) ? a->offset : sizeof(lmscache));
  if (start >= a->size) return -1;
  const size_t region = align_down(a->size - start);
  size_t cmt = cmtflag && h->cmt_state == LMS_POPEN ? align_down(cmtsize < region ? cmtsize : region) : 0;
  size_t msg = region - cmt;
  a->flags = 0;
  std::memset(a->anchor, 0, sizeof a->anchor);
  a->l1[0] = a->l1[1] = nullptr;
  if (msgflag) a->flags |= LMSC_MSGSHARE;
  if (cmt) a->flags |= LMSC_CMTSHARE;
  uint8_t *base = static_cast<uint8_t *>(area) + start;
  h->area = a;
  a->owner = h;
  bool ok = true;
  if (a->flags & LMSC_MSGSHARE) ok = fill_share(h, a, LMS_PMSG, base, msg);
  if (ok && (a->flags & LMSC_CMTSHARE)) ok = fill_share(h, a, LMS_PCMT, base + msg, cmt);
  if (!ok || !(a->flags & (LMSC_MSGSHARE | LMSC_CMTSHARE))) {
    // nothing held: give the blocks read back, the parts are open again
    if (h->msg_state == LMS_PCACHED) h->msg_state = LMS_POPEN;
    if (h->cmt_state == LMS_PCACHED) h->cmt_state = LMS_POPEN;
    lms_area_release(h);
    a->flags = 0;
    return -1;
  }
  if (h->msg_state == LMS_PCACHED && h->cmt_state == LMS_PCACHED) {
    sl_status st{};
    slmscl(&st, &h->file1);
  }
  return 0;
}

// ---- locks -------------------------------------------------------------------

int lmsamtsini(lmshnd *h) {
  sltspin();
  slts_ctx *thr = sltsini();
  if (!thr) return -1;
  int made = 0;
  if (sltsmxi(thr, &h->listmx.mx) != 0) goto fail;
  made = 1;
  if (sltstidinit(thr, &h->listmx.owner) != 0) goto fail;
  made = 2;
  if (sltsmxi(thr, &h->textmx.mx) != 0) goto fail;
  made = 3;
  if (sltstidinit(thr, &h->textmx.owner) != 0) goto fail;
  made = 4;
  if (SltsPrInit(thr, &h->prlock) != 0) goto fail;
  h->listmx.count = h->textmx.count = 0;
  h->listmx.holder = h->textmx.holder = 0;
  h->thr = thr;
  return 0;
fail:
  if (made >= 4) sltstiddestroy(thr, &h->textmx.owner);
  if (made >= 3) sltsmxd(thr, &h->textmx.mx);
  if (made >= 2) sltstiddestroy(thr, &h->listmx.owner);
  if (made >= 1) sltsmxd(thr, &h->listmx.mx);
  sltster(thr);
  return -1;
}

// Only the owner ever finds its own number in holder: a thread stores it
// only while holding the mutex and clears it before letting go.
void lmsamtsmxlk(lmshnd *h, lms_mutex *m) {
  slts_tid me{};
  int self = 0;
  if (sltstidinit(h->thr, &me) == 0) {
    sltstgi(h->thr, &me);
    self = me.rec ? me.rec->id : 0;
  }
  if (self != 0 && __atomic_load_n(&m->holder, __ATOMIC_RELAXED) == self) {
    ++m->count;
  } else {
    sltsmna(h->thr, &m->mx);
    if (me.rec) sltstai(h->thr, &m->owner, &me);
    __atomic_store_n(&m->holder, self, __ATOMIC_RELAXED);
    m->count = 1;
  }
  sltstiddestroy(h->thr, &me);
}

void lmsamtsmxunlk(lmshnd *h, lms_mutex *m) {
  if (m->count > 1) {
    --m->count;
    return;
  }
  m->count = 0;
  __atomic_store_n(&m->holder, 0, __ATOMIC_RELAXED);
  sltstan(h->thr, &m->owner);
  sltsmnr(h->thr, &m->mx);
}

void lmsamtster(lmshnd *h) {
  slts_ctx *thr = h->thr;
  if (!thr) return;
  destroy_mutex(thr, &h->listmx);
  destroy_mutex(thr, &h->textmx);
  SltsPrDestroy(thr, &h->prlock);
  sltster(thr);
  h->thr = nullptr;
}

}  // extern "C"
