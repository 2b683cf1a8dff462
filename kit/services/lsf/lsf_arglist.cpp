// The list layer of the typed argument lists.
#include <cstdlib>
#include <cstring>

#include "lem.h"
#include "lml.h"
#include "lpm.h"
#include "lsf.h"
#include "lsf_int.h"

namespace {

lml_ctx *list_memory(lwem_ctx *errs) {
  if (errs && errs->block) return errs->block->mem;
  return nullptr;
}

// Codes that own a copy.
constexpr bool owns_copy(int code) {
  return code == LSFTXTP || code == LSFBUFLN || code == LSFBIGBUFLN || code == LSFTXTLN ||
         code == LSFTXTDP || code == LSFBIGTXTLN || code == LSFBIGDPTXT;
}

// Codes an entry may hold.
constexpr bool kept_code(int code) {
  return (code >= 0 && code <= 17) || code == 19 || code == 20 || code == 22 ||
         code == 23 || owns_copy(code) || code == 35 || code == 36 || code == 37 ||
         code == 39 || code == 40 || code == 41;
}

// A value passed by pointer; a NULL pointer keeps 0.
void copy_pointee(lsf_entry *e, const void *p, size_t width) {
  if (p) std::memcpy(e->value.bytes, p, width);
}

// Lengths passed by pointer; no buffer or no length means length 0.
uint64_t unsigned_length(const void *p, const uint64_t *lp) { return p && lp ? *lp : 0; }
int64_t signed_length(const void *p, const int64_t *lp) { return lp ? (p || *lp < 0 ? *lp : 0) : 0; }

// Keeps in e a copy of the len bytes at p, with a NUL after them when
// terminate is set; the entry's length is len either way.
int keep_copy(lwem_ctx *errs, lsf_entry *e, const char *p, uint64_t len, bool terminate) {
  if (len >= SIZE_MAX) return LSFST_NOMEM;
  size_t size = size_t(len) + (terminate ? 1 : 0);
  char *copy = static_cast<char *>(lsf_alloc(errs, size));
  if (!copy) return LSFST_NOMEM;
  if (len) std::memcpy(copy, p, size_t(len));
  if (terminate) copy[len] = 0;
  e->value.ptr = copy;
  e->length = len;
  return LSFST_OK;
}

// Reads one argument of the given code into e. Returns LSFST_OK, or the
// failing status (which may be 0, memory exhausted).
int read_one(lwem_ctx *errs, lsf_env *env, int code, lsf_entry *e, va_list *ap) {
  std::memset(&e->value, 0, sizeof e->value);
  e->length = 0;
  e->type = code;
  switch (code) {
    case LSFIVALUE:
      e->value.i64 = va_arg(*ap, int64_t);
      return LSFST_OK;
    case LSFFVALUE:
      e->value.dbl = va_arg(*ap, double);
      return LSFST_OK;
    case LSFDVOID:
      e->value.ptr = va_arg(*ap, void *);
      return LSFST_OK;
    case LSFFUNCP:
      e->value.fn = va_arg(*ap, lsf_func);
      return LSFST_OK;
    case LSFUB1: case LSFSB1: case LSFEB1: case LSFTXT:
      copy_pointee(e, va_arg(*ap, const void *), 1);
      return LSFST_OK;
    case LSFUB2: case LSFSB2: case LSFEB2:
      copy_pointee(e, va_arg(*ap, const void *), 2);
      return LSFST_OK;
    case LSFUB4: case LSFSB4: case LSFEB4: case LSFUWORD: case LSFSWORD: case LSFEWORD:
      copy_pointee(e, va_arg(*ap, const void *), 4);
      return LSFST_OK;
    case LSFSIZET: {
      const size_t *p = va_arg(*ap, const size_t *);
      e->value.u64 = p ? *p : 0;
      return LSFST_OK;
    }
    case LSFSBIG_ZUR: case LSFUBIG_ZUR: case LSFSB8: case LSFUB8:
      copy_pointee(e, va_arg(*ap, const void *), 8);
      return LSFST_OK;
    case LSFFLTP: {
      const float *p = va_arg(*ap, const float *);
      e->type = LSFFLOAT;
      e->value.flt = p ? *p : 0.0f;
      return LSFST_OK;
    }
    case LSFDBLP: {
      const double *p = va_arg(*ap, const double *);
      e->type = LSFDOUBLE;
      e->value.dbl = p ? *p : 0.0;
      return LSFST_OK;
    }
    case LSFTXTP: {
      const char *text = va_arg(*ap, const char *);
      if (!text) return LSFST_OK;
      if (env && env->utf16) {
        char *copy = nullptr;
        uint64_t size = 0;
        if (lsfnls_utf16_to_utf8(errs, env, text, &copy, &size) != 0) return LSFST_NOMEM;
        e->value.ptr = copy;
        e->length = size;
        return LSFST_OK;
      }
      // A two-byte character set ends its texts with a two-byte NUL, which
      // the copy keeps whole.
      bool twobyte = env && (lsfnls_lang_flags(env->lang) & LSF_LANG_TWOBYTE);
      size_t size = twobyte ? lxsulen(text) + 2 : std::strlen(text) + 1;
      return keep_copy(errs, e, text, size, false);
    }
    case LSFBUFLN: case LSFTXTLN: {
      const char *p = va_arg(*ap, const char *);
      uint64_t len = unsigned_length(p, va_arg(*ap, const uint64_t *));
      if (len == 0) return LSFST_OK;
      if (code == LSFTXTLN) {
        const void *nul = std::memchr(p, 0, size_t(len));
        if (nul) len = uint64_t(static_cast<const char *>(nul) - p);
      }
      return keep_copy(errs, e, p, len, true);
    }
    case LSFBIGBUFLN: {
      const char *p = va_arg(*ap, const char *);
      int64_t len = signed_length(p, va_arg(*ap, const int64_t *));
      if (len < 0) return LSFST_NEGLEN;
      return keep_copy(errs, e, p, uint64_t(len), true);
    }
    case LSFTXTDP: {
      const char *p = va_arg(*ap, const char *);
      uint64_t cols = unsigned_length(p, va_arg(*ap, const uint64_t *));
      if (cols == 0) return LSFST_OK;
      uint64_t per = uint64_t(lsfnls_max_char_bytes(env)) + 2;
      if (cols > (SIZE_MAX - 1) / per) return LSFST_NOMEM;
      size_t room = size_t(per * cols + 1);
      char *copy = static_cast<char *>(lsf_alloc(errs, room));
      if (!copy) return LSFST_NOMEM;
      lsfnls_copy_display(env, copy, room, p, cols);
      e->value.ptr = copy;
      e->length = cols;
      return LSFST_OK;
    }
    case LSFBIGTXTLN: case LSFBIGDPTXT: {
      const char *p = va_arg(*ap, const char *);
      int64_t len = signed_length(p, va_arg(*ap, const int64_t *));
      if (len < 0) return LSFST_NEGLEN;
      // No text (a NULL pointer among them) keeps no copy.
      if (len == 0) return LSFST_OK;
      if (uint64_t(len) >= SIZE_MAX) return LSFST_NOMEM;
      const void *nul = std::memchr(p, 0, size_t(len));
      if (nul) len = static_cast<const char *>(nul) - p;
      if (len == 0) return LSFST_OK;
      return keep_copy(errs, e, p, uint64_t(len), false);
    }
    case LSFORANUM:
      e->value.ptr = va_arg(*ap, void *);
      e->length = uint64_t(va_arg(*ap, int));
      return LSFST_OK;
    default:
      e->type = LSFBAD;
      return LSFST_BADTYPE;
  }
}

// Reads up to max arguments; see lwsfdsev.
int read_args(lwem_ctx *errs, lsf_env *env, lsf_entry *buf, int *status, int max, int *count,
              va_list *ap) {
  int last = 0;
  *count = 0;
  for (int i = 0; i < max; i++) {
    int code = va_arg(*ap, int);
    if (code == LSFEND) {
      std::memset(&buf[i], 0, sizeof buf[i]);
      return 0;
    }
    int st = read_one(errs, env, code, &buf[i], ap);
    if (st != LSFST_OK) {
      buf[i].type = LSFBAD;
      *status = st;
      return LSFBAD;
    }
    last = code;
    (*count)++;
  }
  return last;
}

void release_entries(lwem_ctx *errs, lsf_env *env, lsf_entry *e, int n) {
  int st = LSFST_OK;
  for (int i = 0; i < n && e[i].type != LSFEND; i++) lwsfder(errs, env, &e[i], &st);
}

}  // namespace

