// Finding a message or comment: the level-1 and level-2 index searches, the
// data-block search, and the blocks an attached cache area holds.
#include <cstring>

#include "lms.h"
#include "lms_int.h"

namespace {

constexpr size_t kEntAt = 2;                   // first entry of a data block
constexpr size_t kEntSize = sizeof(lmsfent);

// The smallest index in [0, n) whose u16 entry is >= number (an entry of 0
// counts as above every number when zero_high), or n.
uint32_t lower_bound(const uint8_t *blk, uint32_t n, unsigned number, bool zero_high) {
  uint32_t lo = 0, hi = n;
  while (lo < hi) {
    uint32_t mid = lo + (hi - lo) / 2;
    uint16_t e = lms_u16(blk, size_t{mid} * 2);
    bool above = (zero_high && e == 0) || e >= number;
    if (above) hi = mid;
    else lo = mid + 1;
  }
  return lo;
}

lmscbuf *&data_list(lmshnd *h, int part) { return part == LMS_PMSG ? h->msg_data : h->cmt_data; }
lmscbuf *&l2_list(lmshnd *h, int part) { return part == LMS_PMSG ? h->msg_l2 : h->cmt_l2; }
uint8_t state_of(const lmshnd *h, int part) { return part == LMS_PMSG ? h->msg_state : h->cmt_state; }
uint8_t *body(lmscbuf *b) { return reinterpret_cast<uint8_t *>(b + 1); }
lmscmsg *msg_of(lmscbuf *b) { return reinterpret_cast<lmscmsg *>(b + 1); }

bool share_in_use(const lmshnd *h, int part) {
  const lmscache *a = h->area;
  if (!a) return false;
  return (a->flags & (part == LMS_PMSG ? LMSC_MSGSHARE : LMSC_CMTSHARE)) != 0;
}

// Moves b (in list) to the front of the list.
void to_front(lmscbuf *&list, lmscbuf *b) {
  if (list == b) return;
  for (lmscbuf *p = list; p; p = p->next) {
    if (p->next == b) {
      p->next = b->next;
      b->next = list;
      list = b;
      return;
    }
  }
}

// Unlinks and returns the last buffer of the list that is (or is not) a
// single-message buffer, or NULL.
lmscbuf *take_last(lmscbuf *&list, bool single) {
  lmscbuf *prev_of_found = nullptr, *found = nullptr, *prev = nullptr;
  for (lmscbuf *p = list; p; prev = p, p = p->next) {
    if ((p->index == LMSC_SINGLE) == single) {
      found = p;
      prev_of_found = prev;
    }
  }
  if (!found) return nullptr;
  if (prev_of_found) prev_of_found->next = found->next;
  else list = found->next;
  found->next = nullptr;
  return found;
}

lmscbuf *pop(lmscbuf *&anchor) {
  lmscbuf *b = anchor;
  if (b) {
    anchor = b->next;
    b->next = nullptr;
  }
  return b;
}

int from_block(const uint8_t *blk, unsigned number, char *text, uint16_t *attr,
               bool checked = false) {
  size_t len = 0;
  int off = lms_block_find(blk, number, &len, attr, checked);
  if (off < 0) return -1;
  std::memcpy(text, blk + off, len);
  return static_cast<int>(len);
}

// Searches the cached buffers: a block whose range holds the number, or a
// message buffer of that number. Returns 1 with the result, 0 when no buffer
// covers the number.
int search_cached(lmscbuf *&list, unsigned number, char *text, uint16_t *attr, int *result) {
  for (lmscbuf *b = list; b; b = b->next) {
    if (b->index == LMSC_SINGLE) {
      if (b->low != number) continue;
      lmscmsg *m = msg_of(b);
      std::memcpy(text, m->text, m->len);
      *attr = m->attr;
      *result = m->len;
    } else {
      if (b->low > b->high || number < b->low || number > b->high) continue;
      *result = from_block(body(b), number, text, attr);
    }
    to_front(list, b);
    return 1;
  }
  return 0;
}

// A fully cached part: the headers of its blocks lie together in block
// order with non-decreasing highs (lmsa.cpp); bisect them.
int search_all(lmscbuf *head, uint32_t count, unsigned number, char *text, uint16_t *attr) {
  if (count == 0) return -1;
  // branch-free lower bound: the first header whose high is >= number
  uint32_t lo = 0, n = count;
  while (n > 1) {
    const uint32_t half = n / 2;
    lo = head[lo + half - 1].high < number ? lo + half : lo;
    n -= half;
  }
  const lmscbuf *b = &head[lo];
  if (b->high < number || b->low > number || b->count == 0) return -1;
  return from_block(lms_cached_body(head, count, lo), number, text, attr, true);
}

// The data block number of the number, through the level-1 and level-2
// indexes (the area's copies where it holds them), or -1 for a miss.
long data_block(lmshnd *h, int part, const LmsPart &v, unsigned number) {
  alignas(8) uint8_t l1[LMSF_BLOCK];
  const uint8_t *one = nullptr;
  const bool area = share_in_use(h, part) && !(&h->file2 == v.file);
  if (area && h->area->l1[part]) {
    one = static_cast<const uint8_t *>(h->area->l1[part]);
  } else {
    if (!lms_read_block(v.file, v.l1, l1)) return -1;
    one = l1;
  }
  uint32_t j = lower_bound(one, v.l, number, false);
  if (j >= v.l) return -1;

  alignas(8) uint8_t l2[LMSF_BLOCK];
  const uint8_t *two = nullptr;
  if (area) {
    for (lmscbuf *b = l2_list(h, part); b; b = b->next)
      if (b->index == j) two = body(b);
  }
  if (!two) {
    if (!lms_read_block(v.file, v.l2first + j, l2)) return -1;
    two = l2;
  }
  uint32_t k = lower_bound(two, LMSF_L2ENTRIES, number, true);
  if (k >= LMSF_L2ENTRIES || lms_u16(two, size_t{k} * 2) == 0) return -1;
  uint64_t d = uint64_t{j} * LMSF_L2ENTRIES + k;
  if (d >= v.d) return -1;
  return static_cast<long>(d);
}

void fill_header(lmscbuf *b, uint16_t index) {
  b->index = index;
  lms_block_range(body(b), &b->low, &b->high, &b->count);
}

}  // namespace

