// The print engine: parsing formats and dispatching each conversion to its
// converter by the argument's class.
#include "lsfp.h"

#include <array>
#include <cstring>

#include "lem.h"
#include "lml.h"
#include "lnx.h"
#include "lpm.h"
#include "lsf_ctx_int.h"
#include "lsf_int.h"
#include "lsfp_int.h"
#include "lxc.h"
#include "lxg.h"
#include "lxh.h"
#include "lxm.h"
#include "lxo.h"

extern "C" const char lsfpcodes[] = "()-+ *0#.hl%diuoxcsmfegp";
static_assert(sizeof lsfpcodes == LSFPC_COUNT + 1);

namespace {

constexpr size_t kFormatCopy = 1000;     // the format copy kept on the stack
constexpr uint32_t kNumFlags = 0x204;    // decimal, signed range
constexpr uint32_t kStatusInvalid = 9, kStatusOverflow = 10, kStatusCutOff = 34;
constexpr uint32_t kCopyFlags = 0x40000000u;
constexpr size_t kUtf16Start = 256;      // first internal buffer of an unbounded UTF-16 print
constexpr size_t kUtf16Max = size_t{1} << 24;
constexpr size_t kNumberMax = 22;         // a NUMBER with its length byte

// The conversion letter of each byte of the ASCII code table, -1 for none.
constexpr auto kLetters = [] {
  std::array<int8_t, 256> t{};
  for (auto &v : t) v = -1;
  constexpr char codes[] = "()-+ *0#.hl%diuoxcsmfegp";
  for (int i = LSFPC_D; i < LSFPC_COUNT; ++i) t[uint8_t(codes[i])] = int8_t(i);
  return t;
}();

enum Class { NONE, S64, U64, DOUBLE, CHAR, DPTR, TEXT, BUFFER, TEXTLEN, TEXTDISP, FPTR, SB8, UB8, NUMBER };

constexpr int kTypes = LSFORANUM + 1;
constexpr auto kClasses = [] {
  std::array<Class, kTypes> t{};
  for (auto &c : t) c = NONE;
  for (int k : {LSFIVALUE, LSFSBIG_ZUR, LSFSB1, LSFSB2, LSFSB4, LSFSWORD}) t[k] = S64;
  for (int k : {LSFUB1, LSFUB2, LSFUB4, LSFUWORD, LSFSIZET, LSFUBIG_ZUR, LSFEB1, LSFEB2, LSFEB4,
                LSFEWORD})
    t[k] = U64;
  for (int k : {LSFFVALUE, LSFDOUBLE, LSFFLOAT}) t[k] = DOUBLE;
  for (int k : {LSFBUFLN, LSFBIGBUFLN}) t[k] = BUFFER;
  for (int k : {LSFTXTLN, LSFBIGTXTLN, LSFBIGDPTXT}) t[k] = TEXTLEN;
  t[LSFTXT] = CHAR;
  t[LSFDVOID] = DPTR;
  t[LSFTXTP] = TEXT;
  t[LSFTXTDP] = TEXTDISP;
  t[LSFFUNCP] = FPTR;
  t[LSFSB8] = SB8;
  t[LSFUB8] = UB8;
  t[LSFORANUM] = NUMBER;
  return t;
}();

Class class_of(int type) { return type >= 0 && type < kTypes ? kClasses[type] : NONE; }

// The engine's state during one print.
class Engine {
 public:
  Engine(lsf_ctx *ctx, lsf_handle *args) : ctx_(ctx), p_(ctx->priv), args_(args) {
    lang_ = lsf_ctx_lang(p_);
    glo_ = p_->glo;
  }

  // Formats fmt[0..fmtlen) into buf (room bytes, SIZE_MAX for no limit).
  int run(const char *codes, char *buf, size_t room, const char *fmt, size_t fmtlen);
  size_t written() const { return size_t(out_.pos - out_.start); }
  int32_t shifted_out() const { return out_.shift_sensitive && out_.shifted; }

