// NUMBER fuzz target. The input is a selector byte, a length byte and two
// candidate NUMBER bodies. Both are checked with lnxchk; for accepted values
// every operation's result must pass lnxchk, a finite a - b must equal
// a + (-b), integral values in range must round-trip through lnxsni and
// lnxmin, and the text forms must stay inside their fields.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "lnx.h"

namespace {

void require(bool ok) {
  if (!ok) __builtin_trap();
}

bool finite(const uint8_t *n, size_t len) {
  return !(len == 1 && n[0] == LNX_NEGINF) && !(len == 2 && n[0] == LNX_POSINF0 && n[1] == LNX_POSINF1);
}

void check_result(const uint8_t *r, size_t len) { require(len >= 1 && len <= LNX_MAXBODY && lnxchk(r, len)); }

void unary(const uint8_t *a, size_t alen, uint8_t sel) {
  uint8_t r[LNX_MAXPREFIXED];
  size_t rl = 0;
  const int places = static_cast<int8_t>(sel);
  lnxneg(a, alen, r, &rl);
  check_result(r, rl);
  lnxrou(a, alen, r, &rl, places);
  check_result(r, rl);
  lnxfpr(a, alen, r, &rl, places / 3);
  check_result(r, rl);
  int flag = -1;
  lnxsca(a, alen, r, &rl, places / 2, places / 4, &flag);
  check_result(r, rl);
  require(flag == 0 || flag == 1);

  // Integral values in the signed 8-byte range round-trip.
  int64_t v = 0;
  int st = lnxsni(a, alen, &v, 8, LNX_KIND_SIGNED | LNX_SNI_FULLMIN);
  require(st >= 0 && st <= 2);
  if (st == 0) {
    uint8_t back[LNX_MAXPREFIXED];
    size_t bl = 0;
    require(lnxmin(&v, 8, LNX_KIND_SIGNED, back, &bl) == 0);
    check_result(back, bl);
    // equal unless a fraction was dropped
    int64_t again = 0;
    require(lnxsni(back, bl, &again, 8, LNX_KIND_SIGNED | LNX_SNI_FULLMIN) == 0 && again == v);
    if (finite(a, alen) && (a[0] & 0x80) && alen - 1 <= static_cast<size_t>(a[0] - 192))
      require(bl == alen && std::memcmp(back, a, bl) == 0);
  }
  for (unsigned flags : {0u, 0x8000u, 0x4000u | 0x8000u})
    for (size_t size : {1u, 2u, 4u})
      for (unsigned kind : {0u, 1u, 2u}) {
        uint32_t out = 0;
        st = lnxsni(a, alen, &out, size, kind | flags);
        require(st >= 0 && st <= 2);
      }

  // Text forms stay inside their fields.
  unsigned char field[80];
  int width = static_cast<int8_t>(sel) % 60;
  std::memset(field, 0xEE, sizeof field);
  int len = -1;
  lnxnucoptg(a, alen, field, width, nullptr, &len, sel & 1, nullptr);
  if (width != 0) require(len >= 0 && len <= std::abs(width));
  for (size_t i = std::abs(width); i < sizeof field; ++i) require(field[i] == 0xEE);
  char hex[80];
  std::memset(hex, 0x55, sizeof hex);
  size_t size = sel % 70;
  size_t n = lnxqn2h(a, alen, hex, size, sel & 2, lnxqasc_chars);
  require(n <= size);
  for (size_t i = (sel & 2) && n ? size : n; i < sizeof hex; ++i) require(hex[i] == 0x55);
  uint8_t r2[LNX_MAXPREFIXED];
  lnxcopy(a, alen, r2, nullptr);
  require(lnxchk(r2, 0) && lnxsgn(r2, 0) == lnxsgn(a, alen));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  const uint8_t sel = data[0];
  size_t alen = data[1] % (LNX_MAXBODY + 1);
  data += 2, size -= 2;
  if (alen > size) alen = size;
  const uint8_t *a = data, *b = data + alen;
  size_t blen = size - alen > LNX_MAXBODY ? LNX_MAXBODY : size - alen;
  uint8_t ca[LNX_MAXBODY + 1], cb[LNX_MAXBODY + 1];  // exact-size copies for the sanitizers
  const bool oka = alen && lnxchk(a, alen), okb = blen && lnxchk(b, blen);
  if (oka) unary(static_cast<const uint8_t *>(std::memcpy(ca, a, alen)), alen, sel);
  if (okb) unary(static_cast<const uint8_t *>(std::memcpy(cb, b, blen)), blen, sel);
  if (!oka || !okb) return 0;
  uint8_t s[LNX_MAXPREFIXED], t[LNX_MAXPREFIXED], nb[LNX_MAXPREFIXED];
  size_t sl = 0, tl = 0, nl = 0;
  lnxadd(ca, alen, cb, blen, s, &sl);
  check_result(s, sl);
  lnxmul(ca, alen, cb, blen, s, &sl);
  check_result(s, sl);
  lnxsub(ca, alen, cb, blen, s, &sl);
  check_result(s, sl);
  if (finite(ca, alen) && finite(cb, blen)) {
    lnxneg(cb, blen, nb, &nl);
    lnxadd(ca, alen, nb, nl, t, &tl);
    require(sl == tl && std::memcmp(s, t, sl) == 0);
  }
  return 0;
}
