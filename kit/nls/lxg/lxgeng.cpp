// The character-by-character conversion engine (see lxgeng.h).
#include "lxgeng.h"

#include <assert.h>
#include <string.h>

#include <algorithm>

#include "lxccodec.h"
#include "lxfglo.h"
#include "lxfobj.h"
#include "lxg.h"
#include "lxgint.h"
#include "lxlget.h"
#include "lxlname.h"

using namespace nlsobj;

namespace lxg {

namespace {

constexpr size_t kPending = sizeof(lxgcarry{}.pending);
constexpr size_t kCarried = sizeof(lxgcarry{}.carried);
constexpr unsigned kRawMax = 8;   // longest character handled whole
constexpr unsigned kOutMax = 32;  // one character with its sequences
constexpr uint8_t kNoG1 = 0;      // no set designated into G1 (entry 0 never is)
constexpr unsigned kSeqMax = 6;   // longest sequence lx2seq compares
constexpr size_t kProbeMin = 64;  // sources shorter than this skip the roads' ASCII probes
constexpr size_t kPairMemoMin = 4096;  // sources shorter than this decode without the memo
constexpr unsigned kAscii = 0x80;
constexpr uint8_t kLeadUnknown = 0xFF, kLeadNoSet = 0xFE;  // set_of's table, beside entries
static_assert(kEntries < kLeadNoSet, "entries are told from the marks");

const uint8_t *obj(const lxcsobj *cs) { return reinterpret_cast<const uint8_t *>(cs); }
bool general_only() {
#ifdef QEN_TEST_HOOKS
  return lxg_general_only != 0;
#else
  return false;
#endif
}
bool is_high(uint32_t u) { return (u & 0xFC00u) == 0xD800u; }
bool is_low(uint32_t u) { return (u & 0xFC00u) == 0xDC00u; }

enum class Side : uint8_t { Plain, Ucs, Stateful };
enum class Form : uint8_t { Direct, Surrogate, Shift };
enum class Step : uint8_t { Char, Seq, Short, Fail };
enum class Put : uint8_t { Done, NoRoom, Split, Dropped, Fail };

Side side_of(const uint8_t *cs) {
  if (cs_flags(cs) & CS_STATEFUL) return Side::Stateful;
  if (cs_id(cs) == ID_UCS) return Side::Ucs;
  return Side::Plain;
}


// One source step.
struct Ch {
  unsigned len = 0;     // source bytes taken
  uint32_t v = 0;       // UTF-16 value
  unsigned width = 0;   // source width for the encoder
  uint8_t raw[kRawMax];
  unsigned rawlen = 0;
  bool copy = false;    // raw goes out unchanged (same set)
  bool base = false;    // raw is base-charset text of the stateful destination
};

// A stateful set with its base charsets fetched on demand.
struct Stateful {
  const lxcsobj *cs = nullptr;
  const lxcsobj *base[kEntries] = {};
  lxn::dec_fn dec[kEntries] = {};
  lxn::enc_fn enc[kEntries] = {};
  bool starts[256] = {};   // first bytes of the designation and shift sequences
  bool stops[256] = {};    // bytes that end a road's ASCII run: the sequences' first
                           // bytes, the doubled byte and every byte from 0x80
  bool shifting = false;   // flag 0x4: locking shifts after designations
  bool onebase = false;    // every entry has one base charset
  int doubled = -1;        // escape byte written twice to stand for itself (HZ "~~")
  bool four = false;       // an entry's base form has four bytes (two of pattern)
  uint8_t longest_char = 0;

  // The sequences that lx2seq always tells apart by their own bytes: no
  // sequence that it tries before one of them (nor, for a shift, any
  // designation) agrees with it over their common length. Whenever such a
  // sequence is at hand it is the one the step finds.
  struct Quick {
    uint8_t bytes[kSeqMax];
    uint8_t len;
    uint8_t idx;
    bool shift;  // a locking shift (else a designation)
  };
  Quick quick[2 * kEntries];
  unsigned nquick = 0;

  void init(const lxcsobj *c) {
    cs = c;
    const uint8_t *o = obj(c);
    shifting = (cs_flags(o) & CS_SHIFT) != 0;
    onebase = one_base(c);
    longest_char = longest(c);
    Entry e0 = entry(c, 0);
    if (e0.dlen() > 0 && e0.desig()[0] != 0x1B) doubled = e0.desig()[0];
    for (unsigned i = 0; i < kEntries; ++i) {
      Entry e = entry(c, i);
      if (e.dlen()) starts[e.desig()[0]] = true;
      if (e.slen() && shifting) starts[e.shift()[0]] = true;
      if (e.blen() == 4) four = true;
    }
    find_quick();
    for (unsigned b = 0; b < 256; ++b)
      stops[b] = starts[b] || b >= kAscii || static_cast<int>(b) == doubled;
  }
  static bool agree(const uint8_t *a, unsigned alen, const uint8_t *b, unsigned blen) {
    return memcmp(a, b, alen < blen ? alen : blen) == 0;
  }
  void find_quick() {
    for (unsigned i = 0; i < kEntries; ++i) {
      Entry e = entry(cs, i);
      const unsigned dl = e.dlen();
      bool clean = dl > 0 && dl <= kSeqMax;
      for (unsigned j = 0; j < i && clean; ++j) {
        Entry o = entry(cs, j);
        clean = o.dlen() == 0 || !agree(o.desig(), std::min(o.dlen(), kSeqMax), e.desig(), dl);
      }
      if (clean) add_quick(e.desig(), dl, i, false);
    }
    if (!shifting) return;
    for (unsigned i = 0; i < kEntries; ++i) {
      Entry e = entry(cs, i);
      const unsigned sl = e.slen();
      bool clean = sl > 0 && sl <= sizeof(lxcsstent{}.shift) && !e.single();
      for (unsigned j = 0; j < kEntries && clean; ++j) {
        Entry o = entry(cs, j);
        clean = o.dlen() == 0 || !agree(o.desig(), std::min(o.dlen(), kSeqMax), e.shift(), sl);
        if (clean && j < i && o.slen() > 0)
          clean = !agree(o.shift(), std::min(o.slen(), kSeqMax), e.shift(), sl);
      }
      if (clean) add_quick(e.shift(), sl, i, true);
    }
  }
  void add_quick(const uint8_t *bytes, unsigned len, unsigned idx, bool shift) {
    Quick &q = quick[nquick++];
    memcpy(q.bytes, bytes, len);
    q.len = static_cast<uint8_t>(len);
    q.idx = static_cast<uint8_t>(idx);
    q.shift = shift;
  }
  const lxcsobj *base_of(unsigned i, lxglo *g) {
    if (!base[i]) {
      base[i] = lxhci2h(entry(cs, i).base(), g);
      if (base[i]) {
        dec[i] = lxn::decoder(obj(base[i]));
        enc[i] = lxn::encoder(obj(base[i]));
      }
    }
    return base[i];
  }
  // The sequence that returns to the initial set (empty for entry 0 and
  // for a one-byte set such as the Roman set, which needs none).
  unsigned ret_seq(unsigned cur, uint8_t *out) const {
    if (cur == 0 || entry(cs, cur).blen() == 1) return 0;
    Entry e0 = entry(cs, 0);
    const uint8_t *p = shifting ? e0.shift() : e0.desig();
    unsigned n = shifting ? e0.slen() : e0.dlen();
    if (n > 6) n = 6;
    if (out) memcpy(out, p, n);
    return n;
  }
};

class Engine {
 public:
  Engine(Run &r, lxglo *g) : r_(r), g_(g) {}
  void go();