 private:
  bool at_end() const { return size_t(fc_.pos - fc_.start) >= fc_.len; }
  bool copy_at_end() const { return size_t(cc_.pos - cc_.start) >= cc_.len; }
  bool is_code(int idx) {
    if (fast_) return fc_.pos < end_ && *fc_.pos == uint8_t(lsfpcodes[idx]);
    if (at_end()) return false;
    const uint8_t code = uint8_t(codes_[idx]);
    if (!(fc_.shift_sensitive && fc_.shifted) && *fc_.pos == code) return true;
    return !fc_.single_byte && lxmctex(&fc_, code, glo_);
  }
  void advance() {
    if (fast_) {
      ++fc_.pos;
      ++cc_.pos;
      return;
    }
    lxmfwdx(&fc_, glo_);
    if (!copy_at_end()) lxmfwdx(&cc_, glo_);
  }
  // The character at c lies whole inside its text.
  bool whole(const lxmcur &c) {
    lxmcur t = c;
    return lxmfwdx(&t, glo_) != 0;
  }
  bool is_digit() {
    if (fast_) return *cc_.pos >= '0' && *cc_.pos <= '9';
    return whole(cc_) && lxmdigx(&cc_, glo_) != 0;
  }
  size_t left() const { return room_ == SIZE_MAX ? SIZE_MAX : room_ - written(); }
  int full(const char *routine) {
    lsfp_record(ctx_, LSF_BUFFULL, 0, routine, uint64_t(written()));
    return LSFP_EFULL;
  }
  int copy_char();
  // Reads a number from the copy and moves the format along; false when it
  // could not be read.
  bool read_number(int32_t *value);
  int argument(int n, bool positional, const lsf_entry **e);
  int convert(const lsfp_conv &conv, int letter, const lsf_entry &e);
  int converter_failed(int code, int which, size_t before, size_t partial);
  int conversion();

  lsf_ctx *ctx_;
  lsf_priv *p_;
  lsf_handle *args_;
  lxlangid *lang_;
  lxglo *glo_;
  const char *codes_ = lsfpcodes;
  lxmcur out_{}, fc_{}, cc_{};
  size_t room_ = 0;
  int count_ = 0;
  int next_ = 1;  // the sequential argument counter
  bool fast_ = false;  // ASCII-based single-byte set: a byte is a character
  const unsigned char *end_ = nullptr;  // the format's end
};

int Engine::copy_char() {
  if (fc_.single_byte && !fc_.shift_sensitive && !out_.shift_sensitive) {
    // the run of plain characters up to the next "%" at once
    const size_t rest = fc_.len - size_t(fc_.pos - fc_.start);
    const void *pc = std::memchr(fc_.pos + 1, codes_[LSFPC_PERCENT], rest - 1);
    size_t n = pc ? size_t(static_cast<const unsigned char *>(pc) - fc_.pos) : rest;
    bool cut = n > left();
    if (cut) n = left();
    std::memcpy(out_.pos, fc_.pos, n);
    out_.pos += n;
    fc_.pos += n;
    cc_.pos += n;
    return cut ? full("lsfpd()") : 0;
  }
  size_t n = lxoCpChar(&out_, left(), &fc_, SIZE_MAX, kCopyFlags, glo_);
  if (n == 0 && glo_->status == LXS_SMALL) return full("lsfpd()");
  if (glo_->status == kStatusCutOff) {
    fc_.pos = fc_.start + fc_.len;  // a character cut off by the format's end ends it
    return 0;
  }
  if (!copy_at_end()) lxmfwdx(&cc_, glo_);
  return 0;
}

bool Engine::read_number(int32_t *value) {
  if (fast_) {
    // what lxoCnvNumStrToInt reads in an ASCII-based single-byte set
    const unsigned char *p = fc_.pos, *end = fc_.start + fc_.len;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    if (p == end || *p < '0' || *p > '9') return false;
    int64_t v = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
      v = v * 10 + (*p - '0');
      if (v > INT32_MAX) return false;
    }
    *value = int32_t(negative ? -v : v);
    cc_.pos += p - fc_.pos;
    fc_.pos = const_cast<unsigned char *>(p);
    return true;
  }
  lxmcur from = cc_;
  glo_->status = 0;
  *value = lxoCnvNumStrToInt(&cc_, SIZE_MAX, kNumFlags, glo_);
  if (glo_->status == kStatusInvalid || glo_->status == kStatusOverflow) return false;
  // as many characters of the format as the number took of the copy
  while (from.pos < cc_.pos && lxmfwdx(&from, glo_) != 0) lxmfwdx(&fc_, glo_);
  return true;
}