LmsPart lms_part(lmshnd *h, int part, bool second) {
  slmsfile *f = second ? &h->file2 : &h->file1;
  const uint64_t l = second ? h->l2 : h->l, d = second ? h->d2 : h->d;
  const uint64_t cl = second ? h->cl2 : h->cl, cd = second ? h->cd2 : h->cd;
  if (part == LMS_PMSG) return {f, 2, uint32_t(l), 3, l + 3, uint32_t(d)};
  return {f, l + d + 3, uint32_t(cl), l + d + 4, l + d + cl + 4, uint32_t(cd)};
}

bool lms_read_block(slmsfile *f, uint64_t n, void *buf) {
  if (n == 0 || n > LMSF_MAXBLOCKS) return false;
  sl_status st{};
  return slmsrd(&st, f, (n - 1) * LMSF_BLOCK, buf, nullptr, LMSF_BLOCK) == 1;
}

int lms_block_find(const uint8_t *blk, unsigned number, size_t *len, uint16_t *attr,
                   bool checked) {
  const uint16_t count = lms_u16(blk, 0);
  if (size_t{count} + 1 > LMSF_MAXENT) return -1;
  const size_t texts = kEntAt + (size_t{count} + 1) * kEntSize;
  // entries sorted by number, offsets non-decreasing inside the text area
  uint16_t prev_off = static_cast<uint16_t>(texts);
  for (size_t i = 0; !checked && i <= count; ++i) {
    const size_t at = kEntAt + i * kEntSize;
    uint16_t off = lms_u16(blk, at + 4);
    if (off < prev_off || off > LMSF_BLOCK) return -1;
    if (i > 0 && i < count && lms_u16(blk, at) < lms_u16(blk, at - kEntSize)) return -1;
    prev_off = off;
  }
  if (count == 0) return -1;
  // branch-free lower bound over the entries' numbers
  size_t lo = 0, n = count;
  while (n > 1) {
    const size_t half = n / 2;
    lo = lms_u16(blk, kEntAt + (lo + half - 1) * kEntSize) < number ? lo + half : lo;
    n -= half;
  }
  const size_t at = kEntAt + lo * kEntSize;
  if (lms_u16(blk, at) != number) return -1;
  *attr = lms_u16(blk, at + 2);
  const uint16_t off = lms_u16(blk, at + 4);
  *len = lms_u16(blk, at + kEntSize + 4) - off;
  return off;
}