 private:
  void setup();
  void load_state();
  void store_state();
  Step next(const uint8_t *p, size_t avail, bool more, Ch &c);
  Step next_plain(const uint8_t *p, size_t avail, bool more, Ch &c);
  Step next_ucs(const uint8_t *p, size_t avail, bool more, Ch &c);
  Step next_stateful(const uint8_t *p, size_t avail, Ch &c);
  void designate(unsigned idx);
  void shift_to(unsigned idx);
  unsigned quick_seq(const uint8_t *p, size_t avail);
  Put emit(const Ch &c);
  void stateful_run();
  bool ascii_same_src(unsigned set, const uint8_t *bo);
  uint32_t decode_pair(unsigned set, lxn::dec_fn dec, const uint8_t *bo, const uint8_t *b);
  void stateful_out_run();
  size_t copy_ascii_run(const bool *stops);
  bool ascii_same_dst();
  unsigned set_of(const uint8_t *bb, unsigned bl);
  unsigned place(const uint8_t *bb, unsigned bl, unsigned e, uint8_t &cur, uint8_t &g1,
                 uint8_t *buf) const;
  static unsigned seven_bit(const uint8_t *bb, unsigned bl, uint8_t *buf);
  bool encode_base(const Ch &c, uint8_t *bb, unsigned &bl);
  unsigned close_len() const;
  void close_dst();
  void lone_surrogate(const uint8_t *p, size_t n);
  bool flush_pending();
  void write(const uint8_t *p, size_t n) {
    if (!r_.measure) put_small(r_.dst + r_.out, p, n);
    r_.out += n;
  }
  size_t room() const { return r_.measure ? SIZE_MAX : r_.dstlen - r_.out; }
  bool keep_close() const { return r_.whole || r_.mode == 2; }
  void small() { r_.status = r_.status ? r_.status : LXG_ST_SMALL; }