int Engine::argument(int n, bool positional, const lsf_entry **e) {
  if (!args_ || !*args_) {
    lsfp_record(ctx_, LSF_NOARGLIST, 0, nullptr, 0);
    return LSFP_ENOLIST;
  }
  if (n < 1 || n > count_) {
    uint32_t num = uint32_t(n), cnt = uint32_t(count_);
    lsforec(ctx_, positional ? LSF_NOPOSARG : LSF_NONEXT, 0, nullptr, LSFUB4, &num, LSFUB4, &cnt,
            LSFEND);
    return LSFP_EMISSING;
  }
  *e = &(*args_)->entries[n - 1];
  return 0;
}

int Engine::converter_failed(int code, int which, size_t before, size_t partial) {
  static constexpr const char *kFull[] = {
      "lsfpd() when calling lsfpcbg()", "lsfpd() when calling lsfpcst()",
      "lsfpd() when calling lsfpcme()", "lsfpd() when calling lsfpcon()"};
  lwem_ctx *errs = lsf_ctx_errs(ctx_);
  if (p_->record) lwemdtm(errs);
  uint64_t count = uint64_t(before + partial);
  if (code == LSFP_EFULL) {
    lsfp_record(ctx_, LSF_BUFFULL, 0, kFull[which], count);
    return code;
  }
  const char *cause;
  int site = LSFP_SITE_PAD;
  switch (which) {
    case LSFP_CV_TEXT:
      cause = code == LSFP_ENULL   ? (site = LSFP_SITE_NULL, "lsfpcst() failed due to NULL pointer.")
              : code == LSFP_ENOMEM ? (site = LSFP_SITE_NOLIMIT,
                                       "lsfpcst() failed due to string length isn't LXNOLIMIT.")
                                    : "lsfpcst() failed due to pad errors";
      break;
    case LSFP_CV_DUMP:
      cause = code == LSFP_ENULL ? (site = LSFP_SITE_NULL, "lsfpcme() failed due to NULL pointer.")
                                 : "lsfpcme() failed due to pad errors";
      break;
    case LSFP_CV_NUMBER:
      cause = code == LSFP_EZEROS ? (site = LSFP_SITE_ZEROS, "lsfpcon: lnxnft should pad with zeros.")
              : code == LSFP_ENUMBER
                  ? (site = LSFP_SITE_NUMBER, "lsfpcon() failed due to bad viruze number")
                  : "lsfpcon() failed due to pad errors";
      break;
    default:
      cause = "lsfpcbg() failed due to pad errors";
      break;
  }
  lsforec(ctx_, LSF_INTERNAL, site, nullptr, LSFTXTP, "In lsfpd(), failure occurs.", LSFTXTP,
          cause, LSFTXTP, "Number of bytes written: ", LSFUBIG_ZUR, &count, LSFEND);
  return code;
}

