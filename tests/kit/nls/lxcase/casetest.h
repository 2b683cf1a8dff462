// What the case conversion tests share: Unicode's case folding as the build
// wrote it for them (CASEFOLD_TXT, from tools/nls/gen_fold.py).
#ifndef QEN_TESTS_CASETEST_H
#define QEN_TESTS_CASETEST_H

#include <gtest/gtest.h>

#include <string>

#include "caseinst.h"

namespace casetest {

// The reference folds; a file that cannot be read fails the test.
inline nlsw::FoldMap folds() {
  std::string err;
  nlsw::FoldMap m = caseinst::read_folds(CASEFOLD_TXT, err);
  EXPECT_TRUE(err.empty()) << err;
  return m;
}

}  // namespace casetest

#endif
