// Case conversion of 64 KiB texts against what a program would use instead:
// a glibc toupper byte loop for ISO 8859-1, mbrtowc + towupper + wcrtomb and
// ICU's ucasemap_utf8ToUpper for UTF-8, ICU's u_strToUpper and
// u_strFoldCase for UTF-16; and the same upper case under a linguistic sort
// with special casing entries (sharp s to "SS" and the like), against ICU's
// full case mapping, which expands them too. After the runs a table gives
// each counterpart's time as a multiple of ours (above 1: the kit is faster)
// with its target.
#include <benchmark/benchmark.h>
#include <ctype.h>
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <wctype.h>

#include <string>
#include <vector>

#ifdef QEN_HAVE_ICU
#include <unicode/ucasemap.h>
#include <unicode/ustring.h>
#endif

#include "caseinst.h"
#include "nlskit.h"
#include "lxh.h"
#include "lxo.h"
#include "lxp.h"
#include "lxz.h"
#include "../common/collect.h"

namespace {

#include "case_refs.inc"

using Bytes = std::string;
constexpr size_t kText = 64 * 1024;

struct Env {
  lxglo glo{};
  lxlangid latin{}, utf8{}, utf16{};
  lxlangid ling_latin{}, ling_utf8{}, ling_utf16{};  // under the special casing sort
  bool ok = false;
  Env() {
    nlsw::FoldMap folds;
    std::string err;
    if (!nlsw::read_fold(CASEFOLD_TXT, folds, err)) return;
    std::string dir = caseinst::write(kCaseForms, std::size(kCaseForms), folds, {});
    if (dir.empty() || !nlskit::use(dir, &glo)) return;
    ok = nlskit::handle(nlskit::american("WE8ISO8859P1"), &glo, &latin) &&
         nlskit::handle(nlskit::american("AL32UTF8"), &glo, &utf8) &&
         nlskit::handle(nlskit::american("AL16UTF16"), &glo, &utf16);
    ling_latin = latin;
    ling_utf8 = utf8;
    ling_utf16 = utf16;
    ok = ok && nlskit::set_sort("TESTCASE", &glo, &ling_latin) && nlskit::set_sort("TESTCASE", &glo, &ling_utf8) &&
         nlskit::set_sort("TESTCASE", &glo, &ling_utf16);
  }
};
Env &env() {
  static Env e;
  return e;
}

std::u16string repeat16(const std::u16string &unit) {
  std::u16string s;
  while (s.size() * 2 < kText) s += unit;
  return s;
}

// Texts: ISO 8859-1 prose; UTF-8 Latin, Greek and Cyrillic; UTF-16 Latin-1
// and Greek with Cyrillic.
const std::u16string kLatin = u"The quick brown fox jumps over the lazy dog, caf\u00e9 na\u00efve \u00e0 l'\u00e9t\u00e9. ";
const std::u16string kGreekCyr =
    u"\u03ba\u03b1\u03bb\u03b7\u03bc\u03ad\u03c1\u03b1 \u03c3\u03bf\u03c6\u03af\u03b1 "
    u"\u043f\u0440\u0438\u0432\u0435\u0442 \u043c\u0438\u0440 \u0434\u0440\u0443\u0437\u044c\u044f. ";

Bytes to_utf8(const std::u16string &s) {
  Bytes out;
  for (char16_t c : s) {
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | c >> 6);
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xE0 | c >> 12);
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}
Bytes to_be(const std::u16string &s) {
  Bytes out;
  for (char16_t c : s) {
    out += char(c >> 8);
    out += char(c & 0xFF);
  }
  return out;
}
Bytes to_latin1(const std::u16string &s) {
  Bytes out;
  for (char16_t c : s) out += char(c);
  return out;
}

const Bytes &latin1_text() {
  static Bytes b = to_latin1(repeat16(kLatin));
  return b;
}
const Bytes &utf8_text() {
  static Bytes b = to_utf8(repeat16(kLatin + kGreekCyr));
  return b;
}
const std::u16string &u16_latin() {
  static std::u16string s = repeat16(kLatin);
  return s;
}
const std::u16string &u16_greek() {
  static std::u16string s = repeat16(kGreekCyr);
  return s;
}

void Ours(benchmark::State &st, const lxlangid *h, const Bytes *in, uint32_t flags) {
  Env &e = env();
  std::vector<char> out(in->size() * 3 + 8);
  for (auto _ : st) {
    size_t r = lxsCnvCase(out.data(), out.size(), in->data(), in->size(), LXO_EXACTLEN | flags, h, &e.glo);
    benchmark::DoNotOptimize(r);
    if (e.glo.status) st.SkipWithError("conversion failed");
  }
  st.SetBytesProcessed(int64_t(st.iterations() * in->size()));
}

void ToupperLoop(benchmark::State &st) {
  const Bytes &in = latin1_text();
  std::vector<char> out(in.size());
  for (auto _ : st) {
    for (size_t i = 0; i < in.size(); ++i) out[i] = char(toupper(static_cast<unsigned char>(in[i])));
    benchmark::DoNotOptimize(out.data());
  }
  st.SetBytesProcessed(int64_t(st.iterations() * in.size()));
}