int Engine::convert(const lsfp_conv &in, int letter, const lsf_entry &e) {
  lsfp_conv conv = in;
  const Class cls = class_of(e.type);
  auto bad_class = [&](int result) -> int {
    lsforec(ctx_, LSF_BADTYPE, 0, nullptr, LSFTXTP, lsfotptext(e.type), LSFTXTP,
            reinterpret_cast<const char *>(fc_.start), LSFEND);
    return result;
  };
  if (cls == NONE) return bad_class(LSFP_EBADTYPE);
  const size_t before = written();
  size_t w = 0;
  int r = 0, which = LSFP_CV_INT;
  const lsf_entry *v = &e;
  auto integer = [&](int mode, int base) -> int {
    conv.base = uint8_t(base);
    uint64_t u = v->value.u64;
    int64_t s = v->value.i64;
    if (cls == CHAR) u = v->value.bytes[0];
    if (cls == S64 || cls == U64 || cls == CHAR) {
      int st = LSFST_OK;
      int64_t x = cls == CHAR ? int64_t(u) : lwsfdval(v, 1, &st);
      u = uint64_t(x);
      s = x;
    }
    return lsfpcbg(ctx_, &out_, left(), 0, u, s, mode, &conv, mode == 2 && s < 0, glo_, &w);
  };
  auto character = [&]() -> int {
    uint8_t b = v->value.bytes[0];
    if (cls != CHAR) b = uint8_t(v->value.u64);
    if (conv.flags & LSFP_UPPER) b = lsfp_upper(lang_, glo_, b);
    size_t need = 1 + (shifted_out() ? 1 : 0);
    if (left() < need) return full("lsfpd()");
    lxoWriChar(&out_, b, kCopyFlags, glo_);
    return 0;
  };
  auto number = [&](int l) -> int {
    which = LSFP_CV_NUMBER;
    uint8_t num[kNumberMax];
    size_t len = 0;
    if (cls == NUMBER) {
      auto src = static_cast<const uint8_t *>(v->value.ptr);
      if (!src || !lnxchk(src, size_t(v->length))) return LSFP_ENUMBER;
      lnxcopy(src, size_t(v->length), num, &len);
      return lsfpcon(ctx_, &out_, left(), num, len, &conv, l, glo_, &w);
    }
    double d = e.type == LSFFLOAT ? double(v->value.flt) : v->value.dbl;
    if (cls == DPTR) {
      if (!v->value.ptr) return bad_class(LSFP_ECLASS);
      std::memcpy(&d, v->value.ptr, sizeof d);
    }
    lnxren(&d, sizeof d, num, &len);
    return lsfpcon(ctx_, &out_, left(), num, len, &conv, l, glo_, &w);
  };
  auto text = [&]() -> int {
    which = LSFP_CV_TEXT;
    auto t = static_cast<const char *>(v->value.ptr);
    if (cls == TEXT) return lsfpcst(ctx_, &out_, left(), t, -1, -1, &conv, glo_, &w);
    if (v->length == 0) return 0;
    if (cls == TEXTLEN) return lsfpcst(ctx_, &out_, left(), t, int64_t(v->length), -1, &conv, glo_, &w);
    return lsfpcst(ctx_, &out_, left(), t, -1, int64_t(v->length), &conv, glo_, &w);
  };
  auto dump = [&]() -> int {
    which = LSFP_CV_DUMP;
    return lsfpcme(ctx_, &out_, left(), static_cast<const uint8_t *>(v->value.ptr),
                   size_t(v->length), &conv, glo_, &w);
  };
  auto pointer = [&](const void *ptr) -> int {
    return slsfpdvoidp(ctx_, &out_, left(), ptr, &conv, glo_, &w);
  };
  switch (letter) {
    case LSFPC_D: case LSFPC_I:
      if (cls == CHAR || cls == U64 || cls == UB8) r = integer(1, 10);
      else if (cls == S64 || cls == SB8) r = integer(2, 10);
      else return bad_class(LSFP_ECLASS);
      break;
    case LSFPC_U: case LSFPC_O: case LSFPC_X: {
      int base = letter == LSFPC_U ? 10 : letter == LSFPC_O ? 8 : 16;
      if (cls == CHAR || cls == U64 || cls == S64 || cls == UB8) r = integer(1, base);
      else if (cls == SB8) r = integer(2, base);
      else return bad_class(LSFP_ECLASS);
      break;
    }
    case LSFPC_C:
      if (cls == CHAR || cls == S64 || cls == U64 || cls == SB8 || cls == UB8) return character();
      return bad_class(LSFP_ECLASS);
    case LSFPC_S:
      switch (cls) {
        case TEXT: case TEXTLEN: case TEXTDISP: r = text(); break;
        case CHAR: return character();
        case BUFFER: r = dump(); break;
        case DPTR: r = pointer(v->value.ptr); break;
        case FPTR: r = slsfpfuncp(ctx_, &out_, left(), v->value.fn, &conv, glo_, &w); break;
        case S64: case SB8: r = integer(2, 10); break;
        case U64: case UB8: r = integer(1, 10); break;
        case DOUBLE: case NUMBER: r = number(LSFPC_G); break;
        default: return bad_class(LSFP_ECLASS);
      }
      break;
    case LSFPC_M:
      if (cls != BUFFER) return bad_class(LSFP_ECLASS);
      r = dump();
      break;
    case LSFPC_F: case LSFPC_E: case LSFPC_G:
      if (cls != DOUBLE && cls != DPTR && cls != NUMBER) return bad_class(LSFP_ECLASS);
      r = number(letter);
      break;
    case LSFPC_P:
      if (cls == TEXT || cls == TEXTDISP || cls == BUFFER || cls == DPTR) r = pointer(v->value.ptr);
      else if (cls == FPTR) r = slsfpfuncp(ctx_, &out_, left(), v->value.fn, &conv, glo_, &w);
      else return bad_class(LSFP_ECLASS);
      break;
    default:
      return bad_class(LSFP_ECLASS);
  }
  if (r < 0) return converter_failed(r, which, before, w);
  return 0;
}

