// Display texts of the argument lists copied through character cursors in
// the handle's character set and closed as the set requires, over a written
// NLS installation. Every test runs in a child.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <string>

#include "lem.h"
#include "lsf.h"
#include "nlsfix.h"

using namespace nlsfix;
using nlstest::Env;

namespace {

class ArgListDisplay : public Installed {};

using Bytes = std::string;

// The copy that a display-text argument of cols columns gets, up to and
// including its terminator (size bytes).
Bytes display_copy(Env &e, lxlangid &h, const Bytes &src, uint64_t cols, size_t size) {
  lwem_ctx errs{};
  lsf_env env{};
  env.lang = &h;
  env.glo = &e.glo;
  int st = LSFST_OK;
  auto build = [&](int *status, ...) {
    va_list ap;
    va_start(ap, status);
    lsf_arglist *l = lwsfdlv(&errs, &env, status, ap);
    va_end(ap);
    return l;
  };
  lsf_arglist *l = build(&st, LSFTXTDP, src.c_str(), &cols, LSFEND);
  EXPECT_NE(l, nullptr);
  if (!l) return "";
  EXPECT_EQ(l->entries[0].length, cols);
  Bytes copy(static_cast<const char *>(l->entries[0].value.ptr), size);
  EXPECT_EQ(lwsfdrm(&errs, &env, l, &st), 0);
  return copy;
}

}  // namespace

TEST_F(ArgListDisplay, WholeCharactersAndTheSetsTerminator) {
  child([](Env &e) {
    struct {
      const char *name;
      Bytes src;
      uint64_t cols;
      Bytes copy;  // with its terminator
    } cases[] = {
        {"AMERICAN_AMERICA.US7ASCII", "wxyz", 2, Bytes("wx\0", 3)},
        {"AMERICAN_AMERICA.US7ASCII", "wx", 5, Bytes("wx\0", 3)},
        // the UTF8 set has no class trie: a multibyte character takes two
        // columns
        {"AMERICAN_AMERICA.UTF8", "\xC3\xA4" "bc", 2, Bytes("\xC3\xA4\0", 3)},
        {"AMERICAN_AMERICA.UTF8", "\xC3\xA4" "bc", 3, Bytes("\xC3\xA4" "b\0", 4)},
        // a two-byte set ends with two NULs
        {"AMERICAN_AMERICA.AL16UTF16", Bytes("\0w\0x\0y\0\0", 8), 2, Bytes("\0w\0x\0\0", 6)},
        // a copy that ends shifted out is closed by a shift-in
        {"AMERICAN_AMERICA.TESTSHIFT", "A\x0E\x82\xCC\x83\x4C\x0F" "B", 2,
         Bytes("A\x0E\x82\xCC\x0F\0", 6)},
        {"AMERICAN_AMERICA.TESTSHIFT", "A\x0E\x82\xCC\x83\x4C\x0F" "B", 4,
         Bytes("A\x0E\x82\xCC\x83\x4C\x0F" "B\0", 9)},
        // leading shift bytes of the source: the copy writes its own shift-out
        {"AMERICAN_AMERICA.TESTSHIFT", "\x0E\x82\xCC\x0F", 1, Bytes("\x0E\x82\xCC\x0F\0", 5)},
    };
    for (const auto &c : cases) {
      lxlangid h = handle(e, c.name);
      EXPECT_EQ(display_copy(e, h, c.src, c.cols, c.copy.size()), c.copy)
          << c.name << " cols " << c.cols;
    }
  });
}
