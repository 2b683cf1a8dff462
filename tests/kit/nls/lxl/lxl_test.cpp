// NLS environment, boot and object files, built-in set and fix-ups. The
// object table and the environment are process-wide: each case runs in a
// forked child.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "child.h"
#include "lxc.h"
#include "lxl.h"
#include "nlsobjw.h"
#include "temp_dir.h"

extern "C" {
extern lxlobj *slxlobj;
extern uintptr_t slxlobc;
}

namespace {

// Runs f in a forked child without the installation variables; a failed
// CHILD_CHECK in it fails the test.
template <class F>
void in_child(F f) {
  int rc = ::in_child([&] {
    unsetenv("ZUR_NLS10");
    unsetenv("ZUR_NLS_PROFILE33");
    unsetenv("VIRUZE_HOME");
    f();
  });
  EXPECT_EQ(rc, 0) << "a check failed in the child (see above), or it died";
}

// In a child: the object table over the installation in dir (the shared one
// with shared 1), checked to be loaded from there.
lxlobj *load(const std::string &dir, int shared) {
  setenv("ZUR_NLS10", dir.c_str(), 1);
  uint32_t st = 99;
  lxlobj *t = lxlinit(nullptr, shared, &st);
  CHILD_CHECK(t && st == 0);
  return t;
}

// A new directory, removed when the test ends.
std::string tmpdir() { return kept_temp_dir(); }

nlsw::Installation basic(bool big, bool ebcdic) {
  nlsw::Installation inst;
  inst.big_endian = big;
  inst.ebcdic = ebcdic;
  nlsw::LanguageDesc lan = nlsw::american();
  inst.objects.push_back({{LX_TLANG, 1, "AMERICAN", 0, 0, 0}, nlsw::build_language(lan)});
  nlsw::LanguageDesc ger = nlsw::american();
  ger.name = "GERMAN";
  ger.id = 5;
  inst.objects.push_back({{LX_TLANG, 5, "GERMAN", 0, 0, 0}, nlsw::build_language(ger)});
  inst.objects.push_back({{LX_TTERR, 1, "AMERICA", 0, 1, 0}, nlsw::build_territory(nlsw::america())});
  nlsw::CharsetDesc cs = nlsw::ascii_charset("US7ASCII", 1);
  inst.objects.push_back({{LX_TCS, 1, "US7ASCII", 0, 0, 0}, nlsw::build_charset(cs)});
  nlsw::CharsetDesc kr = nlsw::ascii_charset("KO16TEST", 846);
  kr.kind = nlsw::CsKind::Fixed2;
  kr.maxbytes = 2;
  kr.map.push_back({{0xB0, 0xA1}, 0xAC00});
  kr.map.push_back({{0xB0, 0xA2}, 0xAC01});
  inst.objects.push_back({{LX_TCS, 846, "KO16TEST", 0, 0, 0}, nlsw::build_charset(kr)});
  inst.objects.push_back({{LX_TSORT, 3, "GERMAN", 0, 0, 0}, nlsw::build_sort("GERMAN", 3)});
  return inst;
}

std::string install(const nlsw::Installation &inst, unsigned digit = 1) {
  std::string d = tmpdir();
  std::string err;
  EXPECT_TRUE(nlsw::write_installation(inst, d, digit, err)) << err;
  return d;
}

const lxboot *boot_of(lxlobj *t) { return (const lxboot *)lxlslot(t, 0); }

unsigned index_of(const lxboot *b, unsigned type, unsigned id) {
  for (unsigned i = b->first[type]; i < b->first[type + 1]; ++i)
    if (lxbootent(b, i)->id == id) return i;
  return 0;
}

TEST(FileNames, BaseNames) {
  char buf[512];
  EXPECT_EQ(lxfgno(2, 1, buf, sizeof buf), 7);
  EXPECT_STREQ(buf, "lx20001");
  lxfgno(0, 31, buf, sizeof buf);
  EXPECT_STREQ(buf, "lx0001f");
  lxfgnb(1, buf, sizeof buf);
  EXPECT_STREQ(buf, "lx1boot");
}

TEST(Builtin, TableWithoutInstallation) {
  in_child([] {
    uint32_t st = 99;
    lxlobj *t = lxlinit(nullptr, 1, &st);
    CHILD_CHECK(t && st == LXS_BUILTIN);
    CHILD_CHECK(boot_of(t)->count == 4 && (boot_of(t)->flags & LX_BOOT_BUILTIN));
    lxglo glo;
    lxinitc(&glo, t, nullptr, 0);
    for (unsigned i = 1; i <= 3; ++i) CHILD_CHECK(lxdgetobj(i, i - 1, &glo) != nullptr);
    const lxcsobj *cs = (const lxcsobj *)lxdgetobj(3, LX_TCS, &glo);
    CHILD_CHECK(cs->id == 1 && cs->bclass['A'] == 0xA04 && cs->bclass['a'] == 0xA08);
    CHILD_CHECK(cs->bclass['0'] == 0x220 && cs->bclass[' '] == 0x440);
    uint8_t out[4];
    CHILD_CHECK(lxcsu2mx(cs, out, 'A', 0, &glo) == 1 && out[0] == 'A');
    CHILD_CHECK(lxcsu2mx(cs, out, 0x3042, 0, &glo) == 1 && out[0] == '?');  // rows of "?" in the data
    // Everything in the built-in objects lies inside them.
    CHILD_CHECK(cs->dir[47] + LXCS_DATA <= cs->hdr.size);
    CHILD_CHECK(lxdlbot->size == lxdlbotsz);
    lxlterm(&glo);
    CHILD_CHECK(slxlobj == nullptr && slxlobc == 0);
  });
}

TEST(Builtin, ObjectsMatchTheWriter) {
  // The writer lays out language and territory objects as the built-in ones.
  nlsw::Image lan = nlsw::build_language(nlsw::american());
  ASSERT_EQ(lan.size(), lxdllansz);
  EXPECT_EQ(std::memcmp(lan.bytes.data() + 92, (const uint8_t *)lxdllan + 92, lan.size() - 92), 0);
  nlsw::Image ter = nlsw::build_territory(nlsw::america());
  ASSERT_EQ(ter.size(), lxdltersz);
  EXPECT_EQ(std::memcmp(ter.bytes.data() + 92, (const uint8_t *)lxdlter + 92, ter.size() - 92), 0);
}

class Loads : public ::testing::TestWithParam<std::pair<bool, bool>> {};

TEST_P(Loads, ValidInstallationInEveryOrderAndCode) {
  auto [big, ebcdic] = GetParam();
  std::string d = install(basic(big, ebcdic));
  nlsw::Installation host = basic(nlsw::host_big_endian(), false);
  in_child([&] {
    lxlobj *t = load(d, 1);
    const lxboot *b = boot_of(t);
    CHILD_CHECK(b->count == 7 && b->first[LX_TCS] == 4);
    CHILD_CHECK(std::strcmp(lxbootent(b, 2)->name, "GERMAN") == 0);
    lxglo glo;
    lxinitc(&glo, t, nullptr, 0);
    // Each object comes out exactly as the writer built it in host order.
    for (auto &o : host.objects) {
      unsigned i = index_of(b, o.first.type, o.first.id);
      CHILD_CHECK(i != 0);
      lxnlsobj *obj = lxdgetobj(i, o.first.type, &glo);
      CHILD_CHECK(obj != nullptr);
      CHILD_CHECK(std::memcmp((uint8_t *)obj + 92, o.second.bytes.data() + 92, o.second.size() - 92) == 0);
      CHILD_CHECK(lxdgetobj(i, o.first.type, &glo) == obj);
    }
    const lxcsobj *kr = (const lxcsobj *)lxdgetobj(index_of(b, LX_TCS, 846), LX_TCS, &glo);
    const uint8_t ga[] = {0xB0, 0xA2};
    CHILD_CHECK(lxcsm2ux(kr, ga, 2) == 0xAC01);
    lxlterm(&glo);
  });
}

INSTANTIATE_TEST_SUITE_P(Orders, Loads,
                         ::testing::Values(std::make_pair(false, false), std::make_pair(true, false),
                                           std::make_pair(false, true), std::make_pair(true, true)));

TEST(Boot, RejectedFilesFallBackToBuiltin) {
  struct Case {
    const char *what;
    uint32_t version;
    uint8_t magic;
    uint16_t firstlang;
    uint32_t want;
  } const cases[] = {
      {"wrong magic", 0x02100000, 0xA4, 1, LXS_BUILTIN},
      {"old version", 0x02000000, 0xA5, 1, LXS_BUILTIN},
      {"oldest version", 0x02100000, 0xA5, 1, 0},
      {"first language id not 1", 0x02100000, 0xA5, 2, LXS_BUILTIN},
  };
  for (auto &c : cases) {
    nlsw::Installation inst = basic(false, false);
    inst.boot.version = c.version;
    inst.boot.magic = c.magic;
    inst.objects[0].first.id = c.firstlang;
    std::string d = install(inst);
    in_child([&] {
      setenv("ZUR_NLS10", d.c_str(), 1);
      uint32_t st = 99;
      lxlobj *t = lxlinit(nullptr, 0, &st);
      if (!(t && st == c.want)) std::fprintf(stderr, "%s: status %u\n", c.what, st);
      CHILD_CHECK(t && st == c.want);
    });
  }
}

TEST(Boot, TruncatedOrLyingFilesAreRefused) {
  std::string d = install(basic(false, false));
  std::string boot = d + "/lx1boot.nlb";
  std::vector<uint8_t> bytes;
  {
    FILE *f = std::fopen(boot.c_str(), "rb");
    int ch;
    while ((ch = std::fgetc(f)) != EOF) bytes.push_back((uint8_t)ch);
    std::fclose(f);
  }
  auto write = [&](const std::vector<uint8_t> &b) {
    FILE *f = std::fopen(boot.c_str(), "wb");
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
  };
  auto expect_builtin = [&] {
    in_child([&] {
      setenv("ZUR_NLS10", d.c_str(), 1);
      uint32_t st = 99;
      CHILD_CHECK(lxlinit(nullptr, 0, &st) && st == LXS_BUILTIN);
    });
  };
  std::vector<uint8_t> b = bytes;
  b.resize(b.size() - 10);  // short body
  write(b);
  expect_builtin();
  b = bytes;
  uint32_t small = 48;  // size below header and entries
  std::memcpy(&b[8], &small, 4);
  write(b);
  expect_builtin();
  b = bytes;
  uint16_t count = 200;  // more entries than the size covers
  std::memcpy(&b[40], &count, 2);
  write(b);
  expect_builtin();
}

TEST(Objects, MissingOrShortObjectIsNotLoadedAndRetried) {
  nlsw::Installation inst = basic(false, false);
  std::string d = install(inst);
  in_child([&] {
    lxlobj *t = load(d, 1);
    lxglo glo;
    lxinitc(&glo, t, nullptr, 0);
    unsigned kr = index_of(boot_of(t), LX_TCS, 846);
    std::string file = d + "/lx2034e.nlb", away = file + ".x";
    CHILD_CHECK(rename(file.c_str(), away.c_str()) == 0);
    CHILD_CHECK(lxdgetobj(kr, LX_TCS, &glo) == nullptr && glo.status == LXS_NOLOAD);
    CHILD_CHECK(rename(away.c_str(), file.c_str()) == 0);
    CHILD_CHECK(truncate(file.c_str(), 3000) == 0);  // shorter than its boot entry
    glo.status = 0;
    CHILD_CHECK(lxdgetobj(kr, LX_TCS, &glo) == nullptr && glo.status == LXS_NOLOAD);
    CHILD_CHECK(lxlslot(t, kr) == nullptr);
  });
}

TEST(Objects, SizeComesFromTheBootEntryOfTheNamedType) {
  std::string d = install(basic(false, false));
  in_child([&] {
    lxlobj *t = load(d, 0);
    const lxbent *lang = lxbootent(boot_of(t), boot_of(t)->first[LX_TLANG]);
    char name[16];
    lxfgno(lang->type, lang->id, name, sizeof name);
    CHILD_CHECK(lxlgsz(nullptr, name, t) == lang->size && lang->size > 0);
    name[2] = '7';  // no object type 7
    CHILD_CHECK(lxlgsz(nullptr, name, t) == 0);
    CHILD_CHECK(lxlgsz(nullptr, "lx2", t) == 0);
  });
}

TEST(Objects, HeaderSizeAboveBootEntryOrBelowMinimumIsRefused) {
  for (uint32_t delta : {1u, 0u}) {
    nlsw::Installation inst = basic(nlsw::host_big_endian(), false);
    nlsw::Image &cs = inst.objects[4].second;
    uint32_t size = delta ? cs.get32(8) + delta : 100;
    std::memcpy(&cs.bytes[8], &size, 4);
    std::string d = install(inst);
    in_child([&] {
      setenv("ZUR_NLS10", d.c_str(), 1);
      uint32_t st;
      lxlobj *t = lxlinit(nullptr, 0, &st);
      lxglo glo;
      lxinitc(&glo, t, nullptr, 0);
      CHILD_CHECK(lxdgetobj(index_of(boot_of(t), LX_TCS, 846), LX_TCS, &glo) == nullptr);
      CHILD_CHECK(glo.status == LXS_NOLOAD);
    });
  }
}

TEST(Objects, EncodingRowsOutsideTheObjectAreRefused) {
  // Table 14 of KO16TEST: a row record naming data past the object's end,
  // dense or sparse, or the row records themselves cut by the object's end.
  struct Case {
    const char *what;
    unsigned row;
    uint32_t off;   // new data offset of the row, 0 to keep it
    uint8_t flags;  // new row flags, 0 to keep them
    bool cut;       // table 14 moved to the last 1024 bytes of the object
  } const cases[] = {
      {"dense row far out", 0x00, 0x7FFFFF00u, 0, false},
      {"sparse row far out", 0xAC, 0xFFFFFFF0u, 0, false},
      {"row widened past the end", 0xAC, 0, 0x0F, false},
      {"row records cut", 0, 0, 0, true},
  };
  for (auto &c : cases) {
    nlsw::Installation inst = basic(nlsw::host_big_endian(), false);
    nlsw::Image &img = inst.objects[4].second;
    lxcsobj *cs = (lxcsobj *)img.bytes.data();
    uint8_t *rec = img.bytes.data() + LXCS_DATA + cs->dir[LXCT_U2M] + 8 * c.row;
    if (c.off) std::memcpy(rec, &c.off, 4);
    if (c.flags) rec[5] = c.flags;
    if (c.cut) cs->dir[LXCT_U2M] = cs->dir[LXCT_U2M + 1] = cs->hdr.size - LXCS_DATA - 1024;
    std::string d = install(inst);
    in_child([&] {
      lxlobj *t = load(d, 0);
      lxglo glo;
      lxinitc(&glo, t, nullptr, 0);
      lxnlsobj *o = lxdgetobj(index_of(boot_of(t), LX_TCS, 846), LX_TCS, &glo);
      if (o) std::fprintf(stderr, "%s: loaded\n", c.what);
      CHILD_CHECK(o == nullptr && glo.status == LXS_NOLOAD);
    });
  }
}

TEST(Environment, DirectoriesInOrder) {
  nlsw::Installation inst = basic(false, false);
  std::string data = install(inst);
  std::string home = tmpdir();
  std::string nlsdata = home + "/nls/data";
  ASSERT_EQ(system(("mkdir -p " + nlsdata + " && cp " + data + "/* " + nlsdata).c_str()), 0);
  nlsw::Installation prof = basic(false, false);
  prof.objects[1].first.name = "PROFILED";
  std::string profile = install(prof, 2);
  auto count_with = [&](const char *var, const std::string &val, const char *var2,
                        const std::string &val2, const char *lang2) {
    in_child([&] {
      if (var) setenv(var, val.c_str(), 1);
      if (var2) setenv(var2, val2.c_str(), 1);
      uint32_t st;
      lxlobj *t = lxlinit(nullptr, 0, &st);
      CHILD_CHECK(t && st == 0);
      CHILD_CHECK(std::strcmp(lxbootent(boot_of(t), 2)->name, lang2) == 0);
    });
  };
  count_with("ZUR_NLS10", data, nullptr, "", "GERMAN");
  count_with("ZUR_NLS10", data + "/", nullptr, "", "GERMAN");
  count_with("VIRUZE_HOME", home, nullptr, "", "GERMAN");
  count_with("VIRUZE_HOME", home + "/", nullptr, "", "GERMAN");
  // The profile's lx2boot.nlb comes first; objects never come from there.
  count_with("VIRUZE_HOME", home, "ZUR_NLS_PROFILE33", profile, "PROFILED");
  in_child([&] {
    setenv("ZUR_NLS_PROFILE33", profile.c_str(), 1);
    uint32_t st;
    lxlobj *t = lxlinit(nullptr, 0, &st);
    CHILD_CHECK(t && st == 0);
    lxglo glo;
    lxinitc(&glo, t, nullptr, 0);
    CHILD_CHECK(lxdgetobj(1, LX_TLANG, &glo) == nullptr && glo.status == LXS_NOLOAD);
  });
}

TEST(Sharing, ReferenceCountAndRelease) {
  std::string d = install(basic(false, false));
  in_child([&] {
    setenv("ZUR_NLS10", d.c_str(), 1);
    uint32_t st;
    lxlobj *t1 = lxlinit(nullptr, 1, &st);
    lxlobj *t2 = lxlinit(nullptr, 1, &st);
    CHILD_CHECK(t1 == t2 && st == 0 && slxlobc == 2);
    lxglo a, b;
    lxinitc(&a, t1, nullptr, 0);
    lxinitc(&b, t1, nullptr, 0);
    CHILD_CHECK(lxdgetobj(1, LX_TLANG, &a) != nullptr);
    a.status = 7;
    lxlterm(&a);
    CHILD_CHECK(slxlobc == 1 && slxlobj == t1 && a.status == 0);
    CHILD_CHECK(lxdgetobj(1, LX_TLANG, &b) != nullptr);
    lxlterm(&b);
    CHILD_CHECK(slxlobc == 0 && slxlobj == nullptr);
    // With no shared table, lxlterm frees nothing.
    lxglo c;
    lxlobj *t3 = lxlinit(nullptr, 0, &st);
    lxinitc(&c, t3, nullptr, 0);
    lxlterm(&c);
    CHILD_CHECK(c.table == t3 && c.status == 0);
  });
}

TEST(Sharing, EnvironmentOfALanguageHandle) {
  // Without a record the handle's owner itself; with one, that record set up
  // over the owner's table.
  in_child([] {
    uint32_t st;
    lxlobj *t = lxlinit(nullptr, 0, &st);
    lxglo owner;
    lxinitc(&owner, t, nullptr, 0);
    lxlangid h{};
    h.owner = &owner;
    CHILD_CHECK(lxGetGloPtr(&h, nullptr) == &owner);
    lxglo mine;
    memset(&mine, 0x5a, sizeof mine);
    CHILD_CHECK(lxGetGloPtr(&h, &mine) == &mine);
    CHILD_CHECK(mine.table == t && mine.objtab == &mine.table && mine.ldcb == owner.ldcb);
    CHILD_CHECK(mine.status == 0 && mine.nbytes == 0 && mine.repmark == 0);
    CHILD_CHECK(lxdgetobj(1, LX_TLANG, &mine) != nullptr);
    CHILD_CHECK(lxdgetobj(1, LX_TLANG, &mine) == lxdgetobj(1, LX_TLANG, &owner));
  });
}

TEST(Sharing, SecondTableHandedInIsNotMadeShared) {
  std::string d = install(basic(false, false));
  in_child([&] {
    setenv("ZUR_NLS10", d.c_str(), 1);
    uint32_t st;
    lxlobj *shared = lxlinit(nullptr, 1, &st);
    lxlobj *other = lxlinit(nullptr, 0, &st);
    lxglo a, b;
    lxinitc(&a, shared, nullptr, 0);
    lxinitc(&b, other, nullptr, 1);
    CHILD_CHECK(slxlobj == shared && slxlobc == 1);
    CHILD_CHECK(lxdgetobj(1, LX_TLANG, &a) != nullptr);
  });
}

TEST(Stateful, BuiltinSetsPlacedAndNeverFreed) {
  nlsw::Installation inst = basic(false, false);
  inst.boot.objects.push_back({LX_TCS, 9999, "ISO2022-JP", 356, 0, 0});
  inst.boot.objects.push_back({LX_TCS, 9997, "ISO2022-KR", 356, 0, 0});
  std::string d = install(inst);
  in_child([&] {
    lxlobj *t = load(d, 1);
    const lxboot *b = boot_of(t);
    CHILD_CHECK(lxlslot(t, index_of(b, LX_TCS, 9999)) == lxd2022arr[0]);
    CHILD_CHECK(lxlslot(t, index_of(b, LX_TCS, 9997)) == lxd2022arr[2]);
    lxglo g;
    lxinitc(&g, t, nullptr, 0);
    lxlterm(&g);  // frees the table; the static objects are left alone
    CHILD_CHECK(g.status == 0 && ((const lxcsobj *)lxd2022arr[0])->id == 9999);
  });
}

TEST(Concurrency, FirstLoadsFromManyThreads) {
  std::string d = install(basic(false, false));
  in_child([&] {
    setenv("ZUR_NLS10", d.c_str(), 1);
    CHILD_CHECK(slxmxinit() == 0);
    uint32_t st;
    lxlobj *t = lxlinit(nullptr, 1, &st);
    std::vector<lxnlsobj *> got(8);
    std::vector<std::thread> th;
    for (int i = 0; i < 8; ++i)
      th.emplace_back([&, i] {
        lxglo g;
        lxinitc(&g, t, nullptr, 0);
        for (unsigned k = 1; k < boot_of(t)->count; ++k) lxdgetobj(k, lxbootent(boot_of(t), k)->type, &g);
        got[i] = lxdgetobj(5, LX_TCS, &g);
      });
    for (auto &x : th) x.join();
    for (auto *p : got) CHILD_CHECK(p && p == got[0]);
  });
}

TEST(Fixups, SwapFieldsAndSortRecords) {
  uint8_t rec[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  lxlswap(rec, 2, 2, 0, 6, 2);
  const uint8_t want[16] = {0, 1, 2, 3, 4, 5, 7, 6, 8, 9, 10, 11, 12, 13, 15, 14};
  EXPECT_EQ(std::memcmp(rec, want, 16), 0);
  char recs[5][8] = {"pear", "apple", "fig", "kiwi", "banana"};
  lxlfrdQsort(recs, 8, 8, 0, 4);
  EXPECT_STREQ(recs[0], "apple");
  EXPECT_STREQ(recs[1], "banana");
  EXPECT_STREQ(recs[4], "pear");
  // Records longer than 100 bytes sort as well.
  std::vector<char> big(3 * 150, 0);
  std::strcpy(&big[0], "c");
  std::strcpy(&big[150], "a");
  std::strcpy(&big[300], "b");
  lxlfrdQsort(big.data(), 150, 150, 0, 2);
  EXPECT_STREQ(&big[0], "a");
  EXPECT_STREQ(&big[300], "c");
}

// A Unicode set whose class and property tries span several node blocks
// (one per lead byte), with case maps in pair form; a double-byte set with
// case maps in delta form; a sort with three-output upper-case, lower-case
// and base-letter entries.
std::vector<std::pair<nlsw::BootObject, nlsw::Image>> case_objects() {
  nlsw::CharsetDesc u = nlsw::ascii_charset("AL32UTF8", 873);
  u.kind = nlsw::CsKind::Utf;
  u.maxbytes = 4;
  u.flags = LXCSF_UTF8SHAPE;
  const std::vector<uint8_t> e_acute = {0xC3, 0xA9}, e_capital = {0xC3, 0x89},
                             sigma = {0xCF, 0x83}, sigma_capital = {0xCE, 0xA3},
                             fw_a = {0xEF, 0xBD, 0x81}, fw_capital = {0xEF, 0xBC, 0xA1},
                             ring = {0xE1, 0xB8, 0x81}, ring_capital = {0xE1, 0xB8, 0x80};
  const std::vector<uint8_t> *lower[] = {&e_acute, &sigma, &fw_a, &ring};
  const std::vector<uint8_t> *upper[] = {&e_capital, &sigma_capital, &fw_capital, &ring_capital};
  auto packed = [](const std::vector<uint8_t> &b) {
    uint32_t v = 0;
    for (uint8_t x : b) v = v << 8 | x;
    return v;
  };
  for (size_t i = 0; i < std::size(lower); ++i) {
    u.classes[*lower[i]] = 0x808;
    u.classes[*upper[i]] = 0x804;
    u.properties[*lower[i]] = uint16_t(0x100 + i);
    u.upper_pairs[packed(*lower[i])] = packed(*upper[i]);
    u.lower_pairs[packed(*upper[i])] = packed(*lower[i]);
  }
  nlsw::CharsetDesc d = nlsw::ascii_charset("TESTEUCD", 831);
  d.kind = nlsw::CsKind::Fixed2;
  d.maxbytes = 2;
  d.flags = LXCSF_CASEDELTA;
  d.map.push_back({{0xA3, 0xC1}, 0xFF21});
  d.map.push_back({{0xA3, 0xE1}, 0xFF41});
  d.classes[{0xA3, 0xC1}] = 0x805;
  d.classes[{0xA3, 0xE1}] = 0x80A;
  d.lower_deltas = {0, 0, 0, 0, 0, 0x20, -0x10000};
  d.upper_deltas = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -0x20};
  nlsw::SortDesc so;
  so.name = "TESTCASE";
  so.id = 70;
  so.flags = 0x4 | 0x8 | 0x10;
  auto rec = [](uint16_t ch, uint16_t a, uint16_t b, uint16_t c) {
    nlsw::SortRecord r;
    r.ch = ch;
    r.any_second = true;
    r.v[0] = a;
    r.v[1] = b;
    r.v[2] = c;
    return r;
  };
  so.upper = {rec(0xBD, '1', '/', '2')};
  so.lower = {rec(0xBC, '1', '/', '4')};
  so.base_records = {rec(0xBE, '3', '/', '4'), rec(0xFB03, 'f', 'f', 'i')};
  so.base_letters[0xE9] = 'e';
  return {{{LX_TCS, 873, "AL32UTF8", 0, 0, 0}, nlsw::build_charset(u)},
          {{LX_TCS, 831, "TESTEUCD", 0, 0, 0}, nlsw::build_charset(d)},
          {{LX_TSORT, 70, "TESTCASE", 0, 0, 0}, nlsw::build_sort_object(so)}};
}

// Case maps in either form, the tries that class a character for them and
// special casing entries with three outputs come out of a file of the other
// byte order exactly as the writer built them in host order.
TEST(Fixups, CaseTablesAndSpecialEntriesInTheOtherOrder) {
  nlsw::Installation inst = basic(!nlsw::host_big_endian(), false);
  for (auto &o : case_objects()) inst.objects.push_back(o);
  const std::string d = install(inst);
  const auto host = case_objects();
  in_child([&] {
    lxlobj *t = load(d, 1);
    const lxboot *b = boot_of(t);
    lxglo glo;
    lxinitc(&glo, t, nullptr, 0);
    for (auto &o : host) {
      lxnlsobj *obj = lxdgetobj(index_of(b, o.first.type, o.first.id), o.first.type, &glo);
      CHILD_CHECK(obj != nullptr && obj->size == o.second.size());
      CHILD_CHECK(std::memcmp((uint8_t *)obj + 92, o.second.bytes.data() + 92, o.second.size() - 92) == 0);
    }
    const lxsrtobj *so = (const lxsrtobj *)lxdgetobj(index_of(b, LX_TSORT, 70), LX_TSORT, &glo);
    struct {
      const uint8_t *(*look)(const lxsrtobj *, uint16_t, uint16_t);
      uint16_t ch, third;
    } const entries[] = {{lxligsu, 0xBD, '2'}, {lxligsl, 0xBC, '4'}, {lxligsbl, 0xFB03, 'i'}};
    for (auto &x : entries) {
      const uint8_t *e = x.look(so, x.ch, 0);
      CHILD_CHECK(e != nullptr);
      uint16_t third;
      std::memcpy(&third, e + 8, 2);
      CHILD_CHECK(third == x.third && e[11] == 3);
    }
    lxlterm(&glo);
  });
}

// A node area too large for its 16-bit count cannot be found by the
// loader in the other byte order: such a set is written in host order only.
TEST(Fixups, TrieTooLargeForTheOtherOrderIsRefused) {
  nlsw::CharsetDesc u = nlsw::ascii_charset("AL32UTF8", 873);
  u.kind = nlsw::CsKind::Utf;
  u.maxbytes = 4;
  // three-byte characters: a node block per lead byte besides the first
  // level; 32 blocks are 64 KiB of nodes, 31 fit
  constexpr unsigned kLeads = 31;
  for (unsigned k = 0; k < kLeads; ++k) u.classes[{uint8_t(0xC0 + k), 0x80, 0x80}] = 0x800;
  nlsw::Image img = nlsw::build_charset(u);
  EXPECT_EQ(img.get16(LX_ELEM(lxcsobj, counts, LXCT_CLASS)), nlsw::kTrieAreaTooLarge);
  u.classes.erase(u.classes.begin());
  EXPECT_EQ(nlsw::build_charset(u).get16(LX_ELEM(lxcsobj, counts, LXCT_CLASS)),
            kLeads * nlsw::kTrieBlockNodes * nlsw::kTrieNodeSize);
  for (bool big : {false, true}) {
    nlsw::Installation inst = basic(big, false);
    inst.objects.push_back({{LX_TCS, 873, "AL32UTF8", 0, 0, 0}, img});
    std::string err;
    const bool ok = nlsw::write_installation(inst, tmpdir(), 1, err);
    EXPECT_EQ(ok, big == nlsw::host_big_endian()) << err;
  }
}

TEST(Fixups, CharEntitiesSortedAfterEbcdicNames) {
  // CHAR_ENTITIES: list {count, a, b}, records of a + b rounded up to 4.
  nlsw::Image m;
  nlsw::object_header(m, LX_TMAP);
  m.put32(92, 0);
  for (unsigned k = 0; k < 48; ++k) m.put32(96 + 4 * k, 0);
  m.put16(288, 3);
  m.put16(290, 0);
  m.put32(96 + 4 * 1, 0);  // list at data offset 0
  m.put16(292, 3);
  m.put8(294, 6);
  m.put8(295, 2);
  const char *names[] = {"zeta", "Alpha", "9nine"};
  for (int i = 0; i < 3; ++i) {
    m.putname(296 + 8 * i, names[i], 6);
    m.put16(296 + 8 * i + 6, (uint16_t)i);
  }
  m.put32(96 + 4 * 46, 24 + 4);
  m.putname(292 + 28, "CHAR_ENTITIES");
  nlsw::finish_object(m);
  m.to_ebcdic(26);
  lxladjobj((lxnlsobj *)m.bytes.data());
  EXPECT_STREQ((const char *)&m.bytes[296], "9nine");
  EXPECT_STREQ((const char *)&m.bytes[304], "Alpha");
  EXPECT_STREQ((const char *)&m.bytes[312], "zeta");
  EXPECT_STREQ((const char *)&m.bytes[320], "CHAR_ENTITIES");
}

// An ISO_VIRUZE_NAME_MAPPING object: list 1 of two {H, name[6]} records at
// data offset 0, every other list empty at 20, its name at 24.
nlsw::Image iso_map(const char *second_name) {
  nlsw::Image m;
  nlsw::object_header(m, LX_TMAP);
  m.put32(92, 0);
  for (unsigned k = 0; k < 48; ++k) m.put32(96 + 4 * k, 20);
  m.put32(96 + 4 * 1, 0);
  m.put16(288, 1);
  m.put16(290, 0);
  m.put16(292, 2);
  m.put8(294, 2);
  m.put8(295, 6);
  m.put16(296, 7);
  m.putname(298, "ZULU", 6);
  m.put16(304, 8);
  m.putname(306, second_name, 7);  // six letters fill the record
  m.put16(312, 0);
  m.put8(314, 0);
  m.put8(315, 0);
  m.put32(96 + 4 * 46, 24);
  m.putname(292 + 24, "ISO_VIRUZE_NAME_MAPPING");
  nlsw::finish_object(m);
  return m;
}

TEST(Fixups, DamagedMappingObjectsAreRefused) {
  // Names that would be read outside the object or compared past their
  // record make the object damaged; the same objects intact load.
  struct Case {
    const char *what;
    bool big, ebcdic;
    uint32_t nameat;         // data offset of the object's name
    const char *second;      // second name of list 1
    bool loads;
  } const cases[] = {
      {"intact, EBCDIC", false, true, 24, "ALPHA", true},
      {"intact, other order", !nlsw::host_big_endian(), false, 24, "ALPHA", true},
      {"name far out, other order", !nlsw::host_big_endian(), false, 0x7FFFFFF0u, "ALPHA", false},
      {"name far out, EBCDIC", false, true, 0xFFFFFF00u, "ALPHA", false},
      {"name fills its record, EBCDIC", false, true, 24, "ABCDEF", false},
      {"name fills its record, host order, ASCII", nlsw::host_big_endian(), false, 24, "ABCDEF",
       true},
  };
  for (auto &c : cases) {
    nlsw::Installation inst = basic(c.big, c.ebcdic);
    nlsw::Image m = iso_map(c.second);
    uint32_t at = c.nameat;
    std::memcpy(&m.bytes[96 + 4 * 46], &at, 4);
    inst.objects.push_back({{LX_TMAP, 1, "ISO_VIRUZE_NAME_MAPPING", 0, 0, 0}, m});
    std::string d = install(inst);
    in_child([&] {
      lxlobj *t = load(d, 0);
      lxglo glo;
      lxinitc(&glo, t, nullptr, 0);
      unsigned i = index_of(boot_of(t), LX_TMAP, 1);
      CHILD_CHECK(i != 0);
      const uint8_t *o = (const uint8_t *)lxdgetobj(i, LX_TMAP, &glo);
      if ((o != nullptr) != c.loads) std::fprintf(stderr, "%s: wrong outcome\n", c.what);
      CHILD_CHECK((o != nullptr) == c.loads);
      // Loaded EBCDIC names come out in ASCII, list 1 sorted by name.
      if (o && c.ebcdic) CHILD_CHECK(std::strcmp((const char *)o + 298, "ALPHA") == 0);
    });
  }
}

}  // namespace