int Engine::conversion() {
  advance();  // the "%"
  if (at_end()) {
    lsforec(ctx_, LSF_BADCONV, 0, nullptr, LSFTXT, &codes_[LSFPC_BLANK], LSFEND);
    return LSFP_ECONV;
  }
  if (is_code(LSFPC_PERCENT)) return copy_char();
  lsfp_conv conv{0, 0, 0, -1, -1};
  if (is_code(LSFPC_LPAREN)) {
    advance();
    int32_t pos = 0;
    if (!read_number(&pos)) {
      lsforec(ctx_, LSF_BADPOSNUM, 0, nullptr, LSFEND);
      return LSFP_EPOS;
    }
    if (pos < 1) {
      lsforec(ctx_, LSF_POSBELOW1, 0, nullptr, LSFSWORD, &pos, LSFEND);
      return LSFP_EPOS;
    }
    if (!is_code(LSFPC_RPAREN)) {
      lsforec(ctx_, LSF_NOPAREN, 0, nullptr, LSFEND);
      return LSFP_EPAREN;
    }
    advance();
    conv.position = pos;
  }
  static constexpr struct {
    int code, flag;
  } kFlags[] = {{LSFPC_MINUS, LSFP_LEFT}, {LSFPC_PLUS, LSFP_PLUS}, {LSFPC_BLANK, LSFP_SPACE},
                {LSFPC_ZERO, LSFP_ZERO}, {LSFPC_HASH, LSFP_ALT}};
  for (bool more = true; more;) {
    more = false;
    for (const auto &f : kFlags) {
      if (!is_code(f.code)) continue;
      if (conv.flags & f.flag) {
        lsforec(ctx_, LSF_FLAGTWICE, 0, nullptr, LSFTXTP, lsfofgtext(f.flag), LSFEND);
        return LSFP_EFLAG;
      }
      conv.flags = uint16_t(conv.flags | f.flag);
      advance();
      more = true;
      break;
    }
  }
  if ((conv.flags & LSFP_PLUS) && (conv.flags & LSFP_SPACE)) conv.flags &= uint16_t(~LSFP_SPACE);
  if ((conv.flags & LSFP_LEFT) && (conv.flags & LSFP_ZERO)) conv.flags &= uint16_t(~LSFP_LEFT);

  // argument numbers: from the position on, or the sequential counter
  int next_pos = conv.position;
  auto next_arg = [&]() { return conv.position ? next_pos++ : next_++; };
  const lsf_entry *e = nullptr;
  if (is_code(LSFPC_STAR)) {
    advance();
    if (int r = argument(next_arg(), conv.position != 0, &e)) return r;
    int st = LSFST_OK;
    int64_t w = lwsfdval(e, 1, &st);
    if (w < 0) {
      conv.flags = uint16_t(conv.flags | LSFP_LEFT);
      w = -w;
      if (conv.flags & LSFP_ZERO) conv.flags &= uint16_t(~LSFP_LEFT);
    }
    conv.width = w > INT32_MAX ? INT32_MAX : int32_t(w);
  } else if (!copy_at_end() && is_digit()) {
    if (!read_number(&conv.width)) {
      lsforec(ctx_, LSF_BADWIDTH, 0, nullptr, LSFEND);
      return LSFP_EWIDTH;
    }
  }
  if (is_code(LSFPC_DOT)) {
    advance();
    auto bad = [&]() {
      lsforec(ctx_, LSF_BADPREC, 0, nullptr, LSFEND);
      return LSFP_EPREC;
    };
    if (is_code(LSFPC_STAR)) {
      advance();
      if (int r = argument(next_arg(), conv.position != 0, &e)) return r;
      int st = LSFST_OK;
      int64_t pr = lwsfdval(e, 1, &st);
      if (pr < 0) return bad();
      conv.precision = pr > INT32_MAX ? INT32_MAX : int32_t(pr);
    } else if (!copy_at_end() && is_digit()) {
      if (!read_number(&conv.precision)) return bad();
    } else {
      return bad();
    }
  }
  if (is_code(LSFPC_H) || is_code(LSFPC_L)) advance();
  if (at_end()) {
    lsforec(ctx_, LSF_BADCONV, 0, nullptr, LSFTXT, &codes_[LSFPC_BLANK], LSFEND);
    return LSFP_ECONV;
  }
  // the letter, lowered, as a single-byte character
  uint8_t b = *fc_.pos;
  if (!(fc_.single_byte || (fc_.shift_sensitive && !fc_.shifted)) && (b & 0x80)) {
    b = whole(fc_) ? uint8_t(lxmtos(&fc_, glo_)) : 0;
  }
  uint8_t low = codes_ == lsfpcodes ? uint8_t(b >= 'A' && b <= 'Z' ? b + ('a' - 'A') : b)
                                     : lsfp_lower(lang_, glo_, b);
  if (low != b) conv.flags = uint16_t(conv.flags | LSFP_UPPER);
  int letter = -1;
  if (codes_ == lsfpcodes) {
    letter = kLetters[low];
  } else {
    for (int i = LSFPC_D; i < LSFPC_COUNT && letter < 0; ++i)
      if (uint8_t(codes_[i]) == low) letter = i;
  }
  if (letter < 0) {
    char c = char(b ? b : *fc_.pos);
    lsforec(ctx_, LSF_BADCONV, 0, nullptr, LSFTXT, &c, LSFEND);
    return LSFP_ECONV;
  }
  advance();
  if (int r = argument(next_arg(), conv.position != 0, &e)) return r;
  return convert(conv, letter, *e);
}

