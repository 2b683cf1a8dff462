// The message-file service: opening a handle over a product's and
// facility's message files, fetching message and comment texts through the
// two-level index, converting them to the client's character set, and the
// not-found texts.
//
// Invariants of a handle:
// - msg_state and cmt_state are LMS_PNONE before lmsaicmt, LMS_PNOFILE when
//   no file opened, LMS_POPEN or LMS_PCACHED after; file1 is valid (magic)
//   while either part is LMS_POPEN.
// - single is 1 exactly when file2 is not valid.
// - the counts of an open file were checked at open: L, CL <= 256 and every
//   block they name lies within the 16-bit block numbers.
// - the cached-block lists hold buffers of the attached area only.
// Nothing read from a file is trusted beyond these counts: every entry,
// offset and block number is checked before use; a damaged block is a miss.
#include <cassert>
#include <cstring>

#include "lms.h"
#include "lms_int.h"
#include "lxg.h"
#include "lxh.h"

extern "C" {
const char *const lms_fblang[LMS_FBLANGS] = {"eg", "frc", "din", "esa", "esm"};
const char *const lms_pmlang[LMS_FBLANGS] = {"ar", "f", "d", "e", "e"};
}

namespace {

constexpr char kUs[] = "us";
constexpr char kAscii[] = "US7ASCII";
constexpr char kAmerican[] = "AMERICAN_AMERICA.US7ASCII";
constexpr int kAbbrevRoom = 100;
constexpr int kLangItem = 61;  // language abbreviation

constexpr char kNoFile[] = "Message %3 not found; No message file for product=%1, facility=%2";
constexpr char kNoMsg[] = "Message %3 not found;  product=%1; facility=%2\n";
constexpr char kNoHandle[] = "message %3 not found; message handle not initialized\n";

// ---- the handle's last-operation fields ----------------------------------------

// Threads sharing a handle all write its status, attribute and
// second-file flag: each write is atomic (the last one wins).
template <class T, class V>
void put(T &field, V value) {
  __atomic_store_n(&field, static_cast<T>(value), __ATOMIC_RELAXED);
}

// ---- conversion ----------------------------------------------------------------

// A private copy of the handle's NLS environment, so that threads sharing a
// handle never write the same record.
lxglo env_of(const lmshnd *h) {
  lxglo g{};
  if (h->glo) g = *h->glo;
  return g;
}

// Converts (or copies, for equal or unknown sets) into dst[0..room) and
// returns the bytes written; never splits a character when converting.
size_t convert(const lmshnd *h, char *dst, size_t room, const char *src, size_t len,
               uint16_t from, uint16_t to) {
  if (room == 0 || len == 0) return 0;
  if (from != to && h->glo) {
    lxglo g = env_of(h);
    const lxcsobj *fcs = lxhci2h(from, &g);
    const lxcsobj *tcs = lxhci2h(to, &g);
    if (fcs && tcs) {
      g.status = 0;
      size_t n = lxgcnv(dst, tcs, room, src, fcs, len, &g);
      return n <= room ? n : room;
    }
  }
  size_t n = len < room ? len : room;
  std::memcpy(dst, src, n);
  return n;
}

uint32_t ratio(const lmshnd *h, uint16_t to, uint16_t from) {
  if (from == to || !h->glo) return 1;
  lxglo g = env_of(h);
  const lxcsobj *fcs = lxhci2h(from, &g);
  const lxcsobj *tcs = lxhci2h(to, &g);
  if (!fcs || !tcs) return 1;
  uint32_t r = lxgratio(tcs, fcs, &g);
  return r ? r : 1;
}

// ---- not-found texts -------------------------------------------------------------

// Expands a template: %1 product, %2 facility, %3 the number; any other "%"
// and the character after it are dropped. Cut to LMS_TEXTBUF - 1 bytes.
size_t expand(char *out, const char *tmpl, const char *product, const char *facility,
              long number) {
  char num[24];
  lms_decimal(num, number);
  size_t n = 0;
  auto put = [&](const char *s) {
    for (; *s && n < LMS_TEXTBUF - 1; ++s) out[n++] = *s;
  };
  for (const char *p = tmpl; *p; ++p) {
    if (*p != '%') {
      if (n < LMS_TEXTBUF - 1) out[n++] = *p;
      continue;
    }
    char c = p[1];
    if (c == 0) break;
    ++p;
    if (c == '1') put(product ? product : "");
    else if (c == '2') put(facility ? facility : "");
    else if (c == '3') put(num);
  }
  out[n] = 0;
  return n;
}

// ---- opening ---------------------------------------------------------------------

bool counts_ok(const lmsfhdr &hd) {
  if (hd.l > LMSF_MAXL || hd.cl > LMSF_MAXL) return false;
  uint64_t blocks = uint64_t{hd.l} + hd.d + hd.cl + hd.cd + 4;
  return blocks <= LMSF_MAXBLOCKS;
}

// Opens one file as the first (single-file flag 1) or the second file.
bool lmsapop(lmshnd *h, const char *dir, const char *product, const char *facility,
             const char *language, const char *path) {
  const bool first = h->single != 0;
  slmsfile *rec = first ? &h->file1 : &h->file2;
  sl_status st{};
  char built[LMS_PATHMAX];
  if (!path) {
    int r = dir ? slmsbdf(&st, built, sizeof built, dir, facility, language)
                : slmsbfn(&st, built, sizeof built, product, facility, language);
    if (r != 0) return false;
    path = built;
  }
  if (!slmsop(&st, rec, path)) return false;
  lmsfhdr hd;
  if (!slmsrd(&st, rec, 0, &hd, nullptr, sizeof hd) || hd.version > LMSF_MAXVERSION ||
      !counts_ok(hd)) {
    slmscl(&st, rec);
    rec->fd = -1;
    return false;
  }
  char name[LMSF_NAMEMAX + 1];
  size_t nlen = lmsfname(hd.csname, name);
  uint16_t cs = h->glo ? lxhh2ci(lxhchtoid(name, nlen, h->glo), h->glo) : 0;
  if (first) {
    h->file_cs = cs;
    h->l = hd.l;
    h->d = hd.d;
    h->cl = hd.cl;
    h->cd = hd.cd;
  } else {
    h->cs2 = cs;
    h->l2 = hd.l;
    h->d2 = hd.d;
    h->cl2 = hd.cl;
    h->cd2 = hd.cd;
  }
  return true;
}

// The language abbreviation of a handle in US7ASCII, or "" when it has none.
void abbreviation(const lxlangid *lang, lxglo *glo, uint16_t client, uint16_t ascii, char *out) {
  out[0] = 0;
  if (!lang || !glo) return;
  char raw[kAbbrevRoom] = {};
  if (!lxhlinfo(lang, kLangItem, raw, sizeof raw, glo)) raw[0] = 0;
  raw[kAbbrevRoom - 1] = 0;
  const size_t len = std::strlen(raw);
  const lxcsobj *from = client == ascii ? nullptr : lxhci2h(client, glo);
  const lxcsobj *to = from ? lxhci2h(ascii, glo) : nullptr;
  size_t n = len;
  if (from && to) {
    n = lxgcnv(out, to, kAbbrevRoom - 1, raw, from, len, glo);
  } else {
    std::memcpy(out, raw, len);
  }
  out[n < kAbbrevRoom ? n : kAbbrevRoom - 1] = 0;
}

}  // namespace

