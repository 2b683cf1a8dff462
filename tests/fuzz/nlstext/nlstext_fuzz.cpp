// Fuzz target of the cursor, count, copy and pad operations. The input's
// first byte picks the character set (single-byte, UTF8, AL32UTF8,
// shift-sensitive, AL16UTF16), the next four bytes the flags, and the next
// two a length and a room; the rest is the text. Every operation reads the
// text from a heap block of exactly its size and writes into heap blocks of
// exactly the room, so that a sanitizer sees any access past either.
// Built with clang's -fsanitize=fuzzer it is a libFuzzer target; otherwise
// nlstext_fuzz_smoke feeds it the corpus files.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "lxh.h"
#include "lxm.h"
#include "lxo.h"
#include "lxz.h"
#include "nlskit.h"
#include "nlsobjw.h"

namespace {

// A UTF-8 set that knows the case and class of U+00C4 and the class of U+4E00.
nlsw::CharsetDesc utf(const char *name, uint16_t id, uint8_t maxbytes, uint32_t flags) {
  nlsw::CharsetDesc s = nlsw::utf8_family_charset(name, id, maxbytes);
  s.flags = flags;
  s.classes[{0xE4, 0xB8, 0x80}] = 0x810;
  s.classes[{0xC3, 0x84}] = 0x804;
  s.lower_pairs[0xC384] = 0xC3A4;
  s.upper_pairs[0xC3A4] = 0xC384;
  return s;
}

struct Setup {
  lxglo glo{};
  lxlangid h[5]{};
  bool ok = false;
  Setup() {
    nlsw::Installation inst;
    nlsw::add_language(inst, nlsw::american());
    nlsw::add_territory(inst, nlsw::america());
    nlsw::add_charset(inst, nlsw::latin1_charset());
    nlsw::add_charset(inst, utf("UTF8", LXCS_UTF8, 3, LXCSF_SURR6));
    nlsw::add_charset(inst, utf("AL32UTF8", LXCS_AL32UTF8, 4, LXCSF_UTF8SHAPE));
    {
      nlsw::CharsetDesc s = nlsw::ascii_charset("TESTSHIFT", 900);
      s.map.push_back({{0xA3, 0xC1}, 0xFF21});
      s.map.push_back({{0xA1, 0xA1}, 0x3000});
      s.classes[{0xA3, 0xC1}] = 0x814;
      s.classes[{0xA1, 0xA1}] = 0x50;
      s.equivalents['A'] = 0xA3C1;
      nlsw::make_shift_sensitive(s, 0x0F, 0x0E);
      for (unsigned b = 0xA1; b <= 0xFE; ++b) s.byte_classes[uint8_t(b)] = 1;
      nlsw::add_charset(inst, s);
    }
    {
      nlsw::CharsetDesc s = nlsw::al16utf16_charset();
      s.latin_props.assign(256, 1 << 6);
      s.properties[{0x4E, 0x00}] = 2 << 6;
      s.properties[{0xD8, 0x3D, 0xDE, 0x00}] = 2 << 6;
      s.combining[0x0301] = 230;
      nlsw::add_charset(inst, s);
    }
    const std::string dir = nlskit::write(inst);
    if (dir.empty() || !nlskit::use(dir, &glo)) return;
    const char *sets[] = {"WE8ISO8859P1", "UTF8", "AL32UTF8", "TESTSHIFT", "AL16UTF16"};
    ok = true;
    for (int k = 0; k < 5; ++k) ok = ok && nlskit::handle(nlskit::american(sets[k]), &glo, &h[k]);
  }
};

Setup &setup() {
  static Setup s;
  return s;
}

// A heap block of exactly n bytes (new[] gives an address even for 0).
struct Block {
  uint8_t *p;
  Block(const uint8_t *from, size_t n) : p(new uint8_t[n]) {
    if (n) memcpy(p, from, n);
  }
  explicit Block(size_t n) : p(new uint8_t[n]) { memset(p, '#', n); }
  ~Block() { delete[] p; }
  Block(const Block &) = delete;
  Block &operator=(const Block &) = delete;
  uint8_t *data() { return p; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Setup &s = setup();
  if (!s.ok || size < 7) return 0;
  const lxlangid *h = &s.h[data[0] % 5];
  uint32_t flags;
  memcpy(&flags, data + 1, 4);
  const size_t n = data[5], room = data[6] % 64;
  const size_t len = size - 7;
  lxglo *g = &s.glo;
  Block text(data + 7, len);
  uint8_t *t = text.data();
  // a NUL-terminated copy for the operations that read up to a NUL
  std::vector<uint8_t> z(t, t + len);
  z.push_back(0);
  z.push_back(0);
  const uint32_t cnt_flags[] = {0, 0x1000, 0x2000, 0x4000, 0x8000};

  lxmcur c;
  lxmopen(t, len, &c, h, g, flags & 1);
  while (lxmleft(&c) > 0) {
    (void)lxmalnx(&c, g);
    (void)lxmspax(&c, g);
    (void)lxmuppx(&c, g);
    (void)lxmc2wx(&c, g);
    (void)lxm2wlx(&c, g);
    (void)lxm2wux(&c, g);
    (void)lxmdspx(&c, g);
    (void)lxmdssln(&c, g);
    (void)lxoCnvCh2Wide(&c, 0x20, g);
    (void)lxmctex(&c, 'A', g);
    if (lxmfwdx(&c, g) == 0) break;
  }
  lxmopen(t, len, &c, h, g, 0);
  (void)lxoCntByte(&c, n, n, flags & 0xB0000080u, g);
  for (uint32_t f : cnt_flags) {
    lxmopen(t, len, &c, h, g, 0);
    (void)lxoSkip(&c, n, f | (flags & 0x10000000u), g);
    (void)lxsCntChar(t, len, f | (flags & 0x10000000u), h, g);
  }
  size_t l = len, k = n;
  (void)lxsCntXExc(t, &l, &k, flags & 0x20000060u, h, g);
  (void)lxsCntDisp(t, len, (flags & 0x300000A0u) | 0x10000000u, h, g);
  (void)lxsCntDisp(z.data(), size_t(-1), 0x10000000u, h, g);

  Block out(room);
  (void)lxsCpStr(out.data(), room, t, len, flags & 0x30000000u, h, g);
  if (room > 0) (void)lxscop(out.data(), room, z.data(), h, g);
  const uint32_t conv[] = {0x10, 0x20, 0x80, 0x100, 0};
  for (int op = 0; op < 4; ++op) {
    lxmcur in, o;
    lxmopen(t, len, &in, h, g, 0);
    in.shifted = in.shift_sensitive ? int32_t(flags >> 4 & 1) : 0;
    lxmopen(out.data(), room, &o, h, g, 1);
    o.shifted = o.shift_sensitive ? int32_t(flags >> 5 & 1) : 0;
    switch (op) {
      case 0: (void)lxoCpStr(&o, room, &in, n ? n : len, flags & 0x30000000u, g); break;
      case 1: (void)lxoCpDisp(&o, room, &in, len, n, flags & 0x300000A0u, g); break;
      case 2: (void)lxoPadStr(&o, &in, len, '.', n % 64, flags & 0x40000000u, g); break;
      default:
        while (lxmleft(&in) > 0 && lxmleft(&o) > 0)
          if (lxoCvChar(&o, room, &in, len, conv[flags % 5], g) == 0) break;
        break;
    }
  }
  return 0;
}
