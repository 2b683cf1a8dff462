// The date context: beginning and ending, the NLS hold that never outlives a
// call, errors that release a table the hold loaded (whichever status record
// holds it), the default format of ldxnbeg, ldxsen and ldxrdf, and the
// territory's first day of the week. NLS state is process-wide, so every
// test runs in a child: over the installation of nlsinst.h, or over the
// built-in table with the loader's allocations counted.
#include <csetjmp>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "ldx.h"
#include "ldxtest.h"
#include "lxh.h"
#include "nlsfix.h"

namespace {

using nlstest::Env;

constexpr uint8_t kMarker = 0xA5;  // stands in deffmt where nothing may recompile it

struct Ctx {
  jmp_buf jb;
  ldx_ctx ctx;
};

bool all_bytes(const void *p, size_t n, uint8_t v) {
  const auto *b = static_cast<const uint8_t *>(p);
  for (size_t i = 0; i < n; ++i)
    if (b[i] != v) return false;
  return true;
}

void mark_default(ldx_ctx &ctx) { std::memset(ctx.deffmt, kMarker, sizeof ctx.deffmt); }
bool default_marked(const ldx_ctx &ctx) { return all_bytes(ctx.deffmt, sizeof ctx.deffmt, kMarker); }

// A handle of the installation whose default format a context has compiled
// (a new handle is marked as having changed parameters).
lxlangid compiled_handle(Env &e, const char *name) {
  lxlangid h = nlsfix::handle(e, name);
  h.flags &= ~LXH_F_DATEFMT;
  return h;
}

// A handle whose default date format text is empty.
void clear_format(lxlangid &h) {
  std::memset(h.date_fmt, 0, sizeof h.date_fmt);
  h.par_len[LXH_PAR_DATEFMT] = 0;
}

class LdxCtx : public nlsfix::Installed {};

TEST_F(LdxCtx, WithoutAHandleThereIsNoDefaultFormat) {
  child([](Env &) {
    Ctx c;
    ASSERT_EQ(LDX_RAISED(c.jb, ldxnbeg(&c.ctx, nullptr, ldxtest::jump, &c.jb, nullptr, nullptr)), 0);
    EXPECT_TRUE(all_bytes(c.ctx.deffmt, sizeof c.ctx.deffmt, 0));
    EXPECT_EQ(c.ctx.lang, nullptr);
    EXPECT_EQ(c.ctx.cbarg, &c.jb);
    EXPECT_EQ(c.ctx.glo, &c.ctx.own);  // no status record: the context's own
    EXPECT_EQ(c.ctx.table, nullptr);
    ldxend(&c.ctx);
    EXPECT_TRUE(all_bytes(&c.ctx, sizeof c.ctx, 0));
  });
}

TEST_F(LdxCtx, EmptyDefaultFormatRaises600) {
  child([](Env &e) {
    for (const char *name : {"AMERICAN_AMERICA.US7ASCII", "AMERICAN_AMERICA.AL16UTF16"}) {
      SCOPED_TRACE(name);
      lxlangid h = nlsfix::handle(e, name);
      Ctx c;
      EXPECT_EQ(LDX_RAISED(c.jb, ldxnbeg(&c.ctx, &h, ldxtest::jump, &c.jb, e.table, &e.glo)), 0);
      clear_format(h);
      EXPECT_EQ(LDX_RAISED(c.jb, ldxnbeg(&c.ctx, &h, ldxtest::jump, &c.jb, e.table, &e.glo)),
                LDX_ERR_NLS);
      // ldxrdf once the parameters changed; ldxsen to a handle that differs.
      lxlangid good = nlsfix::handle(e, name);
      ASSERT_EQ(LDX_RAISED(c.jb, ldxnbeg(&c.ctx, &good, ldxtest::jump, &c.jb, e.table, &e.glo)), 0);
      good.flags |= LXH_F_DATEFMT;
      clear_format(good);
      EXPECT_EQ(LDX_RAISED(c.jb, ldxrdf(&c.ctx, &e.glo)), LDX_ERR_NLS);
      lxlangid other = nlsfix::handle(e, name);
      ASSERT_EQ(LDX_RAISED(c.jb, ldxnbeg(&c.ctx, &other, ldxtest::jump, &c.jb, e.table, &e.glo)), 0);
      EXPECT_EQ(LDX_RAISED(c.jb, ldxsen(&c.ctx, &h)), LDX_ERR_NLS);
    }
  });
}

// The element codes of a compiled format, literal text skipped, up to and
// including the end pair.
std::vector<int> codes_of(const uint8_t *fmt, size_t room) {
  std::vector<int> codes;
  for (size_t i = 0; i + 1 < room;) {
    const int code = fmt[i];
    codes.push_back(code);
    if (code == LDX_END) break;
    i += 2;
    if (code > LDX_LIT && code <= LDX_LIT + LDX_LITMAX) {
      codes.back() = LDX_LIT;
      i += size_t(code - LDX_LIT);
    }
  }
  return codes;
}

TEST_F(LdxCtx, DefaultFormatIsTheLanguagesDateFormatCompiled) {
  child([](Env &e) {
    // AMERICA's DD-MON-YY, GERMANY's DD.MM.RR.
    const std::vector<int> america = {LDX_DD, LDX_LIT, LDX_MON, LDX_LIT, LDX_YY, LDX_END};
    const std::vector<int> germany = {LDX_DD, LDX_LIT, LDX_MM, LDX_LIT, LDX_RR, LDX_END};
    const struct {
      const char *name;
      const std::vector<int> &codes;
    } rows[] = {{"AMERICAN_AMERICA.US7ASCII", america},
                {"AMERICAN_AMERICA.AL16UTF16", america},
                {"AMERICAN_AMERICA.UTF8", america},
                {"GERMAN_GERMANY.WE8ISO8859P1", germany}};
    uint8_t first[LDX_FMT_SIZE] = {};
    for (const auto &r : rows) {
      SCOPED_TRACE(r.name);
      lxlangid h = nlsfix::handle(e, r.name);
      Ctx c;
      ASSERT_EQ(LDX_RAISED(c.jb, ldxnbeg(&c.ctx, &h, ldxtest::jump, &c.jb, e.table, &e.glo)), 0);
      EXPECT_EQ(codes_of(c.ctx.deffmt, sizeof c.ctx.deffmt), r.codes);
      // Every character set of AMERICA gives the same compiled bytes.
      if (first[0] == 0) std::memcpy(first, c.ctx.deffmt, sizeof first);
      if (&r.codes == &america) {
        EXPECT_EQ(std::memcmp(first, c.ctx.deffmt, sizeof first), 0);
      }
      // A new date format set on the handle is compiled at the next refresh.
      const char *iso = "YYYY-MM-DD HH24:MI:SS";
      if (!(h.flags & LXH_F_WIDE)) {
        h.flags &= ~LXH_F_DATEFMT;
        ASSERT_NE(lxhlmod(&h, iso, std::strlen(iso), 76, 0, 1, &e.glo), 0);
        h.flags |= LXH_F_DATEFMT;
        ASSERT_EQ(LDX_RAISED(c.jb, ldxrdf(&c.ctx, &e.glo)), 0);
        const std::vector<int> want = {LDX_YYYY, LDX_LIT,  LDX_MM, LDX_LIT, LDX_DD, LDX_LIT,
                                       LDX_HH24, LDX_LIT, LDX_MI, LDX_LIT, LDX_SS, LDX_END};
        EXPECT_EQ(codes_of(c.ctx.deffmt, sizeof c.ctx.deffmt), want);
      }
      ldxend(&c.ctx);
    }
  });
}

TEST_F(LdxCtx, SwitchingToAnEqualHandleKeepsTheFormat) {
  child([](Env &e) {
    lxlangid a = compiled_handle(e, "AMERICAN_AMERICA.US7ASCII");
    Ctx c;
    ASSERT_EQ(LDX_RAISED(c.jb, ldxnbeg(&c.ctx, &a, ldxtest::jump, &c.jb, e.table, &e.glo)), 0);
    // Equal but for the flags (0x20 aside), the owner and the built marker.
    lxlangid b = a;
    b.flags ^= LXH_F_LINGSORT;
    b.owner = nullptr;
    b.built = static_cast<int16_t>(a.built + 7);
    mark_default(c.ctx);
    ASSERT_EQ(LDX_RAISED(c.jb, ldxsen(&c.ctx, &b)), 0);
    EXPECT_TRUE(default_marked(c.ctx));
    EXPECT_EQ(c.ctx.lang, &b);
    EXPECT_EQ(b.flags, a.flags ^ LXH_F_LINGSORT);  // the handle's own values stay
    EXPECT_EQ(b.owner, nullptr);
    // The same handle with changed parameters recompiles and clears the mark.
    lxlangid d = a;
    d.flags |= LXH_F_DATEFMT;
    ASSERT_EQ(LDX_RAISED(c.jb, ldxsen(&c.ctx, &d)), 0);
    EXPECT_FALSE(default_marked(c.ctx));
    EXPECT_EQ(d.flags & LXH_F_DATEFMT, 0u);
    EXPECT_EQ(c.ctx.lang, &d);
    // A handle that differs anywhere else recompiles.
    const struct {
      const char *what;
      void (*change)(lxlangid &);
    } changes[] = {
        {"date format", [](lxlangid &h) { std::memcpy(h.date_fmt, "YYYY-MM-DD", 11); }},
        {"calendar", [](lxlangid &h) { h.cal = 1; }},
        {"territory", [](lxlangid &h) { h.ter = static_cast<uint16_t>(h.ter + 1); }},
        {"last byte", [](lxlangid &h) { h.timestamp_tz_fmt[sizeof h.timestamp_tz_fmt - 1] ^= 1; }},
    };
    for (const auto &ch : changes) {
      SCOPED_TRACE(ch.what);
      lxlangid x = a;
      ch.change(x);
      ASSERT_EQ(LDX_RAISED(c.jb, ldxsen(&c.ctx, &a)), 0);
      mark_default(c.ctx);
      ASSERT_EQ(LDX_RAISED(c.jb, ldxsen(&c.ctx, &x)), 0);
      EXPECT_FALSE(default_marked(c.ctx));
      EXPECT_EQ(c.ctx.lang, &x);
    }
    ldxend(&c.ctx);
  });
}

TEST_F(LdxCtx, RefreshOnlyAfterAParameterChange) {
  child([](Env &e) {
    lxlangid h = compiled_handle(e, "AMERICAN_AMERICA.US7ASCII");
    Ctx c;
    ASSERT_EQ(LDX_RAISED(c.jb, ldxnbeg(&c.ctx, &h, ldxtest::jump, &c.jb, e.table, &e.glo)), 0);
    lxglo g{};
    g.status = 99;
    mark_default(c.ctx);
    ASSERT_EQ(LDX_RAISED(c.jb, ldxrdf(&c.ctx, &g)), 0);
    EXPECT_TRUE(default_marked(c.ctx));
    EXPECT_EQ(g.status, 0u);
    h.flags |= LXH_F_DATEFMT;
    ASSERT_EQ(LDX_RAISED(c.jb, ldxrdf(&c.ctx, &g)), 0);
    EXPECT_FALSE(default_marked(c.ctx));
    EXPECT_EQ(h.flags & LXH_F_DATEFMT, 0u);
    ldxend(&c.ctx);
  });
}

TEST_F(LdxCtx, FirstDayOfTheWeekComesFromTheTerritory) {
  child([](Env &e) {
    const struct {
      const char *name;
      int sunday;  // ldxdow of 1982-02-28, a Sunday
    } rows[] = {{"AMERICAN_AMERICA.US7ASCII", 1}, {"GERMAN_GERMANY.WE8ISO8859P1", 7}};
    for (const auto &r : rows) {
      SCOPED_TRACE(r.name);
      lxlangid h = nlsfix::handle(e, r.name);
      Ctx c;
      ASSERT_EQ(LDX_RAISED(c.jb, ldxnbeg(&c.ctx, &h, ldxtest::jump, &c.jb, e.table, &e.glo)), 0);
      for (int32_t k = -14; k < 14; ++k) {
        const int want = ((r.sunday - 1 + k) % 7 + 7) % 7 + 1;
        EXPECT_EQ(ldxdow(&c.ctx, 2445029 + k), want) << k;
      }
      // -4712-03-01 was a Friday (the day count agrees with the astronomical
      // one from there on).
      EXPECT_EQ(ldxdow(&c.ctx, 60), r.sunday == 1 ? 6 : 5);
      ldxend(&c.ctx);
    }
    // No handle: the first day cannot be read.
    Ctx c;
    ldxnbeg(&c.ctx, nullptr, ldxtest::jump, &c.jb, e.table, &e.glo);
    EXPECT_EQ(LDX_RAISED(c.jb, ldxdow(&c.ctx, 2445029)), LDX_ERR_NLSFAIL);
  });
}

TEST_F(LdxCtx, OwnRecordOverTheCallersTable) {
  child([](Env &e) {
    lxlangid h = nlsfix::handle(e, "GERMAN_GERMANY.WE8ISO8859P1");
    Ctx c;
    ASSERT_EQ(LDX_RAISED(c.jb, ldxnbeg(&c.ctx, &h, ldxtest::jump, &c.jb, e.table, nullptr)), 0);
    EXPECT_EQ(c.ctx.glo, &c.ctx.own);
    EXPECT_EQ(c.ctx.own.table, e.table);
    EXPECT_EQ(c.ctx.held, 0);
    EXPECT_EQ(LDX_RAISED(c.jb, ldxdow(&c.ctx, 2445029)), 0);
    ldxend(&c.ctx);
  });
}

// ---- the NLS hold over the built-in table ---------------------------------

// Allocations of the default loader callbacks still live.
long live_allocations = 0;
lxldalcf real_alloc;
lxldfref real_free;
lxldfbbf real_freeboot;

void *count_alloc(void *ctx, size_t size) {
  void *p = real_alloc(ctx, size);
  if (p) ++live_allocations;
  return p;
}
int count_free(void *ctx, void *mem) {
  if (mem) --live_allocations;
  return real_free(ctx, mem);
}
int count_freeboot(void *ctx, void *mem) {
  if (mem) --live_allocations;
  return real_freeboot(ctx, mem);
}

// A handle of the built-in table, built in an environment that is then
// ended, so that nothing holds the table; loader allocations counted from
// then on.
lxlangid builtin_alone() {
  lxlangid h{};
  lxglo *g = lxlownenv(nullptr);
  EXPECT_NE(g, nullptr);
  if (!g) return h;
  EXPECT_NE(lxhLaToId(nullptr, 0, &h, 0, g), nullptr);
  lxlterm(g);
  std::free(g);
  real_alloc = lxldcbk.alloc;
  real_free = lxldcbk.free;
  real_freeboot = lxldcbk.freeboot;
  lxldcbk.alloc = count_alloc;
  lxldcbk.free = count_free;
  lxldcbk.freeboot = count_freeboot;
  live_allocations = 0;
  return h;
}

TEST(LdxCtxHold, NeverOutlivesACall) {
  nlstest::in_child([] {
    lxlangid h = builtin_alone();
    lxglo g{};
    Ctx c;
    ASSERT_EQ(LDX_RAISED(c.jb, ldxnbeg(&c.ctx, &h, ldxtest::jump, &c.jb, nullptr, &g)), 0);
    EXPECT_EQ(c.ctx.table, nullptr);
    EXPECT_EQ(c.ctx.held, 0);
    EXPECT_EQ(live_allocations, 0);
    EXPECT_EQ(LDX_RAISED(c.jb, ldxdow(&c.ctx, 2445029)), 0);
    EXPECT_EQ(live_allocations, 0);
    // By hand: loaded once, nested holds load nothing, the outer one drops it.
    const int outer = ldxlxi(&c.ctx);
    EXPECT_EQ(outer, 1);
    EXPECT_NE(c.ctx.table, nullptr);
    EXPECT_EQ(g.table, c.ctx.table);
    EXPECT_EQ(g.objtab, &g.table);
    EXPECT_GT(live_allocations, 0);
    EXPECT_EQ(ldxlxi(&c.ctx), 0);
    ldxlxt(&c.ctx, 0);
    EXPECT_NE(c.ctx.table, nullptr);
    ldxlxt(&c.ctx, outer);
    EXPECT_EQ(c.ctx.table, nullptr);
    EXPECT_EQ(live_allocations, 0);
    // ldxend drops a hold that is still on.
    ldxlxi(&c.ctx);
    ldxend(&c.ctx);
    EXPECT_EQ(live_allocations, 0);
  });
}

TEST(LdxCtxHold, ErrorsReleaseWhatTheHoldLoaded) {
  nlstest::in_child([] {
    lxlangid base = builtin_alone();
    for (bool callers_record : {true, false}) {
      SCOPED_TRACE(callers_record ? "caller's status record" : "the context's own");
      lxlangid h = base;
      lxglo g{};
      Ctx c;
      ASSERT_EQ(LDX_RAISED(c.jb, ldxnbeg(&c.ctx, &h, ldxtest::jump, &c.jb, nullptr,
                                         callers_record ? &g : nullptr)),
                0);
      // The refresh raises 600 while it holds the table it loaded.
      h.flags |= LXH_F_DATEFMT;
      clear_format(h);
      EXPECT_EQ(LDX_RAISED(c.jb, ldxrdf(&c.ctx, c.ctx.glo)), LDX_ERR_NLS);
      EXPECT_EQ(c.ctx.table, nullptr);
      EXPECT_EQ(c.ctx.held, 0);
      EXPECT_EQ(live_allocations, 0);
      // The same when ldxnbeg itself fails.
      EXPECT_EQ(LDX_RAISED(c.jb, ldxnbeg(&c.ctx, &h, ldxtest::jump, &c.jb, nullptr,
                                         callers_record ? &g : nullptr)),
                LDX_ERR_NLS);
      EXPECT_EQ(live_allocations, 0);
      ldxend(&c.ctx);
    }
  });
}

TEST(LdxCtxHold, ATableGivenIsNeverReleased) {
  nlstest::in_child([] {
    Env e;
    lxlangid h{};
    ASSERT_NE(lxhLaToId(nullptr, 0, &h, 0, &e.glo), nullptr);
    Ctx c;
    ASSERT_EQ(LDX_RAISED(c.jb, ldxnbeg(&c.ctx, &h, ldxtest::jump, &c.jb, e.table, &e.glo)), 0);
    EXPECT_EQ(ldxlxi(&c.ctx), 0);
    h.flags |= LXH_F_DATEFMT;
    clear_format(h);
    EXPECT_EQ(LDX_RAISED(c.jb, ldxrdf(&c.ctx, &e.glo)), LDX_ERR_NLS);
    EXPECT_EQ(c.ctx.table, e.table);
    EXPECT_EQ(e.glo.table, e.table);
    ldxend(&c.ctx);
    EXPECT_EQ(e.glo.table, e.table);
  });
}

TEST(LdxCtxDeathTest, ErrorWithoutACallbackAborts) {
  ldx_ctx ctx;
  ldxnbeg(&ctx, nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_DEATH(ldxerr(&ctx, LDX_ERR_DAYNUM), "");
}

}  // namespace