  Run &r_;
  lxglo *g_;
  lxgcarry &k_ = g_->carry;
  const uint8_t *s_ = nullptr, *d_ = nullptr;
  Side sk_ = Side::Plain, dk_ = Side::Plain;
  Form form_ = Form::Direct;
  bool same_ = false, sshift_ = false, dshift_ = false, rows_ = false, combine_ = false;
  bool raw_base_ = false;  // the source is the stateful destination's base charset
  lxn::dec_fn dec_ = nullptr;
  lxn::enc_fn enc_ = nullptr;
  Stateful ss_, ds_;
  // Shift and set state.
  bool smulti_ = false, dmulti_ = false;
  uint8_t scur_ = 0, sdes_ = 0;      // stateful source: current and designated set
  uint8_t dcur_ = 0, dg1_ = kNoG1;   // stateful destination: current set, G1 set
  unsigned dbase_ = 0;               // stateful destination: entry whose base is in use
  size_t i_ = 0;                     // source bytes consumed
  // What the roads learn once per run (stateful_run, stateful_out_run).
  int8_t sascii_[kEntries];          // a source set's base gives ASCII as itself (-1: not asked)
  int8_t dascii_ = -1;               // the destination's base encodes ASCII as itself
  int memo_set_ = -1;                // the source set whose pairs pair_memo_ keeps
  uint16_t pair_memo_[94 * 94];      // decode_pair's values, 0 for not yet
  bool dranks_ready_ = false;
  lxcsranks dranks_;                 // the destination's base encoder with its row ranks
  uint8_t lead_set_[256];            // set_of's answer by lead byte
};

void Engine::setup() {
  memset(sascii_, -1, sizeof sascii_);
  s_ = obj(r_.scs);
  d_ = obj(r_.dcs);
  sk_ = side_of(s_);
  dk_ = side_of(d_);
  sshift_ = sk_ == Side::Plain && (cs_flags(s_) & CS_SHIFT);
  dshift_ = dk_ == Side::Plain && (cs_flags(d_) & CS_SHIFT);
  same_ = s_ == d_ && sk_ != Side::Stateful;
  if (sshift_ || dshift_)
    form_ = Form::Shift;
  else if (sk_ == Side::Plain && dk_ == Side::Plain &&
           ((utf16_shaped(s_) && code_point(d_)) || (code_point(s_) && utf16_shaped(d_))))
    form_ = Form::Surrogate;
  else if (sk_ == Side::Plain && dk_ != Side::Plain)
    form_ = Form::Surrogate;  // units and stateful text take whole characters
  else
    form_ = Form::Direct;
  if (sk_ == Side::Plain) dec_ = lxn::decoder(s_);
  rows_ = dk_ == Side::Plain && cs_single(d_) && r_.how != Measure::Gb;
  if (dk_ == Side::Plain && !rows_) enc_ = lxn::encoder(d_);
  if (dk_ == Side::Plain) {
    uint16_t id = cs_id(d_);
    combine_ = !cs_single(d_) && !(cs_flags(d_) & CS_SHIFT) &&
               (id == ID_AL32UTF8 || id == ID_GB18030 || (cs_flags(d_) & (CS_CP32 | CS_WIDE)) ||
                id == ID_AL16UTF16LE || id == ID_UTF8 || id == ID_UTFE);
  } else {
    combine_ = true;
  }
  if (sk_ == Side::Stateful) ss_.init(r_.scs);
  if (dk_ == Side::Stateful) {
    ds_.init(r_.dcs);
    if (sk_ == Side::Plain) {
      uint16_t b0 = entry(r_.dcs, 0).base();
      raw_base_ = cs_id(s_) == b0;
    }
  }
}

void Engine::load_state() {
  if (r_.whole) return;
  if (sk_ == Side::Stateful) {
    scur_ = k_.src_shift % kEntries;
    sdes_ = k_.state[0] % kEntries;
  } else if (sshift_) {
    smulti_ = (dk_ == Side::Stateful ? k_.state[1] : k_.src_shift) != 0;
  }
  if (dk_ == Side::Stateful) {
    dcur_ = (k_.dst_shift & 0x0F) % kEntries;
    dg1_ = (k_.dst_shift >> 4) % kEntries;
  } else if (dshift_) {
    dmulti_ = k_.dst_shift != 0;
  }
}

// Each side keeps its state in its own bytes of the carry-over: a stateful
// source its current set (source shift state) and designated set (first
// stateful byte); a stateful destination its current set and G1 set packed
// into the destination shift state; a shift-sensitive source its mode in
// the source shift state, or in the second stateful byte when the
// destination is stateful; a shift-sensitive destination its open run.
void Engine::store_state() {
  if (r_.whole) {
    if (sshift_) lxn::src_shift(g_) = smulti_ ? 1 : 0;
    return;
  }
  if (sk_ == Side::Stateful) {
    k_.src_shift = scur_;
    k_.state[0] = sdes_;
  } else if (sshift_) {
    (dk_ == Side::Stateful ? k_.state[1] : k_.src_shift) = smulti_ ? 1 : 0;
  }
  if (dk_ == Side::Stateful)
    k_.dst_shift = static_cast<uint8_t>(dcur_ | (dg1_ << 4));
  else if (dshift_)
    k_.dst_shift = dmulti_ ? 1 : 0;
}

Step Engine::next(const uint8_t *p, size_t avail, bool more, Ch &c) {
  switch (sk_) {
    case Side::Plain: return next_plain(p, avail, more, c);
    case Side::Ucs: return next_ucs(p, avail, more, c);
    case Side::Stateful: return next_stateful(p, avail, c);
  }
  return Step::Fail;
}

Step Engine::next_plain(const uint8_t *p, size_t avail, bool more, Ch &c) {
  unsigned len;
  if (sshift_) {
    if (p[0] == cs_so(s_)) {
      smulti_ = true;
      c.len = 1;
      return Step::Seq;
    }
    if (p[0] == cs_si(s_)) {
      smulti_ = false;
      c.len = 1;
      return Step::Seq;
    }
    len = smulti_ ? cs_max(s_) : 1u;
  } else if (r_.how == Measure::Gb) {
    len = lxcgbgwt(r_.scs, p, avail, 0);
  } else if (form_ == Form::Direct) {
    len = cs_len(s_, p[0]);
  } else {
    len = measure_la(s_, p, avail);
  }
  // More text may follow: a character whose first bytes announce more than
  // is here (a surrogate pair's first half) waits for the rest.
  if (more && len <= avail && !sshift_ && (r_.how == Measure::Gb || form_ != Form::Direct) &&
      lxcgbgwt(r_.scs, p, avail, LXCGB_FIRSTBYTES) > avail)
    return Step::Short;
  if (len > avail) return Step::Short;
  c.len = len;
  if (same_ || raw_base_) {
    unsigned n = len < kRawMax ? len : kRawMax;
    memcpy(c.raw, p, n);
    c.rawlen = n;
    c.copy = same_;
    c.base = raw_base_;
    return Step::Char;
  }
  c.v = len == 1 ? cs_sbu(s_, p[0]) : lxn::decode(dec_, s_, p, len);
  c.width = form_ == Form::Surrogate ? (len == 1 ? 1u : 2u) : len;
  return Step::Char;
}

Step Engine::next_ucs(const uint8_t *p, size_t avail, bool more, Ch &c) {
  if (avail < 2) return Step::Short;
  uint16_t u = rd16(p);
  c.len = 2;
  c.v = u;
  if (combine_ && is_high(u)) {
    if (avail >= 4) {
      uint16_t lo = rd16(p + 2);
      if (is_low(lo)) {
        c.len = 4;
        c.v = (static_cast<uint32_t>(u) << 16) | lo;
      }
    } else if (more) {
      return Step::Short;
    }
  }
  if (same_) {
    memcpy(c.raw, p, c.len);
    c.rawlen = c.len;
    c.copy = true;
  }
  c.width = 0;
  return Step::Char;
}

// What a stateful source's designation of entry idx does.
void Engine::designate(unsigned idx) {
  if (entry(ss_.cs, idx).single()) {
    // a set reached by single shifts: its designation changes no state
  } else if (ss_.shifting) {
    sdes_ = static_cast<uint8_t>(idx);
    if (scur_ != 0) scur_ = static_cast<uint8_t>(idx);  // takes effect at once when shifted out
  } else {
    scur_ = static_cast<uint8_t>(idx);
  }
}

// What a stateful source's locking shift of entry idx does: out to the
// designated set, or in to the initial one.
void Engine::shift_to(unsigned idx) {
  if (idx != 0) {
    if (sdes_ != 0) scur_ = sdes_;
  } else if (scur_ != 0) {
    sdes_ = scur_;
    scur_ = 0;
  }
}

// A sequence of the source at p that the step would take as one of the
// set's plain sequences (Stateful::quick), with its effect on the state:
// its length, or 0 when the step must look. The source must hold the
// longest sequence, so that none is cut off.
unsigned Engine::quick_seq(const uint8_t *p, size_t avail) {
  if (avail < kSeqMax) return 0;
  for (unsigned q = 0; q < ss_.nquick; ++q) {
    const Stateful::Quick &k = ss_.quick[q];
    unsigned m = 0;
    while (m < k.len && p[m] == k.bytes[m]) ++m;
    if (m < k.len) continue;
    if (k.shift)
      shift_to(k.idx);
    else
      designate(k.idx);
    return k.len;
  }
  return 0;
}

Step Engine::next_stateful(const uint8_t *p, size_t avail, Ch &c) {
  const lxcsobj *cs = ss_.cs;
  unsigned idx = 0;
  bool seq = ss_.starts[p[0]];
  if (seq && lx2seq(cs, p, &idx, 0, avail)) {
    unsigned len = entry(cs, idx).dlen();
    if (len > avail) return Step::Short;
    designate(idx);
    c.len = len;
    return Step::Seq;
  }
  unsigned take = 0;  // sequence bytes before the character
  unsigned set = scur_;
  if (seq && ss_.shifting && lx2seq(cs, p, &idx, 1, avail)) {
    Entry e = entry(cs, idx);
    unsigned len = e.slen();
    if (len > avail) return Step::Short;
    if (!e.single()) {
      shift_to(idx);
      c.len = len;
      return Step::Seq;
    }
    take = len;
    set = idx;
  }
  if (ss_.doubled >= 0 && set == 0 && p[0] == ss_.doubled) {
    if (avail < 2) return Step::Short;  // resolved by the next byte
    if (p[1] == ss_.doubled) take = 1;  // "~~" stands for "~"
  }
  Entry e = entry(cs, set);
  unsigned blen = e.blen();
  const uint8_t *pat = e.pattern();
  bool one = blen <= 1 || (blen == 2 && pat[0] >= 0x80 && pat[0] <= 0x9F);
  unsigned need = take + (one ? 1u : 2u);
  if (need > avail) return Step::Short;
  const uint8_t *q = p + take;
  uint8_t *b = c.raw;
  switch (blen) {
    case 0:
    case 1: b[0] = q[0]; blen = 1; break;
    case 2:
      if (one) {
        b[0] = pat[0];
        b[1] = q[0] | 0x80;
      } else {
        b[0] = q[0] | 0x80;
        b[1] = q[1] | 0x80;
      }
      break;
    case 3:
      b[0] = pat[0];
      b[1] = q[0] | 0x80;
      b[2] = q[1] | 0x80;
      break;
    default:
      blen = 4;
      b[0] = pat[0];
      b[1] = pat[1];
      b[2] = q[0] | 0x80;
      b[3] = q[1] | 0x80;
      break;
  }
  c.rawlen = blen;
  c.len = need;
  const lxcsobj *base = ss_.base_of(set, g_);
  if (!base) return Step::Fail;
  if (base == r_.dcs && dk_ == Side::Plain) {
    c.copy = true;
    return Step::Char;
  }
  const uint8_t *bo = obj(base);
  c.v = blen == 1 ? cs_sbu(bo, b[0]) : lxn::decode(ss_.dec[set], bo, b, blen);
  c.width = blen == 1 ? 1u : 2u;
  return Step::Char;
}

// Whole runs out of a stateful source (lxg2cnv): the characters of the
// current set up to the next sequence byte go through the set's base
// decoder and the destination's encoder straight into the output, without
// the per-character step and its scratch copies; ASCII copied as runs where
// the set's base gives it as itself, and AL32UTF8 written inline. Between
// runs, a sequence that tells itself apart by its bytes (quick_seq) takes
// effect at once. For each character and sequence it takes it must equal
// next_stateful followed by emit; it leaves to the step every other
// sequence or shift byte, HZ's "~", a base form other than one or two
// bytes, a cut-off character and one that does not fit.
// Copies the ASCII run at the source position as itself, up to the first
// byte that stops marks or the end of the output's room; the bytes copied.
size_t Engine::copy_ascii_run(const bool *stops) {
  const uint8_t *s = r_.src + i_;
  const size_t lim = std::min(r_.srclen - i_, r_.dstlen - r_.out);
  size_t k = 0;
  while (k < lim && !stops[s[k]]) ++k;
  memcpy(r_.dst + r_.out, s, k);
  r_.out += k;
  i_ += k;
  r_.chars += k;
  r_.srcchars += k;
  return k;
}

void Engine::stateful_run() {
  const size_t n = r_.srclen;
  const uint8_t *s = r_.src;
  const bool ascii_out = cs_id(d_) == ID_AL32UTF8 || cs_id(d_) == ID_UTF8;
  const bool utf8_out = cs_id(d_) == ID_AL32UTF8;
  int16_t &mark = lxn::mark(g_);
  uint8_t tmp[kRawMax];
  while (i_ < n) {
    const unsigned set = scur_;
    Entry e = entry(ss_.cs, set);
    const unsigned blen = e.blen();
    const uint8_t *pat = e.pattern();
    const bool pair = blen == 2 && !(pat[0] >= 0x80 && pat[0] <= 0x9F);
    if (blen > 1 && !pair) return;
    const lxcsobj *base = ss_.base_of(set, g_);
    if (!base || base == r_.dcs) return;
    const uint8_t *bo = obj(base);
    const lxn::dec_fn dec = ss_.dec[set];
    const unsigned step = pair ? 2 : 1;
    const int doubled = set == 0 ? ss_.doubled : -1;
    const bool runs = !pair && ascii_out && ascii_same_src(set, bo);
    for (;;) {
      if (i_ >= n) return;
      const uint8_t c0 = s[i_];
      if (ss_.starts[c0] || c0 == doubled) break;
      if (runs && c0 < kAscii) {
        // a run of ASCII as itself, up to the next sequence byte (a doubled
        // byte stops it in any set: the step then takes it)
        if (copy_ascii_run(ss_.stops) > 0) continue;
      }
      if (n - i_ < step) return;
      uint32_t v;
      if (pair) {
        const uint8_t b[2] = {static_cast<uint8_t>(c0 | 0x80), static_cast<uint8_t>(s[i_ + 1] | 0x80)};
        v = decode_pair(set, dec, bo, b);
      } else {
        v = cs_sbu(bo, c0);
      }
      const size_t rm = r_.dstlen - r_.out;
      uint8_t *d = r_.dst + r_.out;
      unsigned k;
      if (v < kAscii && ascii_out) {
        if (rm < 1) return;
        d[0] = static_cast<uint8_t>(v);
        k = 1;
      } else if (utf8_out && (k = utf8_len(v)) != 0) {
        // what the AL32UTF8 encoder writes for it, unmarked
        if (rm < k) return;
        put_utf8(d, v, k);
      } else {
        const int16_t keep = mark;
        k = lxn::encode(enc_, d_, rm >= kRawMax ? d : tmp, v, pair ? 2u : 1u, g_);
        if (rm < kRawMax) {
          if (k > rm) {
            mark = keep;  // not written: the step finds it does not fit
            return;
          }
          memcpy(d, tmp, k);
        }
      }
      r_.out += k;
      i_ += step;
      ++r_.chars;
      ++r_.srcchars;
    }
    // a sequence or shift, taken at once or by the step; then the run goes on
    if (const unsigned len = quick_seq(s + i_, n - i_)) {
      i_ += len;
      continue;
    }
    Ch c;
    Step st = next(s + i_, n - i_, false, c);
    if (st != Step::Seq) return;
    i_ += c.len;
  }
}

// The value of a two-byte character of a source set's base (b, both bytes
// with the high bit set), as the base decoder gives it; the values of the
// first set decoded in a long run are kept by their 94 x 94 position.
uint32_t Engine::decode_pair(unsigned set, lxn::dec_fn dec, const uint8_t *bo, const uint8_t *b) {
  constexpr unsigned kFirst = 0xA1, kSide = 94;
  const unsigned r = b[0] - kFirst, c = b[1] - kFirst;
  if (r >= kSide || c >= kSide || r_.srclen < kPairMemoMin) return lxn::decode(dec, bo, b, 2);
  if (memo_set_ < 0) {
    memo_set_ = static_cast<int>(set);
    memset(pair_memo_, 0, sizeof pair_memo_);
  }
  if (memo_set_ != static_cast<int>(set)) return lxn::decode(dec, bo, b, 2);
  uint16_t &slot = pair_memo_[r * kSide + c];
  if (slot == 0) {
    const uint32_t v = lxn::decode(dec, bo, b, 2);
    if (v == 0 || v > 0xFFFF) return v;  // not kept: 0 marks an empty slot
    slot = static_cast<uint16_t>(v);
  }
  return slot;
}

// Whether a source set's base charset gives every ASCII byte as itself, so
// that stateful_run copies such bytes; asked once per set and run, and only
// of a long source.
bool Engine::ascii_same_src(unsigned set, const uint8_t *bo) {
  if (sascii_[set] < 0) {
    bool same = r_.srclen >= kProbeMin;
    for (unsigned b = 0; b < kAscii && same; ++b) same = cs_sbu(bo, static_cast<uint8_t>(b)) == b;
    sascii_[set] = same ? 1 : 0;
  }
  return sascii_[set] != 0;
}

// Whole runs of AL32UTF8 text into a stateful set of one base charset
// (lxg2cnv): each character is encoded by the base charset through its row
// ranks and goes out with the sequences that select its set (place), as
// emit would write them, straight into the output; runs of ASCII that the
// current set takes as themselves are copied. For each character it takes
// it must equal next_plain followed by emit; it leaves to the step a
// character the base lacks (the step marks it and writes the replacement),
// one of a set reached by single shifts, a cut-off or invalid character and
// one that does not fit with the closing sequence.
void Engine::stateful_out_run() {
  const size_t n = r_.srclen;
  const uint8_t *s = r_.src;
  const lxcsobj *base = ds_.base_of(dbase_, g_);
  if (!base) return;
  if (!dranks_ready_) {
    lxcsranksinit(&dranks_, base);
    memset(lead_set_, kLeadUnknown, sizeof lead_set_);
    dranks_ready_ = true;
  }
  const lxcsobj *cs = ds_.cs;
  int16_t &mark = lxn::mark(g_);
  unsigned close = ds_.ret_seq(dcur_, nullptr);  // what the current set needs to close
  while (i_ < n) {
    if (s[i_] < kAscii && (dcur_ == 0 || entry(cs, dcur_).blen() == 1) && ascii_same_dst()) {
      // ASCII in a set that takes it: no sequence and none to close
      if (copy_ascii_run(ds_.stops) > 0) continue;
    }
    unsigned len;
    const uint32_t v = utf8_value(s + i_, s + n, len);
    if (len == 0) return;
    const int16_t keep = mark;
    mark = 0;
    uint8_t bb[kRawMax * 2];
    const unsigned bl = lxcsu2mr(&dranks_, bb, v, len == 1 ? 1u : 2u, g_);
    const bool lost = mark != 0;
    mark = keep;
    if (lost || bl == 0) return;
    const bool multi = bb[0] >= kAscii;
    const unsigned e = multi ? set_of(bb, bl) : 0;
    uint8_t buf[kOutMax];
    if (multi && e == dcur_ && (!ds_.shifting || (dg1_ == e && dcur_ != 0))) {
      // a character of the current set: its 7-bit bytes alone
      const unsigned k = seven_bit(bb, bl, buf);
      if (k + close > r_.dstlen - r_.out) return;
      put_small(r_.dst + r_.out, buf, k);
      r_.out += k;
    } else {
      if (multi && ds_.shifting && entry(cs, e).single()) return;
      uint8_t cur = dcur_, g1 = dg1_;
      const unsigned k = place(bb, bl, e, cur, g1, buf);
      const unsigned to_close = ds_.ret_seq(cur, nullptr);
      if (k + to_close > r_.dstlen - r_.out) return;
      memcpy(r_.dst + r_.out, buf, k);
      r_.out += k;
      dcur_ = cur;
      dg1_ = g1;
      close = to_close;
    }
    i_ += len;
    ++r_.chars;
    ++r_.srcchars;
  }
}

// Whether the destination's base encodes every ASCII character as itself,
// unmarked: asked once per run, and only of a long source.
bool Engine::ascii_same_dst() {
  if (dascii_ < 0) {
    bool same = r_.srclen >= kProbeMin;
    int16_t &mark = lxn::mark(g_);
    const int16_t keep = mark;
    mark = 0;
    uint8_t out[kRawMax * 2];
    for (unsigned b = 0; b < kAscii && same; ++b)
      same = lxcsu2mr(&dranks_, out, b, 1, g_) == 1 && out[0] == b && mark == 0;
    mark = keep;
    dascii_ = same ? 1 : 0;
  }
  return dascii_ != 0;
}

// The entry whose base form the bytes bb[0..bl) (not ASCII) are, as emit
// finds it: the current set when the patterns name none. A set with no
// four-byte pattern is told by the lead byte alone, so each lead byte's
// answer is kept for the run.
unsigned Engine::set_of(const uint8_t *bb, unsigned bl) {
  uint8_t &known = lead_set_[bb[0]];
  if (known == kLeadUnknown || ds_.four) {
    unsigned e = 0;
    known = lx2seq(ds_.cs, bb, &e, 2, bl) ? static_cast<uint8_t>(e) : kLeadNoSet;
  }
  return known == kLeadNoSet ? dcur_ : known;
}

// The output of one character of the stateful destination given in its
// base charset (bb[0..bl), bl > 0, of entry e when not ASCII): the
// sequences that select its set from the state cur and g1, which it
// updates, then its 7-bit bytes. Returns the bytes written to buf.
unsigned Engine::place(const uint8_t *bb, unsigned bl, unsigned e, uint8_t &cur, uint8_t &g1,
                       uint8_t *buf) const {
  const lxcsobj *cs = ds_.cs;
  unsigned k = 0;
  if (bb[0] < kAscii) {
    if (cur != 0 && entry(cs, cur).blen() != 1) {
      k += ds_.ret_seq(cur, buf + k);
      cur = 0;
    }
    buf[k++] = bb[0];
    if (ds_.doubled >= 0 && bb[0] == ds_.doubled) buf[k++] = bb[0];
    // Designations of a set with several base charsets last to the end
    // of a line.
    if (ds_.shifting && !ds_.onebase && (bb[0] == '\n' || bb[0] == '\r')) g1 = kNoG1;
    return k;
  }
  Entry en = entry(cs, e);
  auto put = [&](const uint8_t *p, unsigned n) {
    if (n > kSeqMax) n = kSeqMax;
    memcpy(buf + k, p, n);
    k += n;
  };
  if (ds_.shifting) {
    if (en.single()) {
      put(en.desig(), en.dlen());
      put(en.shift(), en.slen());
    } else {
      if (g1 != e) {
        put(en.desig(), en.dlen());
        g1 = static_cast<uint8_t>(e);
      }
      if (cur == 0) put(en.shift(), en.slen());
      cur = static_cast<uint8_t>(e);
    }
  } else if (cur != e) {
    put(en.desig(), en.dlen());
    cur = static_cast<uint8_t>(e);
  }
  return k + seven_bit(bb, bl, buf + k);
}

// The 7-bit bytes of a character given in the base charset (bb[0..bl), not
// ASCII): its last two bytes, the first of them left out below 0x21, or its
// one byte. Returns the bytes written to buf.
unsigned Engine::seven_bit(const uint8_t *bb, unsigned bl, uint8_t *buf) {
  constexpr uint8_t kLow7 = 0x7F, kFirstGraphic = 0x21;
  unsigned k = 0;
  if (bl >= 2) {
    const uint8_t a = bb[bl - 2] & kLow7, b = bb[bl - 1] & kLow7;
    if (a >= kFirstGraphic) buf[k++] = a;
    buf[k++] = b;
  } else {
    buf[k++] = bb[0] & kLow7;
  }
  return k;
}

// Encodes the character into the stateful destination's base charset,
// trying every other base charset of the set when the current one lacks it.
bool Engine::encode_base(const Ch &c, uint8_t *bb, unsigned &bl) {
  if (c.base) {
    memcpy(bb, c.raw, c.rawlen);
    bl = c.rawlen;
    return true;
  }
  int16_t keep = lxn::mark(g_);
  const lxcsobj *base = ds_.base_of(dbase_, g_);
  if (!base) return false;
  const uint8_t *bo = obj(base);
  lxn::mark(g_) = 0;
  bl = lxn::encode(ds_.enc[dbase_], bo, bb, c.v, c.width, g_);
  bool lost = lxn::mark(g_) != 0;
  if (lost && !ds_.onebase) {
    uint16_t tried[kEntries];
    unsigned ntried = 0;
    tried[ntried++] = entry(ds_.cs, dbase_).base();
    for (unsigned j = 0; j < kEntries && lost; ++j) {
      Entry e = entry(ds_.cs, j);
      if (j != 0 && e.dlen() == 0 && e.slen() == 0) continue;
      bool seen = false;
      for (unsigned t = 0; t < ntried; ++t) seen = seen || tried[t] == e.base();
      if (seen) continue;
      tried[ntried++] = e.base();
      const lxcsobj *other = ds_.base_of(j, g_);
      if (!other) continue;  // a base that cannot be loaded is skipped
      const uint8_t *oo = obj(other);
      uint8_t alt[8];
      lxn::mark(g_) = 0;
      unsigned al = lxn::encode(ds_.enc[j], oo, alt, c.v, c.width, g_);
      if (lxn::mark(g_) == 0) {
        memcpy(bb, alt, al);
        bl = al;
        dbase_ = j;
        lost = false;
      }
    }
  }
  lxn::mark(g_) = lost ? static_cast<int16_t>(LX_REPMARK) : keep;
  return true;
}

unsigned Engine::close_len() const {
  if (dk_ == Side::Stateful) return ds_.ret_seq(dcur_, nullptr);
  return dshift_ && dmulti_ ? 1u : 0u;
}

// Writes the closing shift-in or return sequence when it fits.
void Engine::close_dst() {
  unsigned n = close_len();
  if (n == 0) {
    if (dk_ == Side::Stateful && dcur_ != 0 && entry(ds_.cs, dcur_).blen() != 1 && !r_.status)
      r_.status = LXG_ST_NORETURN;
    if (dk_ == Side::Stateful && entry(ds_.cs, dcur_).blen() == 1) dcur_ = 0;
    return;
  }
  if (room() < n) {
    small();
    return;
  }
  uint8_t seq[8];
  if (dk_ == Side::Stateful) {
    ds_.ret_seq(dcur_, seq);
    dcur_ = 0;
  } else {
    seq[0] = cs_si(d_);
    dmulti_ = false;
  }
  write(seq, n);
}

Put Engine::emit(const Ch &c) {
  // The mark tells of a replacement written: a character that goes back to
  // the source, or is dropped, leaves it as it was.
  const int16_t mark = lxn::mark(g_);
  uint8_t buf[kOutMax];
  const uint8_t *from = buf;  // the character's output: from[0..k)
  unsigned k = 0, close = 0, cnt = 1;
  bool ndmulti = dmulti_;
  uint8_t ndcur = dcur_, ndg1 = dg1_;
  unsigned ndbase = dbase_;
  switch (dk_) {
    case Side::Plain: {
      // The character goes to buf + 1, leaving room for a shift byte before it.
      uint8_t *at = buf + 1;
      unsigned n;
      if (c.copy) {
        n = c.rawlen;
        memcpy(at, c.raw, n);
      } else if (rows_) {
        at[0] = lxcsu2sb(lxn::csobj(d_), c.v, g_);
        n = 1;
      } else {
        n = lxn::encode(enc_, d_, at, c.v, c.width, g_);
      }
      from = at;
      k = n;
      if (dshift_) {
        bool multi = n >= 2;
        if (multi != dmulti_) {
          buf[0] = multi ? cs_so(d_) : cs_si(d_);
          from = buf;
          ++k;
        }
        ndmulti = multi;
        close = multi ? 1 : 0;
      }
      uint32_t df = cs_flags(d_);
      if ((form_ != Form::Direct || r_.how == Measure::Gb) &&
          ((n == 4 && ((df & CS_WIDE) || cs_id(d_) == ID_AL16UTF16LE)) || (n == 6 && (df & CS_SIX))))
        cnt = 2;
      break;
    }
    case Side::Ucs: {
      if (c.copy) {
        memcpy(buf, c.raw, c.rawlen);
        k = c.rawlen;
        cnt = k / 2;
        break;
      }
      uint16_t u[2];
      unsigned nu = 0;
      if (c.v > 0xFFFF) u[nu++] = static_cast<uint16_t>(c.v >> 16);
      u[nu++] = static_cast<uint16_t>(c.v);
      if (u[nu - 1] == 0xFFFD) lxn::mark(g_) = LX_REPMARK;
      memcpy(buf, u, 2 * nu);
      k = 2 * nu;
      cnt = nu;
      break;
    }
    case Side::Stateful: {
      uint8_t bb[16];
      unsigned bl = 0;
      unsigned save = dbase_;
      if (!encode_base(c, bb, bl)) return Put::Fail;
      ndbase = dbase_;
      dbase_ = save;
      if (bl == 0) return Put::Done;
      unsigned e = 0;
      if (bb[0] >= kAscii && !lx2seq(ds_.cs, bb, &e, 2, bl)) e = ndcur;  // the set found last
      k = place(bb, bl, e, ndcur, ndg1, buf);
      close = ds_.ret_seq(ndcur, nullptr);
      break;
    }
  }
  auto commit = [&] {
    dmulti_ = ndmulti;
    dcur_ = ndcur;
    dg1_ = ndg1;
    dbase_ = ndbase;
  };
  size_t rm = room();
  if (k + (keep_close() ? close : 0) <= rm) {
    if (r_.chars + cnt > r_.outchar_lim) {
      lxn::mark(g_) = mark;
      small();
      return Put::NoRoom;
    }
    write(from, k);
    commit();
    r_.chars += cnt;
    return Put::Done;
  }
  // A split character counts toward the call that writes its last byte, so
  // the character limit does not hold it back.
  small();
  size_t rest = k - rm;
  if (r_.whole || rm == 0 || r_.mode == 2 || rest > kPending) {
    // not written: back to the source, or dropped in mode 2
    lxn::mark(g_) = mark;
    if (r_.whole || rm == 0) return Put::NoRoom;
    if (r_.mode == 2) return Put::Dropped;
    return Put::NoRoom;  // the pending bytes cannot hold the rest
  }
  write(from, rm);
  memcpy(k_.pending, from + rm, rest);
  k_.npending = static_cast<uint8_t>(rest);
  commit();
  return Put::Split;
}

// Modes 1 and 2: a lone surrogate dropped at the end of a UTF-16 shaped
// source goes out as one unit when the destination holds units.
void Engine::lone_surrogate(const uint8_t *p, size_t n) {
  if (sk_ != Side::Plain || r_.whole) return;
  uint16_t sid = cs_id(s_);
  bool wide = (cs_flags(s_) & CS_WIDE) || sid == ID_AL16UTF16LE;
  unsigned ulen = wide ? 2 : (sid == ID_UTF8 ? 3 : 0);
  if (ulen == 0 || n < ulen) return;
  bool dunits = dk_ == Side::Ucs || (dk_ == Side::Plain && ((cs_flags(d_) & (CS_WIDE | CS_SIX)) ||
                                                           cs_id(d_) == ID_AL16UTF16LE));
  if (!dunits) return;
  Ch c;
  c.len = static_cast<unsigned>(n);
  c.v = lxn::decode(dec_, s_, p, ulen);
  c.width = 2;
  emit(c);
}

bool Engine::flush_pending() {
  size_t np = k_.npending;
  if (np == 0) return true;
  size_t closing = dk_ == Side::Stateful ? close_len() : (dshift_ ? 1u : 0u);
  if (r_.mode == 2 && r_.dstlen < np + closing) {
    r_.status = LXG_ST_SMALL;
    r_.refused = true;
    return false;
  }
  size_t put = np < r_.dstlen ? np : r_.dstlen;
  write(k_.pending, put);
  if (put < np) {
    memmove(k_.pending, k_.pending + put, np - put);
    k_.npending = static_cast<uint8_t>(np - put);
    r_.status = LXG_ST_SMALL;
    return false;
  }
  k_.npending = 0;
  r_.chars += 1;
  return true;
}

void Engine::go() {
  setup();
  load_state();
  const size_t n = r_.srclen;
  bool stop = false, exhausted = false;
  if (!r_.whole && !flush_pending()) return;
  // A source character held from the previous call, completed with the
  // first bytes of this one.
  while (!r_.whole && k_.ncarried && !stop) {
    uint8_t tmp[kCarried + kRawMax];
    size_t nc = k_.ncarried;
    size_t more = n - i_ < kRawMax ? n - i_ : kRawMax;
    memcpy(tmp, k_.carried, nc);
    memcpy(tmp + nc, r_.src + i_, more);
    bool rest_follows = i_ + more < n;
    Ch c;
    Step st = next(tmp, nc + more, rest_follows || r_.mode == 0, c);
    if (st == Step::Fail) {
      r_.status = LXG_ST_NOCS;
      stop = true;
      break;
    }
    if (st == Step::Short) {
      assert(!rest_follows);
      i_ = n;
      if (r_.mode == 0 && nc + more <= kCarried) {
        memcpy(k_.carried, tmp, nc + more);
        k_.ncarried = static_cast<uint8_t>(nc + more);
      } else {
        k_.ncarried = 0;
        lone_surrogate(tmp, nc + more);
      }
      exhausted = true;
      stop = true;
      break;
    }
    if (st == Step::Char) {
      Put p = emit(c);
      if (p == Put::Fail) {
        r_.status = LXG_ST_NOCS;
        stop = true;
        break;
      }
      if (p == Put::NoRoom) {
        stop = true;
        break;
      }
      ++r_.srcchars;
      if (p != Put::Done) stop = true;
    }
    if (c.len >= nc) {
      i_ += c.len - nc;
      k_.ncarried = 0;
    } else {
      memmove(k_.carried, k_.carried + c.len, nc - c.len);
      k_.ncarried = static_cast<uint8_t>(nc - c.len);
    }
  }
  if (!stop && sk_ == Side::Ucs && !r_.whole && (reinterpret_cast<uintptr_t>(r_.src + i_) & 1u)) {
    r_.status = LXG_ST_MISALIGNED;
    r_.refused = true;
    return;
  }
  bool more = !r_.whole && r_.mode == 0;
  // A whole GB18030 run with no binding character limit takes the road of
  // its pair (lxgroad.cpp) ahead of each step.
  Road road;
  if (r_.whole && !r_.measure && r_.how == Measure::Gb && sk_ == Side::Plain && dk_ == Side::Plain &&
      !sshift_ && !dshift_ && r_.outchar_lim >= r_.dstlen && r_.srcchar_lim >= n)
    road_setup_gb(road, s_, d_, g_);
  const bool stateful_road = r_.whole && !r_.measure && sk_ == Side::Stateful && dk_ == Side::Plain &&
                             !dshift_ && !rows_ && r_.outchar_lim == SIZE_MAX &&
                             r_.srcchar_lim == SIZE_MAX && !general_only();
  const bool stateful_out_road = r_.whole && !r_.measure && sk_ == Side::Plain &&
                                 dk_ == Side::Stateful && ds_.onebase && !raw_base_ && !sshift_ &&
                                 cs_id(s_) == ID_AL32UTF8 && !(cs_flags(s_) & (CS_WIDE | CS_CP32)) &&
                                 utf8_usual(s_) && r_.outchar_lim == SIZE_MAX &&
                                 r_.srcchar_lim == SIZE_MAX && !general_only();
  while (!stop && i_ < n) {
    if (stateful_road) {
      stateful_run();
      if (i_ >= n) break;
    }
    if (stateful_out_road) {
      stateful_out_run();
      if (i_ >= n) break;
    }
    if (road.kind != Road::None) {
      size_t k = road_run(road, r_.src, n, i_, r_.dst, r_.dstlen, r_.out, g_);
      r_.chars += k;
      r_.srcchars += k;
      if (i_ >= n) break;
    }
    Ch c;
    Step st = next(r_.src + i_, n - i_, more, c);
    if (st == Step::Seq) {
      i_ += c.len;
      continue;
    }
    if (st == Step::Fail) {
      r_.status = LXG_ST_NOCS;
      break;
    }
    if (st == Step::Short) {
      if (r_.whole) {
        exhausted = true;  // an incomplete last character is left, with no status
        break;
      }
      size_t left = n - i_;
      if (r_.mode == 0 && left <= kCarried) {
        memcpy(k_.carried, r_.src + i_, left);
        k_.ncarried = static_cast<uint8_t>(left);
      } else {
        lone_surrogate(r_.src + i_, left);
      }
      i_ = n;
      break;
    }
    if (r_.srcchars >= r_.srcchar_lim) {
      small();
      break;
    }
    Put p = emit(c);
    if (p == Put::Fail) {
      r_.status = LXG_ST_NOCS;
      break;
    }
    if (p == Put::NoRoom) break;
    i_ += c.len;
    ++r_.srcchars;
    if (p != Put::Done) break;
  }
  if (i_ == n) exhausted = true;
  if (r_.whole) {
    close_dst();
  } else if (r_.mode == 2 || (r_.mode == 1 && exhausted)) {
    close_dst();
    smulti_ = false;
    scur_ = sdes_ = 0;
    // A closed text leaves no designation behind for the next one.
    if (dcur_ == 0) dg1_ = kNoG1;
    if (r_.mode == 2) {
      k_.ncarried = 0;
      k_.npending = 0;
      dmulti_ = false;
      dcur_ = 0;
      dg1_ = kNoG1;
    }
  }
  if (i_ < n && !(r_.whole && exhausted)) small();
  store_state();
  r_.consumed = i_;
}

}  // namespace

void run(Run &r, lxglo *g) {
  Engine e(r, g);
  e.go();
}

}  // namespace lxg
