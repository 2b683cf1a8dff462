// Logical name expansion: "?", "@", $NAME, ${NAME} and backslash escapes.
//
// The walk keeps at most one open reference (bare $NAME or braced ${NAME}),
// remembered by where its "$" stands in the source and in the output. The
// output never holds more than dstlen characters, so its terminator always
// fits.
#include <string.h>

#include "sltln.h"
#include "sltln_int.h"
#include "slz.h"

namespace {

constexpr char kHomeVar[] = "VIRUZE_HOME";
constexpr char kSidVar[] = "VIRUZE_SID";
constexpr char kPathVar[] = "VIRUZE_PATH";

bool is_name_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '_';
}

class Expander {
 public:
  Expander(sl_status *st, const char *src, size_t srclen, char *dst, size_t dstlen)
      : st_(st), src_(src), srclen_(srclen), dst_(dst), dstlen_(dstlen) {}

  // Runs the walk; the output length, or 0 with the status set.
  size_t run() {
    for (size_t i = 0; i < srclen_; ++i) {
      const char c = src_[i];
      // A bare reference ends at the first character that cannot extend its
      // name; that character is then taken by its own rule.
      if (ref_ == Ref::Bare && !is_name_char(c)) {
        if (!substitute(ref_out_ + 1)) return 0;
        ref_ = Ref::None;
      }
      if (out_ >= dstlen_) return fail_full();
      if (c == '\0' && i + 1 < srclen_) return fail(SLTLN_ERR_BADARG);
      switch (c) {
        case '?':
          if (!put_value(kHomeVar, sizeof kHomeVar - 1, out_, i)) return 0;
          break;
        case '@':
          if (!put_value(kSidVar, sizeof kSidVar - 1, out_, i)) return 0;
          break;
        case '\\':
          if (i + 1 < srclen_) {
            ++i;
            if (src_[i] == '\0' && i + 1 < srclen_) return fail(SLTLN_ERR_BADARG);
          }
          dst_[out_++] = src_[i];
          break;
        case '$':
          ref_ = (i + 1 < srclen_ && src_[i + 1] == '{') ? Ref::Braced : Ref::Bare;
          ref_out_ = out_;
          ref_src_ = i;
          dst_[out_++] = c;
          break;
        case '}':
          if (ref_ == Ref::Braced) {
            if (!substitute(ref_out_ + 2)) return 0;
            ref_ = Ref::None;
          } else {
            dst_[out_++] = c;
          }
          break;
        default:
          dst_[out_++] = c;
      }
    }
    if (ref_ == Ref::Bare && !substitute(ref_out_ + 1)) return 0;
    dst_[out_] = '\0';
    return out_;
  }

 private:
  enum class Ref { None, Bare, Braced };

  size_t fail(int32_t code) {
    dst_[out_] = '\0';
    st_->code = code;
    return 0;
  }

  size_t fail_full() {
    st_->detail[0] = static_cast<intptr_t>(dstlen_);
    return fail(SLTLN_ERR_FULL);
  }

  // The open reference, whose name stands in the output from name_at up to
  // the current end, is replaced by the variable's value.
  bool substitute(size_t name_at) {
    char name[SLZ_MAXNAME + 1];
    size_t len = out_ - name_at;
    if (len > SLZ_MAXNAME) return fail_var(ref_out_, ref_src_);
    memcpy(name, dst_ + name_at, len);
    return put_value(name, len, ref_out_, ref_src_);
  }

  // Writes the value of the variable at output position at, with room for
  // the rest of the buffer. The reference began at source position src_at.
  bool put_value(const char *name, size_t len, size_t at, size_t src_at) {
    sl_status vs{};
    int n = len > 0 && at < dstlen_ ? slzgetevar(&vs, name, len, dst_ + at, dstlen_ - at, 0) : -1;
    if (n <= 0) return fail_var(at, src_at);
    out_ = at + static_cast<size_t>(n);
    return true;
  }

  // 7217: the untranslated rest of the source, from the reference's start,
  // takes the reference's place, cut at the end of the buffer.
  bool fail_var(size_t at, size_t src_at) {
    size_t n = srclen_ - src_at;
    if (n > dstlen_ - at) n = dstlen_ - at;
    memcpy(dst_ + at, src_ + src_at, n);
    out_ = at + n;
    fail(SLTLN_ERR_VAR);
    return false;
  }

  sl_status *st_;
  const char *src_;
  size_t srclen_;
  char *dst_;
  size_t dstlen_;
  size_t out_ = 0;
  Ref ref_ = Ref::None;
  size_t ref_out_ = 0;  // output position of the open reference's "$"
  size_t ref_src_ = 0;  // source position of that "$"
};

// Clears the status and the length and checks the arguments; false with 7202.
bool begin(sl_status *st, const char *src, size_t srclen, char *dst, size_t dstlen,
           size_t *outlen) {
  memset(st, 0, sizeof *st);
  if (outlen != nullptr) *outlen = 0;
  if (src == nullptr || dst == nullptr || outlen == nullptr || srclen == 0 || dstlen == 0) {
    st->code = SLTLN_ERR_BADARG;
    return false;
  }
  return true;
}

}  // namespace

extern "C" void sltlnexp(sl_status *st, const char *src, size_t srclen, char *dst,
                         size_t dstlen, size_t *outlen) {
  if (st == nullptr || !begin(st, src, srclen, dst, dstlen, outlen)) return;
  *outlen = Expander(st, src, srclen, dst, dstlen).run();
}

extern "C" void sltln(sl_status *st, const char *src, size_t srclen, char *dst,
                      size_t dstlen, size_t *outlen) {
  sltlnexp(st, src, srclen, dst, dstlen, outlen);
  if (st == nullptr || st->code != 0) return;
  sslpath(st, kPathVar, dst, dstlen, outlen);
}
