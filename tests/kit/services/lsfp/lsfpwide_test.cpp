// The formatting service prints texts by display columns: a double-width
// character takes two columns of a width or a precision. The UTF8 set of the
// written installation has no class trie, so each of its multibyte
// characters is double-width.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "lsfp_fixture.h"

using namespace lsfpfix;
using nlstest::Env;

namespace {

class LsfpWide : public Installed {};

}  // namespace

TEST_F(LsfpWide, DoubleWidthTextUnderAColumnPrecision) {
  child([](Env &e) {
    Product p;
    lxlangid h = nlsfix::handle(e, "AMERICAN_AMERICA.UTF8");
    lsf_ctx *c = p.context(&h, &e.glo, 0);
    ASSERT_NE(c, nullptr);
    const std::string three = "\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97";  // three wide characters
    struct {
      const char *fmt;
      std::string want;
    } cases[] = {
        {"[%.4s]", "[\xE4\xB8\xAD\xE6\x96\x87]"},         // two characters in four columns
        {"[%8s]", "[  " + three + "]"},                   // six columns, two blanks
        {"[%-7.4s]", "[\xE4\xB8\xAD\xE6\x96\x87   ]"},
        {"[%s]", "[" + three + "]"},
    };
    for (const auto &k : cases) {
      char out[64];
      std::memset(out, '~', sizeof out);
      int r = lsfp(c, out, -1, k.fmt, LSFTXTP, three.c_str(), LSFEND);
      EXPECT_EQ(r, int(k.want.size())) << k.fmt;
      EXPECT_EQ(std::string(out, r > 0 ? size_t(r) : 0), k.want) << k.fmt;
    }
    lsfcln(c);
    EXPECT_EQ(p.blocks(), 0);
  });
}
