// A multilingual sort with ICU root's collation elements for the Latin
// letters, digits and space (the tests and benchmarks that compare with ICU
// build it; include it only where ICU is linked). Characters whose elements
// need continuation elements are left out.
#ifndef QEN_TOOLS_OBJW_ICUROOT_H
#define QEN_TOOLS_OBJW_ICUROOT_H

#include <unicode/ucol.h>
#include <unicode/ucoleitr.h>

#include <vector>

#include "nlsobjw.h"

namespace nlsw {

// Adds the elements to d and returns the characters that have them.
inline std::vector<char16_t> add_icu_root_latin(MultiSortDesc &d) {
  constexpr uint32_t kContinuation = 0xC0, kCaseBits = 0xC0;
  UErrorCode st = U_ZERO_ERROR;
  UCollator *coll = ucol_open("", &st);
  std::vector<char16_t> cand = {u' '}, chars;
  for (char16_t c = u'0'; c <= u'9'; ++c) cand.push_back(c);
  for (char16_t c = u'A'; c <= u'Z'; ++c) cand.push_back(c);
  for (char16_t c = u'a'; c <= u'z'; ++c) cand.push_back(c);
  for (char16_t c = 0xC0; c <= 0xFF; ++c)
    if (c != 0xD7 && c != 0xF7) cand.push_back(c);
  for (char16_t c : cand) {
    UChar u = static_cast<UChar>(c);
    st = U_ZERO_ERROR;
    UCollationElements *it = ucol_openElements(coll, &u, 1, &st);
    std::vector<uint32_t> ce;
    bool cont = false;
    for (int32_t v; it && (v = ucol_next(it, &st)) != UCOL_NULLORDER;) {
      uint32_t e = static_cast<uint32_t>(v);
      if ((e & kContinuation) == kContinuation) cont = true;
      if (e != 0) ce.push_back(e & ~kCaseBits);
    }
    if (it) ucol_closeElements(it);
    if (cont || ce.empty()) continue;
    chars.push_back(c);
    if (ce.size() == 1)
      d.elements[c] = ce[0];
    else
      d.expansions[c] = ce;
  }
  ucol_close(coll);
  return chars;
}

}  // namespace nlsw

#endif
