// Calendar information for the date renderer: names, description and default
// format of the calendar, month and era texts in the handle's character set,
// era days, matching of month and era names at a cursor; and the calendar
// lookup by name behind NLS_CALENDAR.
#include <cstring>

#include "lst.h"
#include "lxccodec.h"
#include "lxe.h"
#include "lxeint.h"
#include "lxfglo.h"
#include "lxg.h"
#include "lxlget.h"
#include "lxlname.h"
#include "lxo.h"
#include "lxp.h"

namespace {

constexpr size_t kMatchInput = 256;    // input bytes a match looks at
constexpr size_t kTextRoom = 4 * kMatchInput;
constexpr int kNumKinds = LXE_I_LAST + 1;
constexpr char kGregorian[] = "GREGORIAN";
constexpr uint32_t kMatchFlags = LXO_NULTERM | LXO_CMP_NOCASE;  // names match ignoring case

// The character sets of a request: the handle's (cs) and the calendar's
// (cc), and whether texts in cc must be converted.
struct Sets {
  const lxcsobj *cs = nullptr;
  const lxcsobj *cc = nullptr;
  bool convert = false;
};

bool load_sets(const lxlangid *h, lxglo *g, Sets *s) {
  s->convert = h->cal_cs != 0 && h->cal_cs != h->cs;
  if (!s->convert) return true;
  s->cs = lxn::csobj(lxn::get(h->cs, LXP_TYPE_CHARSET, g));
  s->cc = lxn::csobj(lxn::get(h->cal_cs, LXP_TYPE_CHARSET, g));
  return s->cs && s->cc;
}

// Writes a text result: never past the request's length, always terminated;
// length 0 only reports the length the text needs (converted when it must
// be).
int put_text(const lxlangid *h, lxeireq *req, const Sets &sets, bool in_cc, const char *text,
             size_t len) {
  lxglo *g = req->glo;
  if (in_cc && sets.convert) {
    if (req->len == 0) {
      char tmp[kTextRoom];
      req->len = uint16_t(lxgcnv(tmp, sets.cs, sizeof tmp, text, sets.cc, len, g));
    } else {
      size_t n = lxgcnv(req->out.text, sets.cs, req->len - 1u, text, sets.cc, len, g);
      req->out.text[n] = 0;
      req->len = uint16_t(n);
    }
    g->status = 0;
    return 1;
  }
  if (req->len == 0) {
    req->len = uint16_t(len);
    return 1;
  }
  size_t n = lxsCpStr(req->out.text, req->len - 1u, text, len, LXO_EXACTLEN, h, g);
  req->out.text[n] = 0;
  req->len = uint16_t(n);
  return 1;
}

// Era n's text i (LXE_T_*) into buf (31 bytes); false when there is no era n.
bool era_text(const lxecal *cal, int n, int i, char *buf, size_t *len, lxeera *era) {
  *era = lxeera{};
  era->text[i] = buf;
  if (!lxegera(cal, n, era)) return false;
  *len = era->len[i];
  return true;
}

// The matching kinds: which candidates and which of their texts.
struct MatchKind {
  bool months;
  int text;  // month: 0 name, 1 abbreviation; era: LXE_T_*
};
MatchKind match_kind(int kind) {
  switch (kind) {
    case LXE_I_MATCH_MONABBR: return {true, 1};
    case LXE_I_MATCH_MONNAME: return {true, 0};
    case LXE_I_MATCH_ERAABBR: return {false, LXE_T_ABBR};
    case LXE_I_MATCH_ERANAME: return {false, LXE_T_NAME};
    case LXE_I_MATCH_ERAABBR2: return {false, LXE_T_ABBR2};
    default: return {false, LXE_T_NAME2};
  }
}

// The bytes of a NUL character: a zero unit in a wide-unit set.
size_t nul_bytes(const lxlangid *h) { return (h->flags & LXH_F_WIDE) ? 2u : 1u; }

// The n bytes copied to the cursor out at text end with the source's NUL.
bool ends_at_nul(const lxlangid *h, const lxmcur &out, const char *text, size_t n) {
  const size_t z = nul_bytes(h);
  if (n < z || (out.shift_sensitive && out.shifted)) return false;
  return text[n - 1] == 0 && text[n - z] == 0;
}

bool is_match(int kind) {
  return kind == LXE_I_MATCH_MONABBR || kind == LXE_I_MATCH_MONNAME ||
         kind == LXE_I_MATCH_ERAABBR || kind == LXE_I_MATCH_ERANAME ||
         kind == LXE_I_MATCH_ERAABBR2 || kind == LXE_I_MATCH_ERANAME2;
}

// Matches a month or era text at the request's cursor (in the handle's set):
// the first candidate the input begins with, ignoring case. Empty candidates
// (a calendar without abbreviations) never match.
int match(const lxlangid *h, const lxecal *cal, lxeireq *req, int kind, const Sets &sets) {
  lxglo *g = req->glo;
  if (!req->in.cur) return 0;
  // The input: up to 256 bytes from a copy of the cursor, terminated.
  char input[kMatchInput + 2] = {};
  lxmcur in = *req->in.cur, out;
  lxmopen(input, kMatchInput, &out, h, g, 1);
  size_t n = lxoCpStr(&out, kMatchInput, &in, lxmleft(&in), LXO_NULTERM, g);
  if (ends_at_nul(h, out, input, n)) n -= nul_bytes(h);
  if (out.shift_sensitive && out.shifted) input[n++] = char(h->shift_in);
  input[n] = 0;
  // Compare in the calendar's set, under a copy of the handle set to it.
  lxlangid cmp = *h;
  const char *text = input;
  char conv[kMatchInput];
  if (sets.convert) {
    n = lxgcnv(conv, sets.cc, kMatchInput - 1, input, sets.cs, n, g);
    conv[n] = 0;
    text = conv;
    if (!lxpcset(h->cal_cs, &cmp, g)) return 0;
  }
  const MatchKind mk = match_kind(kind);
  int found = -1;
  const char *cand = nullptr;
  size_t clen = 0;
  char buf[LXE_NAME_FIELD];
  if (mk.months) {
    for (int m = cal->nmonths; m >= 1 && found < 0; --m) {
      const lxemon &row = cal->months[m - 1];
      cand = mk.text ? row.abbr : row.name;
      clen = mk.text ? row.abbr_len : row.name_len;
      if (clen && clen <= n && lxsCmpStr(text, clen, cand, clen, kMatchFlags, &cmp, g) == 0)
        found = row.num;
    }
  } else {
    lxeera era;
    for (int e = 0; found < 0 && era_text(cal, e, mk.text, buf, &clen, &era); ++e) {
      cand = buf;
      if (clen && clen <= n && lxsCmpStr(text, clen, cand, clen, kMatchFlags, &cmp, g) == 0)
        found = e;
    }
  }
  g->status = 0;
  if (found < 0) return 0;
  size_t len = clen;
  if (sets.convert) {
    char back[kTextRoom];
    len = lxgcnv(back, sets.cs, sizeof back, cand, sets.cc, clen, g);
  }
  const size_t chars = lxsCntChar(cand, clen, LXO_SKIP_UNITS, &cmp, g);
  lxoSkip(req->in.cur, chars, LXO_EXACTLEN | LXO_SKIP_UNITS, g);
  g->status = 0;
  req->out.num = found;
  req->len = uint16_t(len);
  return 1;
}

}  // namespace

