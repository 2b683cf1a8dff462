// Backup file names: two passes over the template, each into at most 512
// bytes. The first replaces %U, %T and %F by their templates; the second
// fills the variables.
#include "slgpn.h"

#include <stdio.h>
#include <string.h>

#include "lxh.h"
#include "lxm.h"
#include "lxo.h"

extern "C" const char slgpn_32tt[33] = "0123456789abcdefghijklmnopqrstuv";

namespace {

constexpr char kPieceTmpl[] = "%u_%p_%c";
constexpr char kDataTmpl[] = "data_D-%d_I-%I_TS-%N_FNO-%f_%u";
constexpr char kCtlTmpl[] = "cf_D-%d_id-%I_%u";
constexpr char kArchTmpl[] = "arch_D-%d_id-%I_S-%e_T-%h_A-%a_%u";
constexpr char kDateTmpl[] = "%Y%M%D";
constexpr char kAutoTmpl[] = "c-%I-%Y%M%D-%q";
constexpr char kDisk[] = "DISK";
constexpr uint32_t kMaxAutoSeq = 255;
constexpr int kNameWidth = 8;  // %n pads to this many characters
constexpr int kNumBuf = 48;          // ten digits in a set of up to four bytes a digit
constexpr uint32_t kSigned = LXS_NUM_DEC;
constexpr uint32_t kUnsigned = LXS_NUM_DEC | LXS_NUM_UNSIGNED;
constexpr uint32_t kDigitMask = 0x1F;
constexpr int kDigitBits = 5;
constexpr uint32_t kCopyHighMask = 0xF;

// The letters whose values do not belong in a %F name.
constexpr char kNotInF[] = "acefhpstuN";

// How a pass stopped.
struct Stop {
  int code = SLGPN_OK;
  char letter = 0;
  const char *why = nullptr;
};

class Writer {
 public:
  Writer(char *area, const lxlangid *h, lxglo *glo) : glo_(glo) {
    lxmopen(area, SLGPN_MAX, &cur_, h, glo, 1);
  }
  size_t used() const { return static_cast<size_t>(cur_.pos - cur_.start); }
  // A plain text in the handle's set; false when it does not fit.
  bool text(const char *s, size_t n) {
    if (n == 0) return true;
    size_t left = lxmleft(&cur_);
    lxoCpToOp(&cur_, left, s, n, LXO_EXACTLEN, glo_);
    return glo_->nbytes == n;
  }
  bool text(const char *s) { return text(s, strlen(s)); }
  bool character(uint32_t wide) {
    if (lxmleft(&cur_) == 0) return false;
    return lxoWriWChar(&cur_, wide, 0, glo_) != 0;
  }
  // A decimal number in the handle's set: signed, or unsigned (kUnsigned).
  bool number(int32_t v, uint32_t flags, size_t width = 0) {
    char buf[kNumBuf];
    size_t n = lxsCnvIntToNumStr(buf, sizeof buf, v, width, flags, cur_.langid, glo_);
    return n != 0 && text(buf, n);
  }
  bool number(uint32_t v) { return number(static_cast<int32_t>(v), kUnsigned); }
  bool digit(uint32_t d) { return text(&slgpn_32tt[d & kDigitMask], 1); }

 private:
  lxmcur cur_;
  lxglo *glo_;
};

// A reader over a text in the handle's set.
class Reader {
 public:
  Reader(const char *text, size_t len, const lxlangid *h, lxglo *glo) : glo_(glo) {
    lxmopen(text, len, &cur_, h, glo, 0);
  }
  bool more() {
    lxmskps(&cur_, glo_);
    return lxmleft(&cur_) > 0;
  }
  // The next character (not consumed) as a packed wide value; a character
  // cut off by the end of the text is its first byte.
  uint32_t peek() {
    const uint32_t wide = lxmc2wx(&cur_, glo_);
    return wide != 0 || lxmleft(&cur_) == 0 ? wide : *cur_.pos;
  }
  void next() { lxmfwdx(&cur_, glo_); }
  // The character is the ASCII character c: byte for byte in a single-byte
  // set, else as the set's equivalent of c.
  bool is(uint32_t wide, char c) const {
    const auto code = static_cast<unsigned char>(c);
    if (cur_.single_byte) return wide == code;
    return lxwctex(wide, code, cur_.langid, glo_) != 0;
  }

