// The kit's core services build their NLS environments and language handles
// from the environment: the file service at its start, the error store and
// the error manager when they first need one.
#include <gtest/gtest.h>

#include <string.h>

#include "lem.h"
#include "lemx.h"
#include "lfi.h"
#include "lfv.h"
#include "lpm.h"
#include "lxh.h"
#include "nlsfix.h"

namespace {

class LxhKit : public nlsfix::Installed {};

}  // namespace

TEST_F(LxhKit, ServicesBuildHandlesFromTheEnvironment) {
  child([] {
    setenv("NLS_LANG", "GERMAN_GERMANY.UTF8", 1);
    setenv("NLS_CURRENCY", "EUR", 1);
    lfvinit(LFV_MODE_FILES);
    lpm_product *root = lpmprinit();
    ASSERT_NE(root, nullptr);
    lpm_meta *block = root->block;
    // the file service read the environment
    auto rec = static_cast<lfi_blockrec *>(block->fi);
    ASSERT_TRUE(rec && rec->inst && rec->inst->std && rec->inst->std->ctx);
    lfi_ctx *fctx = rec->inst->std->ctx;
    ASSERT_NE(fctx->lang, nullptr);
    ASSERT_NE(fctx->glo, nullptr);
    EXPECT_EQ(nlstest::item(fctx->lang, 60, fctx->glo), "GERMAN");
    EXPECT_EQ(nlstest::item(fctx->lang, 79, fctx->glo), "UTF8");
    EXPECT_EQ(nlstest::item(fctx->lang, 69, fctx->glo), "EUR");
    // the block's error store names its language
    ASSERT_EQ(lwemilx(block->errs), 0);
    ASSERT_NE(block->errs->store->lang, nullptr);
    EXPECT_STREQ(block->errs->store->lang_code, "US");
    // a store without a name builds its handle from the environment
    lwem_ctx *errs = lwemist(nullptr, nullptr, 1);
    ASSERT_NE(errs, nullptr);
    ASSERT_EQ(lwemilx(errs), 0);
    EXPECT_STREQ(errs->store->lang_code, "D");
    EXPECT_EQ(nlstest::item(errs->store->lang, 69, errs->store->glo), "EUR");
    EXPECT_EQ(lwemdst(errs), 0);
    // an error-manager context gets an environment of its own
    lem_ctx *lem = *static_cast<lem_ctx **>(root->m.em);
    ASSERT_NE(lem, nullptr);
    lsf_env env{};
    int flag = 0;
    ASSERT_EQ(lempsll(lem, &env, &flag), 0);
    EXPECT_NE(env.glo, nullptr);
    EXPECT_EQ(lpmprterm(root), 0);
  });
}

TEST_F(LxhKit, ErrorStoreWithALanguageName) {
  nlstest::in_child([] {
    lwem_ctx *errs = lwemist("american_america.us7ascii", nullptr, 1);
    ASSERT_NE(errs, nullptr);
    ASSERT_EQ(lwemilx(errs), 0);
    EXPECT_STREQ(errs->store->lang_code, "US");
    EXPECT_EQ(errs->store->lang->lang, 1);
    EXPECT_EQ(lwemdst(errs), 0);
  });
}