extern "C" {

int lxeifnd(const lxlangid *h, lxeireq *req, int kind) {
  if (!req || !req->glo) return 0;
  lxglo *g = req->glo;
  g->status = 0;
  if (kind < 0 || kind >= kNumKinds || !h) return 0;
  const lxecal *cal = lxe::record(h);
  if (!cal) {
    g->status = LXE_ST_NOCAL;
    return 0;
  }
  if (h->cal == 0) return 0;
  Sets sets;
  if (!load_sets(h, g, &sets)) return 0;
  if (is_match(kind)) return match(h, cal, req, kind, sets);
  const int32_t n = req->in.n;
  switch (kind) {
    case LXE_I_NAME:
    case LXE_I_DESC:
    case LXE_I_FORMAT: {
      const char *t = kind == LXE_I_NAME ? cal->name : kind == LXE_I_DESC ? cal->desc : cal->datefmt;
      return put_text(h, req, sets, false, t, std::strlen(t));
    }
    case LXE_I_MONABBR:
    case LXE_I_MONNAME: {
      if (n < 1 || n > cal->nmonths) return 0;
      const lxemon &m = cal->months[n - 1];
      return kind == LXE_I_MONABBR ? put_text(h, req, sets, true, m.abbr, m.abbr_len)
                                   : put_text(h, req, sets, true, m.name, m.name_len);
    }
    case LXE_I_ERAFIRST:
    case LXE_I_ERAFIRST2:
    case LXE_I_ERALAST:
    case LXE_I_ERALAST2: {
      lxeera era{};
      if (!lxegera(cal, n, &era)) return 0;
      req->out.num = (kind == LXE_I_ERAFIRST || kind == LXE_I_ERAFIRST2) ? era.first : era.last;
      return 1;
    }
    default: {
      const int t = kind == LXE_I_ERAABBR    ? LXE_T_ABBR
                    : kind == LXE_I_ERANAME  ? LXE_T_NAME
                    : kind == LXE_I_ERAABBR2 ? LXE_T_ABBR2
                                             : LXE_T_NAME2;
      char buf[LXE_NAME_FIELD];
      size_t len = 0;
      lxeera era;
      if (!era_text(cal, n, t, buf, &len, &era)) return 0;
      return put_text(h, req, sets, true, buf, len);
    }
  }
}

int lxedget(const char *name, size_t length, int *found) {
  if (found) *found = 0;
  if (!name || length == 0) return 0;
  if (length == sizeof kGregorian - 1 && lstmclo(name, kGregorian, length) == 0) {
    if (found) *found = 1;
    return 0;
  }
  for (int c = 1; c < LXE_NCAL; ++c) {
    const char *cn = lxetbn[c]->name;
    if (std::strlen(cn) != length) continue;
    const char first = name[0];
    const bool lead = first == cn[0] || lstmclo(&first, cn, 1) == 0;
    if (lead && lstmclo(name, cn, length) == 0) {
      if (found) *found = 1;
      return c;
    }
  }
  return 0;
}

}  // extern "C"
