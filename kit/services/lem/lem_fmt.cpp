// The error manager's formatting calls, in one place. Each stands for a call
// of the formatting package's context and print engine, named in its
// comment, and is replaced by it: until the engine is part of the kit, a
// small printer over the typed argument lists serves (positions, flags, width
// and precision, the integer and text conversions; every type prints as
// decimal under %s except texts and characters).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lem_fmt.h"
#include "lemx_int.h"

namespace {

constexpr int kFull = -11;    // output full
constexpr int kMissing = -6;  // argument missing
constexpr int kBadConv = -2;  // missing or unknown conversion letter

bool is_text(int32_t t) {
  return t == LSFTXTP || t == LSFTXTLN || t == LSFBIGTXTLN || t == LSFTXTDP || t == LSFBIGDPTXT;
}

bool is_unsigned(int32_t t) {
  return t == LSFUB1 || t == LSFUB2 || t == LSFUB4 || t == LSFUWORD || t == LSFSIZET ||
         t == LSFUBIG_ZUR || t == LSFUB8;
}

int64_t int_of(const lsf_entry &e) {
  switch (e.type) {
    case LSFIVALUE: case LSFSIZET: case LSFSBIG_ZUR: case LSFUBIG_ZUR: case LSFSB8: case LSFUB8:
      return e.value.i64;
    default: {
      int st = LSFST_OK;
      return lwsfdval(&e, 1, &st);
    }
  }
}

// Renders one conversion of entry e into tmp; returns its length or a code.
int render(char *tmp, size_t room, const char *flags, int width, int prec, char conv,
           const lsf_entry &e) {
  char spec[32];
  const int w = width < 0 ? 0 : width;
  const char *wdigits = width < 0 ? "" : "*";
  if (conv == 's' && (is_text(e.type) || e.type == LSFTXT)) {
    const char *text = e.type == LSFTXT ? reinterpret_cast<const char *>(e.value.bytes)
                                        : static_cast<const char *>(e.value.ptr);
    int len = e.type == LSFTXT ? 1 : e.type == LSFTXTP ? -1 : static_cast<int>(e.length);
    if (!text) text = "", len = 0;
    if (len < 0) len = static_cast<int>(std::strlen(text));
    if (prec >= 0 && prec < len) len = prec;
    std::snprintf(spec, sizeof spec, "%%%s%s.*s", flags, wdigits);
    return width < 0 ? std::snprintf(tmp, room, spec, len, text)
                     : std::snprintf(tmp, room, spec, w, len, text);
  }
  if (is_text(e.type) || e.type == LSFBUFLN || e.type == LSFBIGBUFLN || e.type == LSFORANUM)
    return -10;
  const int64_t v = int_of(e);
  if (conv == 'c') {
    tmp[0] = static_cast<char>(v);
    tmp[1] = 0;
    return 1;
  }
  const bool decimal = conv == 'd' || conv == 'i' || conv == 's';
  const char letter = decimal ? (is_unsigned(e.type) ? 'u' : 'd') : conv;
  std::snprintf(spec, sizeof spec, "%%%s%s%sll%c", flags, wdigits, prec >= 0 ? ".*" : "", letter);
  const long long sv = static_cast<long long>(v);
  const unsigned long long uv = static_cast<unsigned long long>(v);
  if (letter != 'd') {
    if (width < 0 && prec < 0) return std::snprintf(tmp, room, spec, uv);
    if (width < 0) return std::snprintf(tmp, room, spec, prec, uv);
    if (prec < 0) return std::snprintf(tmp, room, spec, w, uv);
    return std::snprintf(tmp, room, spec, w, prec, uv);
  }
  if (width < 0 && prec < 0) return std::snprintf(tmp, room, spec, sv);
  if (width < 0) return std::snprintf(tmp, room, spec, prec, sv);
  if (prec < 0) return std::snprintf(tmp, room, spec, w, sv);
  return std::snprintf(tmp, room, spec, w, prec, sv);
}
int number_at(const char *&p) {
  int n = 0;
  while (*p >= '0' && *p <= '9') n = n * 10 + (*p++ - '0');
  return n;
}

// The printer: bytes written, or a negative code with what fit written.
int print(char *out, int size, const char *fmt, const lsf_entry *entries, int count) {
  const size_t room = size < 0 ? SIZE_MAX : static_cast<size_t>(size);
  if (size > 0) std::memset(out, 0, room);
  size_t pos = 0;
  int seq = 1;
  auto put = [&](const char *s, size_t n) {
    size_t fit = n < room - pos ? n : room - pos;
    std::memcpy(out + pos, s, fit);
    pos += fit;
    return fit == n;
  };
  for (const char *p = fmt; *p; ++p) {
    if (*p != '%') {
      if (!put(p, 1)) return kFull;
      continue;
    }
    ++p;
    if (*p == '%') {
      if (!put(p, 1)) return kFull;
      continue;
    }
    int arg = 0;
    if (*p == '(') {
      ++p;
      arg = number_at(p);
      if (*p++ != ')' || arg < 1) return -7;
    }
    char flags[8] = {};
    int nf = 0;
    while (nf < 5 && std::strchr("-+ 0#", *p) && *p) flags[nf++] = *p++;
    auto next_arg = [&]() -> const lsf_entry * {
      int n = arg ? arg++ : seq++;
      return n >= 1 && n <= count ? &entries[n - 1] : nullptr;
    };
    int width = -1, prec = -1;
    if (*p == '*') {
      ++p;
      const lsf_entry *e = next_arg();
      if (!e) return kMissing;
      width = static_cast<int>(int_of(*e));
    } else if (*p >= '0' && *p <= '9') {
      width = number_at(p);
    }
    if (*p == '.') {
      ++p;
      if (*p == '*') {
        ++p;
        const lsf_entry *e = next_arg();
        if (!e) return kMissing;
        prec = static_cast<int>(int_of(*e));
      } else {
        prec = number_at(p);
      }
    }
    if (*p == 'h' || *p == 'l') ++p;
    const char conv = *p;
    if (!conv || !std::strchr("diuoxXcs", conv)) return kBadConv;
    const lsf_entry *e = next_arg();
    if (!e) return kMissing;
    char tmp[1100];
    int n = render(tmp, sizeof tmp, flags, width, prec, conv, *e);
    if (n < 0) return n;
    if (!put(tmp, static_cast<size_t>(n) < sizeof tmp ? static_cast<size_t>(n) : sizeof tmp - 1))
      return kFull;
  }
  return static_cast<int>(pos);
}

}  // namespace

