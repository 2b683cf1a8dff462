// A formatting context over a product of the test's own: its memory handle
// and error store, the installation of nlsinst.h (with full-width
// equivalents in JA16SJIS), and helpers that print and read the records.
#ifndef QEN_TESTS_LSFP_FIXTURE_H
#define QEN_TESTS_LSFP_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "lem.h"
#include "lml.h"
#include "lpm.h"
#include "lnx.h"
#include "lpmpkg.h"
#include "lsf_ctx.h"
#include "lsfp.h"
#include "nlsfix.h"

namespace lsfpfix {

// Full-width characters of JA16SJIS and the ASCII characters they stand for.
inline const std::map<uint8_t, uint32_t> kFullWidth = {
    {'%', 0x8193}, {'(', 0x8169}, {')', 0x816A}, {'0', 0x824F}, {'1', 0x8250}, {'2', 0x8251},
    {'3', 0x8252}, {'4', 0x8253}, {'5', 0x8254}, {'9', 0x8258}, {'d', 0x8284}, {'s', 0x8293}};

class Installed : public nlsfix::Installed {
 protected:
  static void SetUpTestSuite() {
    std::vector<nlsinst::Pair> pairs;
    for (const auto &p : nlsfix::kSjisPairs) pairs.push_back({p.b0, p.b1, p.cp});
    for (const auto &[ascii, mb] : kFullWidth)
      pairs.push_back({uint8_t(mb >> 8), uint8_t(mb), 0xFF00u + ascii - 0x20});
    dir_ = nlsinst::write(pairs, nlsfix::kCp1252High, &kFullWidth);
  }
};

// A product whose memory handle counts live blocks, with its error store.
struct Product {
  long live = 0;
  long base = 0;  // blocks of the memory handle itself
  lml_ctx *mem = nullptr;
  lwem_ctx *errs = nullptr;
  lpm_product prod{};
  lsf_pkgarea area{};
  lpm_funcs iface{};

  static void *alloc(void *u, size_t n) {
    ++static_cast<Product *>(u)->live;
    return std::malloc(n);
  }
  static void release(void *u, void *p) {
    --static_cast<Product *>(u)->live;
    std::free(p);
  }
  Product() {
    mem = lmlinit(this, alloc, release);
    base = live;
    errs = lwemist("AMERICAN_AMERICA.US7ASCII", nullptr, 1);
    prod.m.mem = mem;
    prod.m.errs = errs;
    area.product = &prod;
    iface.priv = &area;
  }
  ~Product() { lwemdst(errs); }
  lsf_ctx *context(const lxlangid *h, lxglo *glo, int flags) {
    return lsfiniu(&iface, h, glo, flags);
  }
  // Number and typed arguments of the newest record, and whether it is
  // marked; -1 when there is none.
  int newest() const { return lwemgec(errs, -1); }
  unsigned depth() const { return lwemged(errs); }
  long blocks() const { return live - base; }
};

// The result and the text of a print into a buffer of len bytes.
struct Out {
  int r;
  std::string text;
};

template <class... A>
Out print(lsf_ctx *ctx, int len, const char *fmt, A... args) {
  char buf[4096];
  std::memset(buf, '~', sizeof buf);
  int r = lsfp(ctx, buf, len, fmt, args..., LSFEND);
  // a failed print leaves what it wrote before the zeros it filled in
  const size_t room = len >= 0 && size_t(len) < sizeof buf ? size_t(len) : sizeof buf;
  size_t n = r >= 0 ? size_t(r) : strnlen(buf, room);
  return {r, std::string(buf, n)};
}

}  // namespace lsfpfix

#endif