void *lsf_alloc(lwem_ctx *errs, size_t size) {
  lml_ctx *m = list_memory(errs);
  return m ? lmlalloc(m, size) : std::malloc(size ? size : 1);
}

void *lsf_calloc(lwem_ctx *errs, size_t size) {
  lml_ctx *m = list_memory(errs);
  return m ? lmlcalloc(m, size) : std::calloc(1, size ? size : 1);
}

void lsf_free(lwem_ctx *errs, void *p) {
  lml_ctx *m = list_memory(errs);
  if (m)
    lmlfree(m, p);
  else
    std::free(p);
}

extern "C" {

int lwsfdsev(lwem_ctx *errs, lsf_env *env, lsf_entry *buf, int *status, int max, int *count,
             va_list ap) {
  va_list cp;
  va_copy(cp, ap);
  int r = read_args(errs, env, buf, status, max, count, &cp);
  va_end(cp);
  return r;
}

lsf_arglist *lwsfdlv(lwem_ctx *errs, lsf_env *env, int *status, va_list ap) {
  lsf_entry buf[LSF_MAXARGS + 1];
  int count = 0;
  va_list cp;
  va_copy(cp, ap);
  int r = read_args(errs, env, buf, status, LSF_MAXARGS + 1, &count, &cp);
  va_end(cp);
  if (r == LSFBAD) {
    release_entries(errs, env, buf, count);
    return nullptr;
  }
  if (r != 0) {  // 31 arguments without an end entry
    release_entries(errs, env, buf, count);
    *status = LSFST_TOOMANY;
    return nullptr;
  }
  auto list = static_cast<lsf_arglist *>(lsf_calloc(errs, sizeof(lsf_arglist)));
  auto entries =
      static_cast<lsf_entry *>(lsf_calloc(errs, sizeof(lsf_entry) * size_t(count + 1)));
  if (!list || !entries || sltsmxi(env ? env->thr : nullptr, &list->mutex) != 0) {
    if (entries) lsf_free(errs, entries);
    if (list) lsf_free(errs, list);
    release_entries(errs, env, buf, count);
    *status = LSFST_NOMEM;
    return nullptr;
  }
  std::memcpy(entries, buf, sizeof(lsf_entry) * size_t(count + 1));
  list->entries = entries;
  return list;
}

lsf_arglist *lwsfdiv(lwem_ctx *errs, lsf_env *env, lsf_arglist *list, int position,
                     int *status, va_list ap) {
  if (position < -1) {
    *status = LSFST_BADPOS;
    return nullptr;
  }
  if (!list) {
    *status = LSFST_NOLIST;
    return nullptr;
  }
  lsf_entry added;
  int count = 0;
  va_list cp;
  va_copy(cp, ap);
  int r = read_args(errs, env, &added, status, 1, &count, &cp);
  va_end(cp);
  if (r == LSFBAD) return nullptr;
  if (r == 0) {
    *status = LSFST_ENDINSERT;
    return nullptr;
  }
  int n = lwsfdcnt(list);
  if (n + 1 > LSF_MAXARGS) {
    release_entries(errs, env, &added, 1);
    *status = LSFST_TOOMANY;
    return nullptr;
  }
  // The new argument's place, 0-based.
  int at;
  if (position == 0 || n == 0)
    at = 0;
  else if (position == -1 || position > n)
    at = n;
  else
    at = position - 1;
  auto entries =
      static_cast<lsf_entry *>(lsf_calloc(errs, sizeof(lsf_entry) * size_t(n + 2)));
  if (!entries) {
    release_entries(errs, env, &added, 1);
    *status = LSFST_NOMEM;
    return nullptr;
  }
  std::memcpy(entries, list->entries, sizeof(lsf_entry) * size_t(at));
  entries[at] = added;
  std::memcpy(entries + at + 1, list->entries + at, sizeof(lsf_entry) * size_t(n - at));
  // entries[n + 1] stays the zeroed end entry.
  lsf_free(errs, list->entries);
  list->entries = entries;
  return list;
}

lsf_arglist *lwsfdi(lwem_ctx *errs, lsf_env *env, lsf_arglist *list, int position,
                    int *status, ...) {
  va_list ap;
  va_start(ap, status);
  lsf_arglist *r = lwsfdiv(errs, env, list, position, status, ap);
  va_end(ap);
  return r;
}

int lwsfder(lwem_ctx *errs, lsf_env *env, lsf_entry *entry, int *status) {
  (void)env;
  int code = entry->type;
  if (!kept_code(code)) {
    *status = LSFST_BADTYPE;
    return LSFBAD;
  }
  if (owns_copy(code)) {
    if (entry->value.ptr) lsf_free(errs, entry->value.ptr);
    entry->value.ptr = nullptr;
    entry->length = 0;
  }
  return code;
}

int lwsfdrm(lwem_ctx *errs, lsf_env *env, lsf_arglist *list, int *status) {
  if (!list) {
    *status = LSFST_NOLIST;
    return -17;
  }
  int end = -1;
  for (int i = 0; i <= LSF_MAXARGS; i++) {
    if (list->entries[i].type == LSFEND) {
      end = i;
      break;
    }
  }
  if (end < 0) {
    *status = LSFST_NOEND;
    return -17;
  }
  for (int i = 0; i <= end; i++)
    if (lwsfder(errs, env, &list->entries[i], status) == LSFBAD) return -17;
  sltsmxd(env ? env->thr : nullptr, &list->mutex);
  lsf_free(errs, list->entries);
  lsf_free(errs, list);
  return 0;
}

int64_t lwsfdval(const lsf_entry *entries, int n, int *status) {
  if (n == 0) {
    *status = LSFST_ARGZERO;
    return 0;
  }
  const lsf_entry &e = entries[n - 1];
  auto b = e.value.bytes;
  int8_t s8;
  int16_t s16;
  int32_t s32;
  uint16_t u16;
  uint32_t u32;
  switch (e.type) {
    case LSFIVALUE:
    case LSFSIZET:
    case LSFSBIG_ZUR:
    case LSFUBIG_ZUR:
      return e.value.i64;
    case LSFUB1:
    case LSFTXT:
      return b[0];
    case LSFSB1:
    case LSFEB1:
      std::memcpy(&s8, b, 1);
      return s8;
    case LSFUB2:
      std::memcpy(&u16, b, 2);
      return u16;
    case LSFSB2:
    case LSFEB2:
      std::memcpy(&s16, b, 2);
      return s16;
    case LSFUB4:
    case LSFUWORD:
      std::memcpy(&u32, b, 4);
      return u32;
    case LSFSB4:
    case LSFEB4:
    case LSFSWORD:
    case LSFEWORD:
      std::memcpy(&s32, b, 4);
      return s32;
    case LSFUB8:
      return uint32_t(e.value.u64);
    case LSFSB8:
      return int32_t(uint32_t(e.value.u64));
    case LSFORANUM:
      return e.value.ptr ? *static_cast<const uint8_t *>(e.value.ptr) : 0;
    default:
      return 0;
  }
}

int lwsfdcnt(const lsf_arglist *list) {
  if (!list) return 0;
  int n = 0;
  while (n <= LSF_MAXARGS && list->entries[n].type != LSFEND) n++;
  return n;
}

int lwsfdal(slts_ctx *thr, lsf_arglist *list) { return sltsmna(thr, &list->mutex); }

int lwsfdrl(slts_ctx *thr, lsf_arglist *list) { return sltsmnr(thr, &list->mutex); }

int lwsfdg(lwem_ctx *errs, lsf_env *env, void **out1, void **out2, int *status) {
  (void)errs;
  (void)env;
  if (out1) *out1 = nullptr;
  if (out2) *out2 = nullptr;
  *status = LSFST_UNSUPPORTED;
  return LSFBAD;
}

}  // extern "C"