// Stands for lsfiniu(package interface, language handle, NLS environment, 0).
lsf_ctx *lem_fmtini(lem_ctx *lem) {
  auto ctx = static_cast<lsf_ctx *>(std::calloc(1, sizeof(lsf_ctx)));
  if (ctx) ctx->pkg = lem->cache ? lem->cache->lsf : nullptr;
  return ctx;
}

// Stands for lsfcln(ctx).
void lem_fmtcln(lem_ctx *lem) {
  std::free(lem->priv->fmt);
  lem->priv->fmt = nullptr;
}

// Stands for lsfp(ctx, out, size, "%s-%05d: ", LSFTXTP, facility, LSFSB4,
// &number, LSFEND).
int lem_fmtp(lem_ctx *lem, char *out, int size, const char *facility, int32_t number) {
  (void)lem;
  lsf_entry e[2] = {};
  e[0].type = LSFTXTP;
  e[0].value.ptr = const_cast<char *>(facility);
  e[1].type = LSFSB4;
  std::memcpy(e[1].value.bytes, &number, sizeof number);
  return print(out, size, "%s-%05d: ", e, 2);
}

// Stands for lsfpd(ctx, out, size, format, &list).
int lem_fmtpd(lem_ctx *lem, char *out, int size, const char *format, lsf_arglist *list) {
  (void)lem;
  if (!list) return -17;
  return print(out, size, format, list->entries, lwsfdcnt(list));
}