int Engine::run(const char *codes, char *buf, size_t room, const char *fmt, size_t fmtlen) {
  codes_ = codes;
  room_ = room;
  lxmopen(buf, room, &out_, lang_, glo_, 1);
  // the copy in which multibyte characters with a single-byte equivalent are
  // replaced by it; formats beyond the stack copy are copied whole
  char stack_copy[kFormatCopy + 1];
  char *copy = stack_copy;
  size_t copy_size = fmtlen + 1;
  const bool plain = (lang_->flags & LXH_F_SINGLE) != 0;  // no multibyte characters to replace
  if (plain) {
    copy = const_cast<char *>(fmt);
  } else if (copy_size > sizeof stack_copy) {
    copy = static_cast<char *>(lsfp_alloc(ctx_, copy_size));
    if (!copy) {
      lsfp_record(ctx_, LSF_NOMEM, 0, "lsfpd() failed to allocate memory", 0);
      return LSFP_ENOMEM;
    }
  } else {
    copy_size = sizeof stack_copy;
  }
  size_t clen = fmtlen;
  if (!plain) {
    clen = lxsCnvEqui(copy, copy_size, fmt, fmtlen, LXS_EQUI_TOSINGLE, lang_, glo_);
    if (clen > 0 && copy[clen - 1] == 0) --clen;
  }
  lxmcpen(copy, clen, &cc_, lang_, glo_);
  lxmcpen(fmt, fmtlen, &fc_, lang_, glo_);
  fast_ = plain && !fc_.shift_sensitive && codes_ == lsfpcodes;
  end_ = fc_.start + fc_.len;
  int r = 0;
  count_ = (args_ && *args_) ? lwsfdcnt(*args_) : 0;  // under the context lock already
  if (count_ < 0) {
    r = LSFP_ENOMEM;
  } else {
    while (r == 0 && !at_end()) r = is_code(LSFPC_PERCENT) ? conversion() : copy_char();
  }
  if (r == 0 && shifted_out()) {
    if (left() < 1) {
      r = full("lsfpd()");
    } else {
      *out_.pos++ = lang_->shift_in;
      out_.shifted = 0;
    }
  }
  if (copy != stack_copy && copy != fmt) lsfp_free(ctx_, copy);
  return r;
}

}  // namespace