 private:
  lxmcur cur_;
  lxglo *glo_;
};

// The letter of a variable, or 0 when the character is none of ours.
char letter_of(const Reader &in, uint32_t wide, const char *letters) {
  for (const char *l = letters; *l != '\0'; ++l)
    if (in.is(wide, *l)) return *l;
  return 0;
}

// Chooses the %U template, checking the copy's description.
const char *choose_u(const slgpn_params *p, const char **why) {
  if (p->is_copy == 0) return kPieceTmpl;
  if (p->device != nullptr && strcmp(p->device, kDisk) != 0) {
    *why = "Non disk channel for copies";
    return nullptr;
  }
  const bool seq = p->logseq_ind == SLGPN_PRESENT;
  const bool thr = p->thread_ind == SLGPN_PRESENT;
  if (p->fileno_ind == SLGPN_PRESENT) {
    if (seq || thr) {
      *why = "Cannot determine type of file";
      return nullptr;
    }
    return p->fileno != 0 ? kDataTmpl : kCtlTmpl;
  }
  if (seq && thr) return kArchTmpl;
  *why = seq ? "Incomplete archivelog info" : "No info for file type";
  return nullptr;
}

// The first pass into work; sets *fform for a %F.
Stop first_pass(const slgpn_params *p, const char *utmpl, char *work, size_t *worklen,
                bool *fform) {
  const lxlangid *h = *p->langid;
  Writer out(work, h, p->glo);
  Reader in(p->tmpl, strlen(p->tmpl), h, p->glo);
  Stop stop;
  auto done = [&](int code, char letter = 0) {
    stop.code = code;
    stop.letter = letter;
    *worklen = out.used();
    return stop;
  };
  while (in.more()) {
    uint32_t c = in.peek();
    in.next();
    if (!in.is(c, '%') || !in.more()) {
      if (!out.character(c)) return done(SLGPN_TOOLONG);
      continue;
    }
    uint32_t c2 = in.peek();
    in.next();
    const char *tmpl = nullptr;
    if (in.is(c2, 'U')) {
      tmpl = utmpl;
    } else if (in.is(c2, 'T')) {
      tmpl = kDateTmpl;
    } else if (in.is(c2, 'F')) {
      if (static_cast<uint32_t>(p->autoseq) > kMaxAutoSeq) return done(SLGPN_FORMAT, 'F');
      *fform = true;
      tmpl = kAutoTmpl;
    }
    bool ok = tmpl != nullptr ? out.text(tmpl) : out.character(c) && out.character(c2);
    if (!ok) return done(SLGPN_TOOLONG);
  }
  return done(SLGPN_OK);
}

// One variable of the second pass.
Stop fill(const slgpn_params *p, char v, Writer &out) {
  Stop stop;
  auto absent = [&](char letter) {
    stop.code = SLGPN_FORMAT;
    stop.letter = letter;
    return stop;
  };
  auto no_name = [&] {
    stop.code = SLGPN_INTERNAL;
    stop.why = "No database name";
    return stop;
  };
  bool ok = true;
  switch (v) {
    case 'a': ok = out.number(p->actid); break;
    case 'c': {
      const uint32_t c = static_cast<uint32_t>(p->copy);
      const uint32_t high = (c >> kDigitBits) & kCopyHighMask;
      if (high != 0) ok = out.digit(high);
      ok = ok && out.digit(c);
      break;
    }
    case 'd':
      if (p->dbname == nullptr) return no_name();
      ok = out.text(p->dbname);
      break;
    case 'e':
      if (p->logseq_ind != SLGPN_PRESENT || p->logseq == nullptr) return absent('e');
      ok = out.text(p->logseq);
      break;
    case 'f':
      if (p->fileno_ind != SLGPN_PRESENT) return absent('f');
      ok = out.number(static_cast<uint32_t>(p->fileno));
      break;
    case 'h':
      if (p->thread_ind != SLGPN_PRESENT) return absent('h');
      ok = out.number(static_cast<uint32_t>(p->thread));
      break;
    case 'n': {
      if (p->dbname == nullptr) return no_name();
      ok = out.text(p->dbname);
      size_t n = lxsCntChar(p->dbname, strlen(p->dbname), LXO_NULTERM, *p->langid, p->glo);
      for (; ok && n < kNameWidth; ++n) ok = out.text("x", 1);
      break;
    }
    case 'p': ok = out.number(p->piece, kSigned); break;
    case 'q':
      // Two digits hold 0 to 255.
      if (p->autoseq < 0 || static_cast<uint32_t>(p->autoseq) > kMaxAutoSeq) return absent('q');
      ok = out.digit((static_cast<uint32_t>(p->autoseq) >> 4) & 0xF) &&
           out.digit(static_cast<uint32_t>(p->autoseq) & 0xF);
      break;
    case 's': ok = out.number(p->set); break;
    case 't': ok = out.number(p->stamp); break;
    case 'u': {
      const uint32_t set = p->set, stamp = p->stamp;
      ok = out.digit(set >> 5) && out.digit(set);
      for (int shift = 25; ok && shift >= 0; shift -= kDigitBits) ok = out.digit(stamp >> shift);
      break;
    }
    case 'D': ok = out.number(p->day, kSigned, 2); break;
    case 'M': ok = out.number(p->month, kSigned, 2); break;
    case 'Y': ok = out.number(p->year, kSigned, 4); break;
    case 'I': ok = out.number(p->dbid); break;
    case 'N':
      if (p->tsname_ind != SLGPN_PRESENT || p->tsname == nullptr) return absent('N');
      ok = out.text(p->tsname);
      break;
    default: break;
  }
  if (!ok) stop.code = SLGPN_TOOLONG;
  return stop;
}

Stop second_pass(const slgpn_params *p, const char *work, size_t worklen, bool fform,
                 char *output, size_t *outlen) {
  const lxlangid *h = *p->langid;
  Writer out(output, h, p->glo);
  Reader in(work, worklen, h, p->glo);
  Stop stop;
  char last_bad = 0;
  while (stop.code == SLGPN_OK && in.more()) {
    uint32_t c = in.peek();
    in.next();
    if (!in.is(c, '%') || !in.more()) {
      if (!out.character(c)) stop.code = SLGPN_TOOLONG;
      continue;
    }
    uint32_t c2 = in.peek();
    in.next();
    char v = letter_of(in, c2, "acdefhnpqstuDMYIN");
    if (v == 0) {
      if (!out.character(c) || !out.character(c2)) stop.code = SLGPN_TOOLONG;
      continue;
    }
    stop = fill(p, v, out);
    if (stop.code == SLGPN_OK && strchr(kNotInF, v) != nullptr) last_bad = v;
  }
  if (stop.code == SLGPN_OK && fform && last_bad != 0) {
    stop.code = SLGPN_FORMAT;
    stop.letter = last_bad;
  }
  *outlen = out.used();
  output[*outlen] = '\0';
  return stop;
}

int report(slos_error *err, const Stop &stop, size_t written) {
  switch (stop.code) {
    case SLGPN_TOOLONG:
      slosFillErr(err, SLGPN_TOOLONG, SLGPN_OUTSIZE, "Translation too long", "slgpn");
      break;
    case SLGPN_FORMAT: {
      slosFillErr(err, SLGPN_FORMAT, static_cast<int32_t>(written), "Format incompatible with %F",
                  "slgpn");
      const char letter[2] = {stop.letter, '\0'};
      slosOtherInfo(err, letter);
      break;
    }
    case SLGPN_INTERNAL:
      slosFillInt(err, "slgpn");
      slosOtherInfo(err, stop.why);
      break;
    default: break;
  }
  return stop.code;
}

}  // namespace

extern "C" int slgpn(slos_error *err, const slgpn_params *params, char *output, size_t *outlen) {
  *outlen = 0;
  Stop stop;
  const lxlangid *h = params->langid != nullptr ? *params->langid : nullptr;
  if (h == nullptr || (h->flags & LXH_F_WIDE) != 0) {
    // Templates and names are byte texts: a set of 16-bit units is not served.
    stop.code = SLGPN_INTERNAL;
    stop.why = "Wide character set not supported";
    return report(err, stop, 0);
  }
  const char *utmpl = choose_u(params, &stop.why);
  if (utmpl == nullptr) {
    stop.code = SLGPN_INTERNAL;
    return report(err, stop, 0);
  }
  char work[SLGPN_OUTSIZE] = {};
  size_t worklen = 0;
  bool fform = false;
  stop = first_pass(params, utmpl, work, &worklen, &fform);
  if (stop.code != SLGPN_OK) return report(err, stop, worklen);
  stop = second_pass(params, work, worklen, fform, output, outlen);
  return report(err, stop, *outlen);
}
