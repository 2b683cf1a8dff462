// Formatting contexts: creation flags, the language held by value, error
// bookkeeping with and without "record errors", cleanup, the names of type
// codes and flags, and the package entry routine.
#include <gtest/gtest.h>

#include <pthread.h>

#include <cstring>
#include <string>

#include "lsfp_fixture.h"

using namespace lsfpfix;
using nlstest::Env;

namespace {

class LsfCtx : public Installed {};

}  // namespace

TEST(LsfNames, TypeCodesAndFlags) {
  struct {
    int code;
    const char *name;
  } names[] = {{LSFFLOAT, "LSF FLOAT"}, {LSFDOUBLE, "DOUBLE LSFFLT"}, {LSFTXTP, "LSFTXTP"},
               {LSFORANUM, "LSFORANUM"}, {18, "unknown type"},        {42, "unknown type"},
               {-1, "unknown type"}};
  for (const auto &n : names) EXPECT_STREQ(lsfotptext(n.code), n.name) << n.code;
  EXPECT_STREQ(lsfofgtext(1), "-");
  EXPECT_STREQ(lsfofgtext(2), "+");
  EXPECT_STREQ(lsfofgtext(4), " ");
  EXPECT_STREQ(lsfofgtext(8), "0");
  EXPECT_STREQ(lsfofgtext(16), "#");
  EXPECT_EQ(lsfofgtext(3), nullptr);
  EXPECT_EQ(lsfmai(nullptr, nullptr, 3, 0, 0), -1);
  lsfcln(nullptr);
  lsfsli(nullptr, nullptr);
}

TEST_F(LsfCtx, CreationFlags) {
  child([](Env &e) {
    Product p;
    lxlangid h = nlsfix::handle(e, "AMERICAN_AMERICA.US7ASCII");
    struct {
      lsf_ctx *ctx;
      int lock, record, utf16;
    } cases[] = {
        {lsfxtsi(&p.iface, &h, 0, 1), 0, 1, 0},
        {lsfxtsi(&p.iface, &h, 1, 0), 1, 0, 0},
        {lsfini(&p.iface, &h), 1, 0, 0},
        {lsfiniu(&p.iface, &h, &e.glo, 7), 0, 1, 1},
    };
    for (auto &c : cases) {
      ASSERT_NE(c.ctx, nullptr);
      EXPECT_EQ(c.ctx->priv->lock, c.lock);
      EXPECT_EQ(c.ctx->priv->record, c.record);
      EXPECT_EQ(c.ctx->priv->utf16, c.utf16);
      EXPECT_EQ(c.ctx->pkg, &p.iface);
    }
    // contexts without an environment of the caller made their own
    EXPECT_EQ(cases[0].ctx->priv->glo, &cases[0].ctx->priv->own_glo);
    EXPECT_NE(cases[0].ctx->priv->nls_table, nullptr);
    EXPECT_EQ(cases[3].ctx->priv->glo, &e.glo);
    for (auto &c : cases) lsfcln(c.ctx);
    EXPECT_EQ(p.blocks(), 0);
  });
}

TEST_F(LsfCtx, LanguageIsHeldByValue) {
  child([](Env &e) {
    Product p;
    lxlangid h = nlsfix::handle(e, "AMERICAN_AMERICA.UTF8");
    lsf_ctx *c = p.context(&h, &e.glo, 0);
    ASSERT_NE(c, nullptr);
    std::memset(&h, 0, sizeof h);  // the caller's copy goes away
    EXPECT_EQ(c->priv->lang.cs, nlsfix::UTF8);
    lxlangid g = nlsfix::handle(e, "AMERICAN_AMERICA.JA16SJIS");
    lsfsli(c, &g);
    EXPECT_EQ(c->priv->lang.cs, nlsfix::JA16SJIS);
    lsfsli(c, nullptr);  // from the environment: NLS_LANG is unset
    EXPECT_EQ(c->priv->lang.cs, nlsfix::US7ASCII);
    lsfcln(c);
  });
}

// Flags 0 leave the stack as it was whatever failed; flag 2 leaves the
// failure's record followed by a mark.
TEST_F(LsfCtx, ErrorBookkeeping) {
  child([](Env &e) {
    Product p;
    lxlangid h = nlsfix::handle(e, "AMERICAN_AMERICA.US7ASCII");
    lsf_ctx *quiet = p.context(&h, &e.glo, 0);
    lsf_ctx *loud = p.context(&h, &e.glo, LSF_FLAG_RECORD);
    ASSERT_TRUE(quiet && loud);
    const unsigned depth = p.depth();
    char buf[8];
    EXPECT_EQ(lsfp(quiet, buf, 8, "%q", LSFEND), LSFP_ECONV);
    EXPECT_EQ(lsfp(quiet, buf, 2, "abc", LSFEND), LSFP_EFULL);
    EXPECT_EQ(p.depth(), depth);
    EXPECT_EQ(lsfp(loud, buf, 2, "abc", LSFEND), LSFP_EFULL);
    EXPECT_EQ(p.depth(), depth + 1);
    lwem_record *r = lwemgne(p.errs, -1);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->u.msg.number, LSF_BUFFULL);
    EXPECT_NE(r->mark, 0);
    void *value = nullptr;
    EXPECT_EQ(lsfognp(quiet, 1, 1, &value), 0);
    EXPECT_EQ(value, nullptr);
    EXPECT_EQ(lsfognp(loud, 0, 1, &value), 0);
    lsfcln(quiet);
    lsfcln(loud);
  });
}

// lsfcal holds the context mutex across calls of the caller's own.
TEST_F(LsfCtx, CallerHeldLock) {
  child([](Env &e) {
    Product p;
    lxlangid h = nlsfix::handle(e, "AMERICAN_AMERICA.US7ASCII");
    lsf_ctx *c = p.context(&h, &e.glo, 0);
    ASSERT_NE(c, nullptr);
    lsfcal(c);
    static int printed;
    printed = 0;
    pthread_t t;
    pthread_create(
        &t, nullptr,
        [](void *arg) -> void * {
          char buf[8];
          lsfp(static_cast<lsf_ctx *>(arg), buf, 8, "x", LSFEND);
          printed = 1;
          return nullptr;
        },
        c);
    usleep(50000);
    EXPECT_EQ(__atomic_load_n(&printed, __ATOMIC_SEQ_CST), 0);  // waits for the lock
    lsfcrl(c);
    pthread_join(t, nullptr);
    EXPECT_EQ(printed, 1);
    lsfcln(c);
  });
}