// ---- shared helpers ----------------------------------------------------------

void *lsfp_alloc(lsf_ctx *ctx, size_t size) {
  lpm_product *prod = ctx->priv->area ? ctx->priv->area->product : nullptr;
  return prod && prod->m.mem ? lmlalloc(prod->m.mem, size) : nullptr;
}

void lsfp_free(lsf_ctx *ctx, void *p) {
  lpm_product *prod = ctx->priv->area ? ctx->priv->area->product : nullptr;
  if (p && prod && prod->m.mem) lmlfree(prod->m.mem, p);
}

void lsfp_record(lsf_ctx *ctx, int number, int site, const char *text, uint64_t count) {
  int32_t zero = 0;
  switch (number) {
    case LSF_NOMEM:
      lsforec(ctx, number, site, nullptr, LSFTXTP, text, LSFSB4, &zero, LSFEND);
      break;
    case LSF_BUFFULL:
    case LSF_DISPWIDTH:
      lsforec(ctx, number, site, nullptr, LSFTXTP, text, LSFUBIG_ZUR, &count, LSFEND);
      break;
    default:
      lsforec(ctx, number, site, nullptr, LSFEND);
      break;
  }
}

uint8_t lsfp_lower(const lxlangid *lang, lxglo *glo, uint8_t b) {
  auto cs = reinterpret_cast<const lxcsobj *>(lxdgetobj(lang->cs, LX_TCS, glo));
  if (cs) return cs->lower[b];
  return (b >= 'A' && b <= 'Z') ? uint8_t(b + ('a' - 'A')) : b;
}

uint8_t lsfp_upper(const lxlangid *lang, lxglo *glo, uint8_t b) {
  auto cs = reinterpret_cast<const lxcsobj *>(lxdgetobj(lang->cs, LX_TCS, glo));
  if (cs) return cs->upper[b];
  return (b >= 'a' && b <= 'z') ? uint8_t(b - ('a' - 'A')) : b;
}

// ---- entry points --------------------------------------------------------------

extern "C" {

int lsfpd(lsf_ctx *ctx, void *out, int outlen, const void *format, lsf_handle *args) {
  if (!ctx || !ctx->priv || !format || (!out && outlen != 0)) return LSFP_ENOMEM;
  lsf_priv *p = ctx->priv;
  const unsigned depth = lwemged(lsf_ctx_errs(ctx));
  int taken = 0;
  if (lsf_ctx_lock(ctx, &taken) != 0) return -1;
  lxlangid *lang = lsf_ctx_lang(p);
  lxglo *glo = p->glo;
  int r = 0;

  // the code table, in the handle's character set
  const char *codes = lsfpcodes;
  char *converted = nullptr;
  if (!lxhasc(lang, glo)) {
    const size_t size = LSFPC_COUNT * 4;
    converted = static_cast<char *>(lsfp_alloc(ctx, size));
    lxlangid ascii{};
    if (!converted) {
      lsfp_record(ctx, LSF_NOMEM, 0, "lsfpd() failed to allocate memory", 0);
      r = LSFP_ENOMEM;
    } else if (!lxhLaToId("us7ascii", 0, &ascii, 0, glo) ||
               lxgcnv(converted, reinterpret_cast<const lxcsobj *>(lxdgetobj(lang->cs, LX_TCS, glo)),
                      size, lsfpcodes,
                      reinterpret_cast<const lxcsobj *>(lxdgetobj(ascii.cs, LX_TCS, glo)),
                      LSFPC_COUNT, glo) != LSFPC_COUNT ||
               glo->status != 0) {
      lsfp_record(ctx, LSF_NLSFAIL, 0, nullptr, 0);
      r = LSFP_ENOMEM;
    } else {
      codes = converted;
    }
  }
  p->codes = codes;

  if (r == 0 && !p->utf16) {
    size_t room = outlen < 0 ? SIZE_MAX : size_t(outlen);
    if (outlen > 0) std::memset(out, 0, size_t(outlen));
    auto fmt = static_cast<const char *>(format);
    size_t fmtlen = (lang->flags & LXH_F_WIDE) ? lxsulen(fmt) : std::strlen(fmt);
    Engine e(ctx, args);
    r = e.run(codes, static_cast<char *>(out), room, fmt, fmtlen);
    if (r == 0) {
      r = int(e.written());
      if (outlen < 0) static_cast<char *>(out)[r] = 0;
    }
  } else if (r == 0) {
    r = lsfp_utf16(ctx, out, outlen, format, args, codes);
  }

  lsfp_free(ctx, converted);
  lsf_ctx_unlock(ctx, taken);
  lsfocdtm(ctx, depth);
  return r;
}

int lsfpv(lsf_ctx *ctx, void *out, int outlen, const void *format, va_list ap) {
  if (!ctx || !ctx->priv) return LSFP_ENOLIST;
  const unsigned depth = lwemged(lsf_ctx_errs(ctx));
  int taken = 0;
  if (lsf_ctx_lock(ctx, &taken) != 0) return -1;
  int r;
  lsf_handle *h = lsfdlv(ctx, ap);
  if (!h) {
    r = LSFP_ENOLIST;
  } else {
    lwem_ctx *errs = lsf_ctx_errs(ctx);
    const unsigned before = lwemged(errs);
    r = lsfpd(ctx, out, outlen, format, h);
    const unsigned after_print = lwemged(errs);
    lsfdrm(ctx, h);
    if (after_print > before && lwemged(errs) > after_print) lwemdtm(errs);
  }
  lsf_ctx_unlock(ctx, taken);
  lsfocdtm(ctx, depth);
  return r;
}

int lsfp(lsf_ctx *ctx, void *out, int outlen, const void *format, ...) {
  if (!ctx || !ctx->priv) return LSFP_ENOLIST;
  const unsigned depth = lwemged(lsf_ctx_errs(ctx));
  va_list ap;
  va_start(ap, format);
  int r = lsfpv(ctx, out, outlen, format, ap);
  va_end(ap);
  lsfocdtm(ctx, depth);
  return r;
}

}  // extern "C"

