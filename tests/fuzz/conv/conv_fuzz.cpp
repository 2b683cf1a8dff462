// Fuzz target of the conversions. Input: byte 0 picks the source set, byte 1
// the destination set, byte 2 the output room of the pieces (1 to 16) and
// byte 3 where the source is cut in two; the rest is the source text.
// Checks: nothing is written past any output size, lxgcnv's counts stay
// inside the source, and when the source is valid text (converted whole
// without replacement) the pieces through lxgcvp give the whole result (by
// characters, where a set may spell one text in more than one way).
// Built with clang's -fsanitize=fuzzer it is a libFuzzer target; otherwise
// conv_fuzz_smoke feeds it the corpus and generated inputs.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "lxg.h"
#include "lxh.h"
#include "lxz.h"
#include "nlsconv.h"
#include "nlskit.h"
#include "nlsobjw.h"

namespace {

constexpr uint16_t kSets[] = {31, 871, 873, 2000, 2002, 1000, 900, 830, 850, 854,
                              9996, 9997, 9998, 9999};
constexpr size_t kNSets = sizeof kSets / sizeof kSets[0];

// A two-byte EUC-style set of a few rows over CJK code points.
nlsw::CharsetDesc euc(const char *name, uint16_t id, uint32_t cp0, unsigned prefix) {
  nlsw::CharsetDesc s = nlsw::ascii_charset(name, id);
  s.kind = prefix ? nlsw::CsKind::Trie : nlsw::CsKind::Fixed2;
  s.maxbytes = prefix ? 4 : 2;
  s.mb_repl = 0xA1A1;
  uint32_t cp = cp0;
  for (unsigned a = 0xA1; a <= 0xA8; ++a)
    for (unsigned b = 0xA1; b <= 0xFE; ++b) {
      if (prefix)
        s.map.push_back({{0x8E, (uint8_t)prefix, (uint8_t)a, (uint8_t)b}, cp++});
      else
        s.map.push_back({{(uint8_t)a, (uint8_t)b}, cp++});
    }
  return s;
}

struct Setup {
  lxglo glo{};
  bool ok = false;
  const lxcsobj *cs[kNSets] = {};
  Setup() {
    nlsw::Installation inst = nlsw::basic_installation();
    nlsw::CharsetDesc sh = euc("KOSHIFT", 900, 0xAC00, 0);
    nlsw::make_shift_sensitive(sh, nlsconv::kKoshiftIn, nlsconv::kKoshiftOut);
    nlsw::add_charset(inst, sh);
    nlsw::CharsetDesc jp = euc("JA16EUC", 830, 0x4E00, 0);
    for (unsigned b = 0xA1; b <= 0xDF; ++b) jp.map.push_back({{0x8E, (uint8_t)b}, 0xFF61 + b - 0xA1});
    jp.kind = nlsw::CsKind::Trie;
    nlsw::add_charset(inst, jp);
    nlsw::add_charset(inst, euc("KO16KSC5601", 840, 0xAC00, 0));
    nlsw::add_charset(inst, euc("ZHS16CGB231280", 850, 0x4E00, 0));
    nlsw::add_charset(inst, euc("ZHT32EUC", 863, 0x5000, 0xA1));
    nlsw::CharsetDesc gb = euc("ZHS32GB18030", 854, 0x4E00, 0);
    gb.maxbytes = 4;
    nlsw::add_charset(inst, gb);
    for (uint16_t id : {9996, 9997, 9998, 9999})
      nlsw::add_listed(inst, LX_TCS, id, "ISO2022-" + std::to_string(id), nlsconv::kBuiltinStatefulSize);
    const std::string dir = nlskit::write(inst);
    if (dir.empty() || !nlskit::use(dir, &glo)) return;
    for (size_t i = 0; i < kNSets; ++i) {
      cs[i] = lxhci2h(kSets[i], &glo);
      if (!cs[i]) return;
    }
    ok = true;
  }
};

bool stateful(uint16_t id) { return id >= 9996; }

// KOSHIFT: a whole-text copy within the set keeps redundant shift-ins that the
// piecewise loop drops, so its results compare by the characters they hold.
bool shift_coded(uint16_t id) { return id == 900; }

void check(bool c) {
  if (!c) abort();
}

std::string whole(Setup &s, const lxcsobj *to, const lxcsobj *from, const uint8_t *src, size_t n,
                  size_t room) {
  std::vector<uint16_t> buf(room / 2 + 8, 0xA5A5);
  auto *b = reinterpret_cast<uint8_t *>(buf.data());
  size_t out = lxgcnv(b, to, room, src, from, n, &s.glo);
  check(out <= room);
  for (size_t i = room; i < room + 8; ++i) check(b[i] == 0xA5);
  check(s.glo.nbytes <= n);
  return std::string(reinterpret_cast<char *>(b), out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static Setup s;
  if (!s.ok || size < 4) return 0;
  size_t si = data[0] % kNSets, di = data[1] % kNSets;
  uint32_t room = 1 + data[2] % 16;
  // Unit text starts on an even address.
  std::vector<uint16_t> hold(size / 2 + 1);
  auto *src = reinterpret_cast<uint8_t *>(hold.data());
  size_t n = size - 4;
  memcpy(src, data + 4, n);
  size_t cut = n ? data[3] % (n + 1) : 0;
  const lxcsobj *from = s.cs[si], *to = s.cs[di];

  std::string all = whole(s, to, from, src, n, 4 * n + 64);
  whole(s, to, from, src, n, room);  // bounds with a small output
  // Is the source valid text: read whole, without replacement or leftovers?
  whole(s, s.cs[2], from, src, n, 4 * n + 64);
  bool valid = s.glo.status == 0 && s.glo.nbytes == n && s.glo.repmark == 0;
  if (kSets[si] == 1000 || kSets[si] == 2000 || kSets[si] == 2002 || stateful(kSets[si]))
    valid = valid && s.glo.repmark == 0;

  s.glo.carry = {};
  std::string got;
  const void *p = src;
  alignas(8) uint8_t buf[32];
  bool stuck = false;
  for (int phase = 0; phase < 3 && !stuck; ++phase) {
    uint32_t left = phase == 0 ? (uint32_t)cut : phase == 1 ? (uint32_t)(n - cut) : 0;
    uint16_t mode = phase == 2 ? 1 : 0;
    for (int guard = 0;; ++guard) {
      if (guard > 20000) {
        stuck = true;
        break;
      }
      memset(buf, 0xA5, sizeof buf);
      int32_t w = lxgcvp(buf, to, room, &p, from, &left, mode, &s.glo);
      if (w < 0) {
        stuck = true;
        break;
      }
      check((uint32_t)w <= room);
      for (size_t i = room; i < sizeof buf; ++i) check(buf[i] == 0xA5);
      check(s.glo.carry.npending <= 4 && s.glo.carry.ncarried <= 6);
      got.append(reinterpret_cast<char *>(buf), (size_t)w);
      if (left == 0 && s.glo.carry.npending == 0 && !(mode && s.glo.status == LXG_ST_SMALL)) break;
      if (w == 0 && left > 0 && s.glo.status == LXG_ST_SMALL && s.glo.carry.npending == 0) {
        stuck = true;  // a character that this room cannot take
        break;
      }
    }
  }
  check(static_cast<const uint8_t *>(p) <= src + n);
  if (valid && !stuck && room >= 8 && kSets[di] != 1000) {
    if (stateful(kSets[di]) || shift_coded(kSets[di]))
      check(whole(s, s.cs[2], to, reinterpret_cast<const uint8_t *>(got.data()), got.size(), 8 * got.size() + 64) ==
            whole(s, s.cs[2], to, reinterpret_cast<const uint8_t *>(all.data()), all.size(), 8 * all.size() + 64));
    else
      check(got == all);
  }
  return 0;
}
