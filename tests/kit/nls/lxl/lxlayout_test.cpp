// The object writer (tools/nls) and the readers of the runtime agree on every
// record of the NLS file formats. Objects are built from descriptions that
// give each field a value of its own, installed in the host's and in the
// other byte order, loaded through the loader and its byte-order fix-ups,
// and read back field by field: through the records of lxf.h (members and
// offsetof) and through the readers that place their fields with them. The
// suite runs in both widths.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "lxfobj.h"
#include "lxl.h"
#include "lxlig.h"
#include "lxp.h"
#include "lxpboot.h"
#include "nlskit.h"
#include "nlsobjw.h"
#include "nlstest.h"

namespace {

// Ids and names of the objects, each a value no other field holds.
constexpr uint16_t kLangId = 0x0123, kTerId = 0x0234, kCsId = 0x0345, kStId = 0x0456,
                   kSortId = 0x0567;
constexpr uint32_t kLangFlags = LXLAN_F_RTL | LXLAN_F_FLAG4;
constexpr uint8_t kLangKey = 0x3C, kGroup = 0x5A;

nlsw::LanguageDesc language() {
  nlsw::LanguageDesc d = nlsw::american();
  d.name = "LAYOUTLANG";
  d.id = kLangId;
  d.flags = kLangFlags;
  d.territory = kTerId;
  d.charset = kCsId;
  d.sort = kSortId;
  d.abbrev = "LL";
  d.months[8] = "septembermonth";   // the longest month name: 14
  d.abbr_months[4] = "mayy";        // 4
  d.days[3] = "wednesdayish";       // 12
  d.abbr_days[6] = "saturd";        // 6
  return d;
}

// Territory numbers num[k] = kNumBase + k.
constexpr uint16_t kNumBase = 0x0700;
constexpr unsigned kTerNums = LX_NELEM(lxterobj, num);

nlsw::TerritoryDesc territory() {
  nlsw::TerritoryDesc d = nlsw::america();
  d.name = "LAYOUTTER";
  d.id = kTerId;
  d.abbrev = "LT";
  d.strings[LXTER_CURRENCY] = "L$";
  d.strings[LXTER_ISOCURR] = "LYT";
  for (unsigned k = 0; k < kTerNums; ++k)
    d.numbers[LX_ELEM(lxterobj, num, k)] = uint16_t(kNumBase + k);
  return d;
}

nlsw::CharsetDesc charset() {
  nlsw::CharsetDesc d = nlsw::ascii_charset("LAYOUTCS", kCsId);
  d.sb_repl = '#';
  d.mb_repl = 0x2A2B;
  d.pad = 0x5F;
  d.map.push_back({{0xC4}, 0x00C4});
  return d;
}

nlsw::StatefulDesc stateful() {
  nlsw::StatefulDesc d;
  d.name = "LAYOUTST";
  d.id = kStId;
  d.locking_shifts = true;
  d.longest = 7;
  d.base_longest = 2;
  d.one_base = true;
  nlsw::StatefulEntry a;
  a.designation = {0x1B, 0x28, 0x42};
  a.base = kCsId;
  a.pattern = {0x00};
  a.base_len = 1;
  nlsw::StatefulEntry b;
  b.designation = {0x1B, 0x24, 0x29, 0x43};
  b.shift = {0x0E, 0x0F};
  b.base = kCsId;
  b.pattern = {0xFF, 0xA1};
  b.single_shift = true;
  b.base_len = 2;
  d.entries = {a, b};
  return d;
}

nlsw::SortRecord rec(uint16_t ch, uint16_t second, uint16_t v0, uint16_t v1, uint16_t v2,
                     bool any) {
  nlsw::SortRecord r;
  r.ch = ch;
  r.second = second;
  r.v[0] = v0;
  r.v[1] = v1;
  r.v[2] = v2;
  r.any_second = any;
  return r;
}

nlsw::SortDesc sort() {
  nlsw::SortDesc d;
  d.name = "LAYOUTSORT";
  d.id = kSortId;
  d.flags = 0x1;
  d.cmp_fn = 0x1234;
  d.key_fn = 0x2345;
  d.special = {{0x00DF, 0x1111}};
  d.contracting = {{'c', 'h'}};
  nlsw::SpecialLetter l;
  l.ch = 0x0153;
  l.major1 = 21;
  l.minor1 = 22;
  l.major2 = 23;
  l.minor2 = 24;
  d.letters = {l};
  nlsw::ContractingPair p;
  p.first = 'l';
  p.second = 'l';
  p.major = 31;
  p.minor = 32;
  d.pairs = {p};
  d.upper = {rec(0x00DF, 0, 0x53, 0x54, 0x55, true)};
  d.lower = {rec(0x0130, 0x0307, 0x69, 0x6A, 0x6B, false)};
  d.base_records = {rec('a', 0x0301, 0xE1, 0xE2, 0xE3, false)};
  d.major = {{'a', 10}, {'b', 11}, {0x0391, 40}, {0x2000, 41}};
  d.minor = {{'a', 1}, {0x0391, 5}};
  d.base_letters = {{0x00E9, 'e'}, {0x0391, 0x03B1}};
  return d;
}

nlsw::FoldMap folds() {
  return {{'A', {'a'}}, {0x00DF, {'s', 's'}}, {0x10400, {0x10428}}};
}

nlsw::BinaryAiDesc binary_ai() {
  nlsw::BinaryAiDesc d;
  d.units[0x00E9] = {'e'};
  d.units[0x00C6] = {'A', 'E'};
  d.units[0x1EA1] = {'a'};
  d.pairs[0xD835DC00u] = 'A';         // a supplementary letter to one unit
  d.pairs[0xD835DC01u] = 0xD801DC00u;  // and to a pair
  return d;
}

nlsw::Installation installation(bool other_order) {
  // the loader wants language, territory and charset 1 first in their types
  nlsw::Installation inst = nlsw::base_installation();
  inst.big_endian = other_order ? !nlsw::host_big_endian() : nlsw::host_big_endian();
  nlsw::add_language(inst, language());
  nlsw::add_territory(inst, territory());
  inst.objects.back().first.langkey = kLangKey;
  inst.objects.back().first.group = kGroup;
  nlsw::add_charset(inst, charset());
  // Stateful sets are read in the host's order only: the byte-order fix-up
  // knows the character-set record, not the stateful header.
  if (!other_order)
    nlsw::add_object(inst, LX_TCS, kStId, "LAYOUTST", nlsw::build_stateful(stateful()));
  nlsw::add_object(inst, LX_TSORT, kSortId, "LAYOUTSORT", nlsw::build_sort_object(sort()));
  nlsw::add_case_folding(inst, folds());
  nlsw::add_object(inst, LX_TMAP, LXMAP_BINARY_AI, "BINARY_AI", nlsw::build_binary_ai(binary_ai()));
  return inst;
}

// The boot index of the object of that type and id, through the boot readers.
uint16_t index_of(const uint8_t *b, unsigned type, uint16_t id) {
  for (unsigned i = lxpboot::first(b, type); i < lxpboot::first(b, type + 1); ++i)
    if (lxpboot::ent_id(lxpboot::entry(b, i)) == id) return uint16_t(i);
  return 0;
}

// The loaded object of that type and id as its record.
template <class R>
const R *object(const uint8_t *b, unsigned type, uint16_t id, lxglo *g) {
  return reinterpret_cast<const R *>(lxdgetobj(index_of(b, type, id), type, g));
}

std::u16string pool(const uint8_t *o, unsigned pool_at, unsigned field) {
  nlsobj::PoolText t = nlsobj::pool_text(o, pool_at, field);
  std::u16string s;
  for (uint32_t i = 0; i < t.count; ++i)
    s += char16_t(nlsobj::rd16(reinterpret_cast<const uint8_t *>(t.units + i)));
  return s;
}

std::u16string u16(const std::string &s) { return std::u16string(s.begin(), s.end()); }

class Layout : public ::testing::TestWithParam<bool> {};

TEST_P(Layout, EveryRecordReadsBackAsWritten) {
  const nlsw::Installation inst = installation(GetParam());
  nlstest::in_installation(nlskit::write(inst), [&](nlstest::Env &e) {
    lxglo *g = &e.glo;
    const auto *boot = reinterpret_cast<const lxboot *>(lxlslot(e.table, 0));
    const uint8_t *b = reinterpret_cast<const uint8_t *>(boot);
    ASSERT_NE(boot, nullptr);

    // Boot header and entries: one entry per object, each type's entries
    // from first[type], every field as the boot description gave it.
    EXPECT_EQ(boot->version, LX_MINVERSION);
    EXPECT_EQ(boot->release, uint32_t(LX_RELEASE));
    EXPECT_EQ(boot->magic, LX_BOOTMAGIC);
    EXPECT_EQ(lxpboot::count(b), inst.objects.size() + 1);
    EXPECT_EQ(boot->count, lxpboot::count(b));
    for (const auto &[o, img] : inst.objects) {
      SCOPED_TRACE(o.name);
      uint16_t i = index_of(b, o.type, o.id);
      ASSERT_NE(i, 0);
      const lxbent *ent = lxbootent(boot, i);
      EXPECT_EQ(ent->type, o.type);
      EXPECT_EQ(lxpboot::ent_type(lxpboot::entry(b, i)), o.type);
      EXPECT_EQ(ent->size, img.size());
      EXPECT_EQ(lxpboot::ent_size(lxpboot::entry(b, i)), img.size());
      EXPECT_EQ(std::string(ent->name), o.name);
      EXPECT_EQ(std::string(lxpboot::ent_name(lxpboot::entry(b, i))), o.name);
      EXPECT_EQ(ent->namelen, o.name.size() + 1);  // with its NUL
      EXPECT_EQ(lxpboot::ent_namelen(lxpboot::entry(b, i)), ent->namelen);
      // The object header, once loaded.
      const lxnlsobj *h = lxdgetobj(i, o.type, g);
      ASSERT_NE(h, nullptr);
      EXPECT_EQ(h->version, LX_MINVERSION);
      EXPECT_EQ(h->release, uint32_t(LX_RELEASE));
      EXPECT_EQ(h->size, img.size());
      EXPECT_EQ(h->type, o.type);
      EXPECT_EQ(h->magic, LX_OBJMAGIC);
    }
    const uint16_t ti = index_of(b, LX_TTERR, kTerId);
    EXPECT_EQ(lxpboot::ent_langkey(lxpboot::entry(b, ti)), kLangKey);
    EXPECT_EQ(lxpboot::ent_group(lxpboot::entry(b, ti)), kGroup);
    EXPECT_EQ(b[LX_BOOTHDR + LX_BENTSIZE * ti + LX_BENT_LANGKEY], kLangKey);

    // Language.
    const nlsw::LanguageDesc ld = language();
    const auto *lan = object<lxlanobj>(b, LX_TLANG, kLangId, g);
    ASSERT_NE(lan, nullptr);
    const uint8_t *lo = reinterpret_cast<const uint8_t *>(lan);
    EXPECT_EQ(lan->id, kLangId);
    EXPECT_EQ(nlsobj::lan_id(lo), kLangId);
    EXPECT_EQ(lan->flags, kLangFlags);
    EXPECT_EQ(nlsobj::lan_flags(lo), kLangFlags);
    EXPECT_EQ(nlsobj::lan_ter(lo), kTerId);
    EXPECT_EQ(nlsobj::lan_cs(lo), kCsId);
    EXPECT_EQ(nlsobj::lan_sort(lo), kSortId);
    EXPECT_STREQ(nlsobj::lan_name(lo), "LAYOUTLANG");
    // longest: month, day, short month, short day name
    EXPECT_EQ(lan->longest[0], 14);
    EXPECT_EQ(lan->longest[1], 12);
    EXPECT_EQ(lan->longest[2], 4);
    EXPECT_EQ(lan->longest[3], 6);
    for (unsigned k = 0; k < 7; ++k)
      EXPECT_EQ(pool(lo, LXLAN_POOL, LXLAN_DAY + 2 * k), u16(ld.days[k]));
    for (unsigned k = 0; k < 12; ++k)
      EXPECT_EQ(pool(lo, LXLAN_POOL, LXLAN_ABMONTH + 2 * k), u16(ld.abbr_months[k]));
    EXPECT_EQ(pool(lo, LXLAN_POOL, LXLAN_ABBR), u"LL");
    EXPECT_EQ(pool(lo, LXLAN_POOL, LXLAN_BC), u"BC");

    // Territory.
    const auto *ter = reinterpret_cast<const lxterobj *>(lxdgetobj(ti, LX_TTERR, g));
    ASSERT_NE(ter, nullptr);
    const uint8_t *to = reinterpret_cast<const uint8_t *>(ter);
    EXPECT_EQ(ter->id, kTerId);
    EXPECT_EQ(nlsobj::ter_id(to), kTerId);
    for (unsigned k = 0; k < kTerNums; ++k) EXPECT_EQ(ter->num[k], kNumBase + k) << "num " << k;
    EXPECT_EQ(pool(to, LXTER_POOL, LXTER_CURRENCY), u"L$");
    EXPECT_EQ(pool(to, LXTER_POOL, LXTER_ISOCURR), u"LYT");
    EXPECT_EQ(pool(to, LXTER_POOL, LXTER_DATEFMT), u"DD-MON-YY");

    // Character set.
    const auto *cs = object<lxcsobj>(b, LX_TCS, kCsId, g);
    ASSERT_NE(cs, nullptr);
    const uint8_t *co = reinterpret_cast<const uint8_t *>(cs);
    EXPECT_EQ(cs->id, kCsId);
    EXPECT_EQ(nlsobj::cs_id(co), kCsId);
    EXPECT_EQ(cs->sb_repl, '#');
    EXPECT_EQ(nlsobj::cs_repl(co), '#');
    EXPECT_EQ(cs->mb_repl, 0x2A2Bu);
    EXPECT_EQ(cs->pad, 0x5Fu);
    EXPECT_EQ(nlsobj::cs_padword(co, 0), 0x5Fu);
    EXPECT_EQ(nlsobj::cs_max(co), 1);
    EXPECT_EQ(cs->sbu[0xC4], 0x00C4);
    EXPECT_EQ(nlsobj::cs_sbu(co, 'Z'), 'Z');
    EXPECT_TRUE(cs->bclass['Q'] & LXCC_UPPER);
    EXPECT_TRUE(nlsobj::cs_class(co, '7') & LXCC_DIGIT);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(lxcstab(cs, LXCT_NAME))), "LAYOUTCS");

    // Stateful set: the header bytes and each entry.
    if (!GetParam()) {
      const auto *st = object<lxcsstobj>(b, LX_TCS, kStId, g);
      ASSERT_NE(st, nullptr);
      const nlsw::StatefulDesc sd = stateful();
      EXPECT_EQ(st->id, kStId);
      EXPECT_EQ(st->flags, LXCSF_STATEFUL | LXCSF_SHIFT);
      EXPECT_EQ(st->longest, sd.longest);
      EXPECT_EQ(st->base_longest, sd.base_longest);
      EXPECT_EQ(st->one_base, 1);
      for (size_t i = 0; i < sd.entries.size(); ++i) {
        SCOPED_TRACE(i);
        const lxcsstent &en = st->ent[i];
        const nlsw::StatefulEntry &de = sd.entries[i];
        EXPECT_EQ(en.dlen, de.designation.size());
        EXPECT_EQ(std::vector<uint8_t>(en.desig, en.desig + en.dlen), de.designation);
        EXPECT_EQ(en.slen, de.shift.size());
        EXPECT_EQ(std::vector<uint8_t>(en.shift, en.shift + en.slen), de.shift);
        EXPECT_EQ(en.base, de.base);
        EXPECT_EQ(std::vector<uint8_t>(en.pattern, en.pattern + de.pattern.size()), de.pattern);
        EXPECT_EQ(en.single != 0, de.single_shift);
        EXPECT_EQ(en.blen, de.base_len);
    }
      EXPECT_EQ(st->ent[sd.entries.size()].dlen, 0);
    }

    // Sort: the fixed part and every section the writer fills.
    const auto *so = object<lxsrtobj>(b, LX_TSORT, kSortId, g);
    ASSERT_NE(so, nullptr);
    const uint8_t *sp = reinterpret_cast<const uint8_t *>(so);
    EXPECT_EQ(nlsobj::sort_id(sp), kSortId);
    EXPECT_EQ(nlsobj::sort_flags(sp), 0x1);
    EXPECT_EQ(so->cmp_fn, 0x1234);
    EXPECT_EQ(nlsobj::sort_cmp_fn(sp), 0x1234);
    EXPECT_EQ(nlsobj::sort_key_fn(sp), 0x2345);
    EXPECT_STREQ(reinterpret_cast<const char *>(sp + LXSRT_NAME), "LAYOUTSORT");
    EXPECT_EQ(so->h108[LXSRT_SPECIAL - 1], 2);  // one special value, one special letter
    EXPECT_EQ(so->h108[LXSRT_CONTRACT - 1], 2);
    const uint8_t *ss = lxligss(so, 0x00DF);
    ASSERT_NE(ss, nullptr);
    EXPECT_EQ(nlsobj::rd16(ss + offsetof(lxpsplet, ch)), 0x00DF);
    EXPECT_EQ(nlsobj::rd16(ss + offsetof(lxpsplet, unused)), 0x1111);
    const auto *let = reinterpret_cast<const lxpsplet *>(lxligss(so, 0x0153));
    ASSERT_NE(let, nullptr);
    EXPECT_EQ(let->major1, 21);
    EXPECT_EQ(let->minor1, 22);
    EXPECT_EQ(let->major2, 23);
    EXPECT_EQ(let->minor2, 24);
    EXPECT_NE(lxligcs(so, 'c', 'h'), nullptr);
    const auto *pr = reinterpret_cast<const lxpcpair *>(lxligcs(so, 'l', 'l'));
    ASSERT_NE(pr, nullptr);
    EXPECT_EQ(pr->major, 31);
    EXPECT_EQ(pr->minor, 32);
    // The 12-byte records (lxsrtrec12).
    struct R12 {
      const uint8_t *r;
      nlsw::SortRecord want;
      uint8_t nout;
    } const recs[] = {{lxligsu(so, 0x00DF, 'x'), sort().upper[0], 3},
                      {lxligsl(so, 0x0130, 0x0307), sort().lower[0], 3},
                      {lxligsbl(so, 'a', 0x0301), sort().base_records[0], 3}};
    for (const R12 &c : recs) {
      ASSERT_NE(c.r, nullptr);
      const auto *r = reinterpret_cast<const lxsrtrec12 *>(c.r);
      EXPECT_EQ(r->ch, c.want.ch);
      if (!c.want.any_second) {
        EXPECT_EQ(r->second, c.want.second);
      }
      for (unsigned k = 0; k < 3; ++k) EXPECT_EQ(r->v[k], c.want.v[k]);
      EXPECT_EQ(r->match, c.want.any_second ? LXSRT_ANY : LXSRT_BOTH);
      EXPECT_EQ(r->nout, c.nout);
    }
    // The two-level tables: block entries (lxsrtblk) and their blocks.
    lxlig::Section major = lxlig::section(so, LXSRT_MAJOR, sizeof(lxsrtblk));
    ASSERT_NE(major.p, nullptr);
    EXPECT_EQ(major.count, 3);  // blocks 0x00, 0x03 and 0x20
    const auto *blk = reinterpret_cast<const lxsrtblk *>(major.p);
    EXPECT_EQ(blk[0].hi, 0x00);
    EXPECT_EQ(blk[1].hi, 0x03);
    EXPECT_EQ(blk[2].hi, 0x20);
    EXPECT_EQ(major.p[blk[1].off + 0x91], 40);
    for (const auto &[ch, key] : sort().major) EXPECT_EQ(lxlig::key(major, ch), key) << ch;
    lxlig::Section minor = lxlig::section(so, LXSRT_MINOR, sizeof(lxsrtblk));
    for (const auto &[ch, key] : sort().minor) EXPECT_EQ(lxlig::key(minor, ch), key) << ch;
    for (const auto &[ch, base] : sort().base_letters) EXPECT_EQ(lxligbl(so, ch), base) << ch;
    EXPECT_EQ(lxligbl(so, 0x00E8), 0x00E8);

    // Mapping: the fixed part and the fold area at w0.
    const auto *mo = object<lxmapobj>(b, LX_TMAP, LXMAP_CASEFOLD, g);
    ASSERT_NE(mo, nullptr);
    EXPECT_EQ(mo->id, LXMAP_CASEFOLD);
    EXPECT_STREQ(reinterpret_cast<const char *>(mo) + mo->dir[LXMAP_W_NAME], "CASE_FOLDING");
    lxpfmap m;
    lxpfmopen(&m, mo, LXFOLD_LEVEL2);
    ASSERT_NE(m.first, nullptr);
    EXPECT_EQ(m.table, mo->dir[0] + offsetof(lxfoldarea, first));
    lxpfent fe;
    lxpfmget(&m, 'A', &fe);
    EXPECT_EQ(fe.kind, LXP_FOLD_ONE);
    EXPECT_EQ(fe.u[0], 'a');
    lxpfmget(&m, 0x00DF, &fe);
    ASSERT_EQ(fe.kind, LXP_FOLD_EXPAND);
    ASSERT_EQ(fe.n, 2);
    EXPECT_EQ(fe.u[0], 's');
    EXPECT_EQ(fe.u[1], 's');
    lxpfmget(&m, 0xD801, &fe);
    ASSERT_EQ(fe.kind, LXP_FOLD_SUPP);
    EXPECT_EQ(lxpfmsupp(&m, fe.cell, 0xDC00), 0xD801DC28u);
    lxpfmget(&m, 'b', &fe);
    EXPECT_EQ(fe.kind, LXP_FOLD_KEEP);

    // BINARY_AI: its table at w0 itself, the longer first level.
    const auto *ba = object<lxmapobj>(b, LX_TMAP, LXMAP_BINARY_AI, g);
    ASSERT_NE(ba, nullptr);
    EXPECT_EQ(ba->id, LXMAP_BINARY_AI);
    EXPECT_EQ(ba->dir[LXMAP_W_FOLDTABLE], ba->dir[LXMAP_W_FOLDAREA]);
    EXPECT_STREQ(reinterpret_cast<const char *>(ba) + ba->dir[LXMAP_W_NAME], "BINARY_AI");
    lxpfmopen(&m, ba, LXP_BASELETTER_LEVEL2);
    ASSERT_NE(m.first, nullptr);
    lxpfmget(&m, 0x00E9, &fe);
    EXPECT_EQ(fe.kind, LXP_FOLD_ONE);
    EXPECT_EQ(fe.u[0], 'e');
    lxpfmget(&m, 0x1EA1, &fe);
    EXPECT_EQ(fe.kind, LXP_FOLD_ONE);
    EXPECT_EQ(fe.u[0], 'a');
    lxpfmget(&m, 0x00C6, &fe);
    ASSERT_EQ(fe.kind, LXP_FOLD_EXPAND);
    ASSERT_EQ(fe.n, 2);
    EXPECT_EQ(fe.u[0], 'A');
    EXPECT_EQ(fe.u[1], 'E');
    lxpfmget(&m, 0xD835, &fe);
    ASSERT_EQ(fe.kind, LXP_FOLD_SUPP);
    EXPECT_EQ(lxpfmsupp(&m, fe.cell, 0xDC00), uint32_t('A'));
    EXPECT_EQ(lxpfmsupp(&m, fe.cell, 0xDC01), 0xD801DC00u);
    EXPECT_EQ(lxpfmsupp(&m, fe.cell, 0xDC02), 0u);
  });
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, Layout, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &i) {
                           return i.param ? std::string("OtherOrder") : std::string("HostOrder");
                         });

}  // namespace