// ---- UTF-16 mode -----------------------------------------------------------------

int lsfp_utf16(lsf_ctx *ctx, void *out, int outlen, const void *format, lsf_handle *args,
               const char *codes) {
  lsf_priv *p = ctx->priv;
  char *fmt = nullptr;
  size_t fmtlen = 0;
  if (lsfu16to8(ctx, format, &fmt, &fmtlen) != 0) return LSFP_ENOMEM;
  const size_t ratio = p->ratio < 2 ? 2 : p->ratio;
  int r = 0;
  size_t size = outlen < 0 ? kUtf16Start : ratio * size_t(outlen) * 2;
  if (outlen > 0) std::memset(out, 0, size_t(outlen) * 2);
  for (;;) {
    char *buf = static_cast<char *>(size ? lsfp_alloc(ctx, size + 1) : nullptr);
    if (size && !buf) {
      lsfp_record(ctx, LSF_NOMEM, 0, "lsfpd() failed to allocate memory", 0);
      r = LSFP_ENOMEM;
      break;
    }
    char empty = 0;
    if (!buf) buf = &empty;
    std::memset(buf, 0, size + 1);
    Engine e(ctx, args);
    r = e.run(codes, buf, size, fmt, fmtlen);
    if (r == LSFP_EFULL && outlen < 0 && size < kUtf16Max) {
      // an unbounded print: try again with more room, without the record
      if (p->record) lwemdtm(lsf_ctx_errs(ctx));
      lsfp_free(ctx, buf);
      size *= 2;
      continue;
    }
    if (r == 0) {
      buf[e.written()] = 0;
      void *raw = nullptr;
      uint16_t *units = nullptr;
      size_t n = 0;
      if (lsfu8to16(ctx, buf, &raw, &units, &n) != 0) {
        r = LSFP_ENOMEM;
      } else if (outlen >= 0 && n > size_t(outlen)) {
        lsfp_record(ctx, LSF_BUFFULL, 0, "lsfpd()", uint64_t(n));
        r = LSFP_EFULL;
      } else {
        std::memcpy(out, units, n * 2 + (outlen < 0 ? 2 : 0));
        r = int(n);
      }
      lsfp_free(ctx, raw);
    }
    if (buf != &empty) lsfp_free(ctx, buf);
    break;
  }
  lsfp_free(ctx, fmt);
  return r;
}