void Towupper(benchmark::State &st) {
  const Bytes &in = utf8_text();
  if (!setlocale(LC_CTYPE, "C.UTF-8")) {
    st.SkipWithError("no C.UTF-8 locale");
    return;
  }
  std::vector<char> out(in.size() * 3 + 8);
  for (auto _ : st) {
    mbstate_t a{}, b{};
    size_t i = 0, o = 0;
    while (i < in.size()) {
      wchar_t w;
      size_t n = mbrtowc(&w, in.data() + i, in.size() - i, &a);
      if (n == 0 || n > in.size()) break;
      i += n;
      o += wcrtomb(out.data() + o, towupper(w), &b);
    }
    benchmark::DoNotOptimize(o);
  }
  setlocale(LC_CTYPE, "C");
  st.SetBytesProcessed(int64_t(st.iterations() * in.size()));
}

#ifdef QEN_HAVE_ICU
void IcuUtf8Upper(benchmark::State &st) {
  const Bytes &in = utf8_text();
  UErrorCode ec = U_ZERO_ERROR;
  UCaseMap *m = ucasemap_open("", 0, &ec);
  std::vector<char> out(in.size() * 3 + 8);
  for (auto _ : st) {
    ec = U_ZERO_ERROR;
    int32_t n = ucasemap_utf8ToUpper(m, out.data(), int32_t(out.size()), in.data(), int32_t(in.size()), &ec);
    benchmark::DoNotOptimize(n);
  }
  ucasemap_close(m);
  st.SetBytesProcessed(int64_t(st.iterations() * in.size()));
}

void IcuUtf16(benchmark::State &st, const std::u16string *in, bool fold) {
  std::vector<UChar> out(in->size() * 3 + 8);
  const UChar *src = reinterpret_cast<const UChar *>(in->data());
  for (auto _ : st) {
    UErrorCode ec = U_ZERO_ERROR;
    int32_t n = fold ? u_strFoldCase(out.data(), int32_t(out.size()), src, int32_t(in->size()),
                                     U_FOLD_CASE_DEFAULT, &ec)
                     : u_strToUpper(out.data(), int32_t(out.size()), src, int32_t(in->size()), "", &ec);
    benchmark::DoNotOptimize(n);
  }
  st.SetBytesProcessed(int64_t(st.iterations() * in->size() * 2));
}
#endif

struct Ratio {
  const char *ours, *theirs;
  double target;
};
constexpr Ratio kRatios[] = {
    {"ours/upper/latin1", "toupper/upper/latin1", 1.5},
    {"ours/upper/utf8", "towupper/upper/utf8", 3},
    {"ours/upper/utf8", "icu/upper/utf8", 0.5},
    {"ours/upper/utf16-latin1", "icu/upper/utf16-latin1", 1},
    {"ours/upper/utf16-greek", "icu/upper/utf16-greek", 0.4},
    {"ours/fold/utf16", "icu/fold/utf16", 1},
    {"ours/upper/latin1", "ours/special-upper/latin1", 0},
    {"ours/special-upper/utf8", "icu/upper/utf8", 0},
    {"ours/special-upper/utf16-latin1", "icu/upper/utf16-latin1", 0},
};

void register_all() {
  Env &e = env();
  static const Bytes be_latin = to_be(u16_latin()), be_greek = to_be(u16_greek()),
                     be_mixed = to_be(repeat16(kLatin + kGreekCyr));
  benchmark::RegisterBenchmark("ours/upper/latin1", Ours, &e.latin, &latin1_text(), LXO_CASE_UPPER);
  benchmark::RegisterBenchmark("toupper/upper/latin1", ToupperLoop);
  benchmark::RegisterBenchmark("ours/upper/utf8", Ours, &e.utf8, &utf8_text(), LXO_CASE_UPPER);
  benchmark::RegisterBenchmark("towupper/upper/utf8", Towupper);
  benchmark::RegisterBenchmark("ours/upper/utf16-latin1", Ours, &e.utf16, &be_latin, LXO_CASE_UPPER);
  benchmark::RegisterBenchmark("ours/upper/utf16-greek", Ours, &e.utf16, &be_greek, LXO_CASE_UPPER);
  benchmark::RegisterBenchmark("ours/fold/utf16", Ours, &e.utf16, &be_mixed, LXO_CASE_FOLD);
  benchmark::RegisterBenchmark("ours/special-upper/latin1", Ours, &e.ling_latin, &latin1_text(),
                               LXO_CASE_UPPER);
  benchmark::RegisterBenchmark("ours/special-upper/utf8", Ours, &e.ling_utf8, &utf8_text(), LXO_CASE_UPPER);
  benchmark::RegisterBenchmark("ours/special-upper/utf16-latin1", Ours, &e.ling_utf16, &be_latin,
                               LXO_CASE_UPPER);
#ifdef QEN_HAVE_ICU
  static const std::u16string mixed = repeat16(kLatin + kGreekCyr);
  benchmark::RegisterBenchmark("icu/upper/utf8", IcuUtf8Upper);
  benchmark::RegisterBenchmark("icu/upper/utf16-latin1", IcuUtf16, &u16_latin(), false);
  benchmark::RegisterBenchmark("icu/upper/utf16-greek", IcuUtf16, &u16_greek(), false);
  benchmark::RegisterBenchmark("icu/fold/utf16", IcuUtf16, &mixed, true);
#endif
}

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (!env().ok) {
    fprintf(stderr, "cannot set up the NLS installation\n");
    return 1;
  }
  register_all();
  Collect rep;
  benchmark::RunSpecifiedBenchmarks(&rep);
  printf("\nRatios time(theirs) / time(ours) (above 1: the kit is faster):\n");
  for (const Ratio &r : kRatios) print_speedup(rep, r.ours, r.theirs, r.target);
  benchmark::Shutdown();
  return 0;
}