void lms_decimal(char *out, long value) {
  char tmp[24];
  unsigned long mag = value < 0 ? 0ul - static_cast<unsigned long>(value)
                                : static_cast<unsigned long>(value);
  size_t n = 0;
  do {
    tmp[n++] = static_cast<char>('0' + mag % 10);
    mag /= 10;
  } while (mag);
  size_t o = 0;
  if (value < 0) out[o++] = '-';
  while (n) out[o++] = tmp[--n];
  out[o] = 0;
}

extern "C" {

lmshnd *lmsaicmt(lmshnd *h, const char *dir, const char *product, const char *facility,
                 int ignored, const lxlangid *lang, lxglo *glo, size_t *msgcache,
                 size_t *cmtcache, const char *path, int threadsafe, int *lockfailed) {
  (void)ignored;
  if (lockfailed) *lockfailed = 0;
  if (msgcache) *msgcache = 0;
  if (cmtcache) *cmtcache = 0;
  if (!h) return nullptr;
  std::memset(h, 0, sizeof *h);
  h->product = product;
  h->facility = facility;
  h->glo = glo;
  h->single = 1;
  h->file1.fd = -1;
  h->file2.fd = -1;

  if (glo) {
    h->ascii_cs = lxhh2ci(lxhchtoid(kAscii, sizeof kAscii - 1, glo), glo);
    h->client_cs = lang ? lxhcsn(lang, glo) : h->ascii_cs;
  }

  char own[kAbbrevRoom];
  abbreviation(lang, glo, h->client_cs, h->ascii_cs, own);
  const char *mapped = nullptr;
  for (int i = 0; i < LMS_FBLANGS; ++i) {
    if (lstclo(own, lms_fblang[i]) == 0) {
      mapped = lms_pmlang[i];
      break;
    }
  }
  char american[kAbbrevRoom] = "us";
  if (glo) {
    lxlangid am{};
    if (lxhLaToId(kAmerican, 0, &am, 0, glo)) abbreviation(&am, glo, h->ascii_cs, h->ascii_cs, american);
  }

  const char *tries[3] = {own, mapped, american};
  int opened = -1;
  for (int i = 0; i < 3 && opened < 0; ++i) {
    if (!tries[i]) continue;
    if (lmsapop(h, dir, product, facility, tries[i], path)) opened = i;
  }

  if (opened >= 0) {
    if (opened < 2 && lstclo(tries[opened], kUs) != 0) {
      h->single = 0;
      if (!lmsapop(h, dir, product, facility, kUs, nullptr)) h->single = 1;
    }
    h->msg_state = LMS_POPEN;
    h->cmt_state = LMS_POPEN;
    if (msgcache) *msgcache = size_t{h->d} * LMSC_BLOCKBUF + sizeof(lmscache);
    if (cmtcache) *cmtcache = size_t{h->cd} * LMSC_BLOCKBUF;
  } else {
    h->status = LMS_NOFILE;
    h->msg_state = LMS_PNOFILE;
    h->cmt_state = LMS_PNOFILE;
    h->file_cs = h->client_cs;
  }

  if (threadsafe == 1 && lmsamtsini(h) != 0 && lockfailed) *lockfailed = 1;
  return h;
}

char *lmsagbf(lmshnd *h, int number, char *buf, size_t size) {
  return lmsagbcmt(h, number, buf, size, nullptr, nullptr, 0, nullptr, nullptr);
}

char *lmsagbcmt(lmshnd *h, int number, char *buf, size_t size, int *cattr, char *cbuf,
                size_t csize, int *attr, int *status) {
  if (cattr) *cattr = 0;
  if (cbuf && csize > 0) cbuf[0] = 0;
  if (!h) return buf;
  assert(h->msg_state < LMS_POPEN || (h->single != 0) == (h->file2.magic != SLMS_MAGIC));
  assert(h->msg_state != LMS_POPEN || h->file1.magic == SLMS_MAGIC);
  const bool locked = h->thr != nullptr;
  put(h->status, LMS_FOUND);
  if (status) *status = LMS_FOUND;
  put(h->second_active, 0);
  if (locked) SltsPrRead(h->thr, &h->prlock);

  char text[LMSF_BLOCK];
  uint16_t a = 0;
  int len = -1;
  bool second = false;
  const bool usable = h->msg_state == LMS_POPEN || h->msg_state == LMS_PCACHED;
  const bool in_range = number > 0 && number <= 0xFFFF;
  if (usable && in_range) {
    len = lms_find(h, LMS_PMSG, false, static_cast<unsigned>(number), text, &a);
    if (len < 0 && !h->single) {
      if (locked) {
        SltsPrUnlock(h->thr, &h->prlock);
        SltsPrWrite(h->thr, &h->prlock);
      }
      put(h->status, LMS_FOUND2);
      put(h->second_active, 1);
      len = lms_find(h, LMS_PMSG, true, static_cast<unsigned>(number), text, &a);
      second = true;
      put(h->second_active, 0);
    }
  }

  char *out = buf ? buf : h->text;
  const size_t room = buf ? size : LMS_TEXTBUF;
  if (len >= 0) {
    put(h->attr, a);
    if (attr) *attr = a;
    put(h->status, second ? LMS_FOUND2 : LMS_FOUND);
    if (status) *status = second ? LMS_FOUND2 : LMS_FOUND;
    lmsapts(h, text, static_cast<size_t>(len), second ? h->cs2 : h->file_cs, h->client_cs, out,
            room);
  } else {
    put(h->status, LMS_NOTFOUND);
    if (status) *status = LMS_NOTFOUND;
    put(h->attr, 0);
    if (attr) *attr = 0;
    const char *tmpl = h->msg_state == LMS_PNOFILE ? kNoFile
                       : usable                    ? kNoMsg
                                                   : kNoHandle;
    char nf[LMS_TEXTBUF];
    size_t n = expand(nf, tmpl, h->product, h->facility, number);
    {
      LmsHeld t(h, &h->textmx);
      std::memcpy(h->text, nf, n + 1);
    }
    lmsapts(h, nf, n, h->ascii_cs, h->client_cs, out, room);
  }

  if (cbuf && csize > 0 && len >= 0 && (h->cmt_state == LMS_POPEN || h->cmt_state == LMS_PCACHED)) {
    char ctext[LMSF_BLOCK];
    uint16_t ca = 0;
    int clen = lms_find(h, LMS_PCMT, second, static_cast<unsigned>(number), ctext, &ca);
    if (clen >= 0) {
      if (cattr) *cattr = ca;
      size_t n = static_cast<size_t>(clen) < csize - 1 ? static_cast<size_t>(clen) : csize - 1;
      std::memcpy(cbuf, ctext, n);
      cbuf[n] = 0;
    }
  }

  if (locked) SltsPrUnlock(h->thr, &h->prlock);
  return out;
}

void lmsapts(lmshnd *h, const char *text, size_t length, uint16_t from, uint16_t to, char *buf,
             size_t size) {
  if (!buf || size == 0) return;
  // the handle's own text buffer is written under its mutex
  LmsHeld t(h, &h->textmx, buf == h->text);
  if (length == 0) {
    buf[0] = 0;
    return;
  }
  if (uint64_t{length} * ratio(h, to, from) >= LMS_TEXTBUF) {
    size_t n = convert(h, buf, size - 1, text, length, from, to);
    buf[n] = 0;
    return;
  }
  if (from == to) {
    // the same bytes either way: straight into the buffer, cut to 255
    size_t n = length < LMS_TEXTBUF - 1 ? length : LMS_TEXTBUF - 1;
    if (n > size - 1) n = size - 1;
    std::memmove(buf, text, n);
    buf[n] = 0;
    return;
  }
  char tmp[LMS_TEXTBUF];
  size_t n = convert(h, tmp, LMS_TEXTBUF - 1, text, length, from, to);
  tmp[n] = 0;
  size_t copy = n + 1 < size ? n + 1 : size;
  std::memcpy(buf, tmp, copy);
  buf[copy - 1] = 0;
}

void lmsatrm(lmshnd *h) {
  if (!h) return;
  if (h->area) lms_area_release(h);
  sl_status st{};
  if (h->file1.magic == SLMS_MAGIC) slmscl(&st, &h->file1);
  if (h->file2.magic == SLMS_MAGIC) slmscl(&st, &h->file2);
  if (h->thr) lmsamtster(h);
  std::memset(h, 0, sizeof *h);
}

}  // extern "C"