void lms_block_range(const uint8_t *blk, uint16_t *low, uint16_t *high, uint16_t *count) {
  uint16_t dummy_attr;
  size_t dummy_len;
  const uint16_t n = lms_u16(blk, 0);
  *count = n;
  *low = 1;
  *high = 0;
  // a sound block: its first entry must be findable
  if (n == 0 || size_t{n} + 1 > LMSF_MAXENT) return;
  const uint16_t first = lms_u16(blk, kEntAt);
  const uint16_t last = lms_u16(blk, kEntAt + (size_t{n} - 1) * kEntSize);
  if (lms_block_find(blk, first, &dummy_len, &dummy_attr) < 0) return;
  *low = first;
  *high = last;
}

int lms_find(lmshnd *h, int part, bool second, unsigned number, char *text, uint16_t *attr) {
  if (second && h->file2.magic != SLMS_MAGIC) return -1;
  LmsHeld held(h, &h->listmx);

  const LmsPart v = lms_part(h, part, second);
  int result = -1;
  if (!second && state_of(h, part) == LMS_PCACHED) return search_all(data_list(h, part), v.d, number, text, attr);
  if (!second && h->file1.magic != SLMS_MAGIC) return -1;
  const bool area = !second && share_in_use(h, part);
  if (area && search_cached(data_list(h, part), number, text, attr, &result)) return result;

  long d = data_block(h, part, v, number);
  if (d < 0) return -1;
  const int kind = part == LMS_PMSG ? LMSC_MSGDATA : LMSC_CMTDATA;
  lmscbuf *&list = data_list(h, part);
  if (area) {
    lmscbuf *b = pop(h->area->anchor[kind][0]);
    if (!b) b = take_last(list, false);
    if (b) {
      if (!lms_read_block(v.file, v.dfirst + d, body(b))) {
        b->next = h->area->anchor[kind][0];
        h->area->anchor[kind][0] = b;
        return -1;
      }
      fill_header(b, static_cast<uint16_t>(d));
      b->next = list;
      list = b;
      return from_block(body(b), number, text, attr);
    }
  }
  alignas(8) uint8_t blk[LMSF_BLOCK];
  if (!lms_read_block(v.file, v.dfirst + d, blk)) return -1;
  result = from_block(blk, number, text, attr);
  if (area && result >= 0 && static_cast<size_t>(result) <= LMSF_MAXTEXT) {
    lmscbuf *m = pop(h->area->anchor[kind][1]);
    if (!m) m = take_last(list, true);
    if (m) {
      m->index = LMSC_SINGLE;
      m->low = m->high = static_cast<uint16_t>(number);
      m->count = 1;
      lmscmsg *msg = msg_of(m);
      msg->attr = *attr;
      msg->len = static_cast<uint16_t>(result);
      std::memcpy(msg->text, text, static_cast<size_t>(result));
      m->next = list;
      list = m;
    }
  }
  return result;
}
