// Fuzz target of case conversion: texts converted in every class of
// character set into buffers of exactly the room given (so that a write past
// it is caught), with the text's CASE_FOLDING object, the EUC set's case
// maps and the special casing sort damaged by the input. Input: byte 0 the
// conversion and character set, byte 1 the room as a share of the text's
// length (bit 1: under the special casing sort), byte 2 how many of the
// following bytes are damage (the rest is the text).
// Built with clang's -fsanitize=fuzzer it is a libFuzzer target; otherwise
// case_fuzz_smoke feeds it the corpus files.
#include <stdint.h>
#include <stdlib.h>
#include <stddef.h>
#include <string.h>

#include <string>
#include <vector>

#include "caseinst.h"
#include "lxh.h"
#include "lxo.h"
#include "lxp.h"
#include "lxz.h"
#include "nlskit.h"

namespace {

constexpr CaseForm kForms[] = {{0xC0, 0xC0, 0xE0}, {0xE0, 0xC0, 0xE0}, {0x391, 0x391, 0x3B1},
                               {0x3B1, 0x391, 0x3B1}, {0x23A, 0x23A, 0x2C65},
                               {0x2C65, 0x23A, 0x2C65}};

const char *const kSets[] = {"WE8ISO8859P1", "TESTEUC", "TESTEUCD", "TESTSHIFT",
                             "UTF8",         "AL32UTF8", "AL16UTF16"};
constexpr unsigned kSetCount = sizeof kSets / sizeof kSets[0];

nlsw::FoldMap small_folds() {
  return {{'A', {'a'}},       {0xDF, {'s', 's'}},          {0xFB03, {'f', 'f', 'i'}},
          {0x391, {0x3B1}},   {0x10400, {0x10428}},        {0xFF21, {0xFF41}},
          {0x1E9E, {'s', 's'}}, {0x130, {'i', 0x307}}};
}

struct World {
  lxglo glo{};
  lxlangid h[kSetCount];
  std::vector<uint8_t> fold;  // a CASE_FOLDING object to damage
  lxcsobj *euc = nullptr;     // the loaded EUC set, whose case maps get damaged
  lxlangid ling[kSetCount];   // the same sets under the special casing sort
  uint8_t *sort = nullptr;    // the loaded sort, whose body gets damaged
  size_t sort_size = 0;
  bool ok = false;
  World() {
    std::string dir = caseinst::write(kForms, sizeof kForms / sizeof kForms[0], small_folds(), {});
    if (dir.empty()) return;
    lxlobj *t = nlskit::use(dir, &glo);
    if (!t) return;
    for (unsigned k = 0; k < kSetCount; ++k)
      if (!nlskit::handle(nlskit::american(kSets[k]), &glo, &h[k])) return;
    euc = reinterpret_cast<lxcsobj *>(lxlslot(t, h[1].cs));
    for (unsigned k = 0; k < kSetCount; ++k) {
      ling[k] = h[k];
      if (!nlskit::set_sort("TESTCASE", &glo, &ling[k])) return;
    }
    sort = reinterpret_cast<uint8_t *>(lxlslot(t, ling[0].sort));
    if (!sort) return;
    sort_size = reinterpret_cast<const lxnlsobj *>(sort)->size;
    fold = nlsw::build_case_folding(small_folds()).bytes;
    ok = euc != nullptr;
  }
};

World &world() {
  static World w;
  return w;
}

// XORs the damage into the bytes of [from, from + n).
void damage(uint8_t *p, size_t n, const uint8_t *d, size_t dn) {
  for (size_t i = 0; i < dn && n; ++i) p[(i * 7919u) % n] ^= d[i];
}

constexpr uint32_t kModes[] = {LXO_CASE_UPPER, LXO_CASE_LOWER, LXO_CASE_INITCAP, LXO_CASE_FOLD,
                               LXO_CASE_BASE};
constexpr unsigned kModeCount = sizeof kModes / sizeof kModes[0];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  World &w = world();
  if (!w.ok || size < 3) return 0;
  const unsigned set = data[0] % kSetCount;
  const uint32_t mode = kModes[(data[0] / kSetCount) % kModeCount];
  const bool special = (data[1] & 2) != 0;
  const uint32_t bound = (data[0] & 0x80) ? LXO_EXACTLEN : LXO_NULTERM;
  size_t dn = data[2];
  if (dn > size - 3) dn = size - 3;
  const uint8_t *dmg = data + 3;
  const uint8_t *text = dmg + dn;
  const size_t len = size - 3 - dn;
  const size_t room = len * 3 * data[1] / 255 + (data[1] & 1);
  const lxlangid &h = special ? w.ling[set] : w.h[set];

  // the source and the destination in buffers of exactly their size
  std::vector<uint8_t> src(text, text + len);
  uint8_t *dst = static_cast<uint8_t *>(malloc(room ? room : 1));

  // the EUC set's case maps and their pair counts, damaged for this input
  uint8_t *maps = reinterpret_cast<uint8_t *>(w.euc) + LXCS_DATA + w.euc->dir[LXCT_UPPER];
  const size_t maplen = lxcstablen(w.euc, LXCT_UPPER) + lxcstablen(w.euc, LXCT_LOWER);
  std::vector<uint8_t> saved(maps, maps + maplen);
  const uint16_t counts[2] = {w.euc->counts[LXCT_UPPER], w.euc->counts[LXCT_LOWER]};
  if (set == 1 || set == 2) {
    damage(maps, maplen, dmg, dn);
    if (dn) w.euc->counts[LXCT_UPPER] = uint16_t(counts[0] ^ dmg[0]);
  }

  // the sort from its flags on (flags, counts, section offsets, sections),
  // damaged for this input
  constexpr size_t kFrom = offsetof(lxsrtobj, flags);
  uint8_t *body = w.sort + kFrom;
  const size_t body_len = w.sort_size > kFrom ? w.sort_size - kFrom : 0;
  std::vector<uint8_t> sort_saved(body, body + body_len);
  if (special) damage(body, body_len, dmg, dn);

  w.glo.status = 0;
  if (mode == LXO_CASE_FOLD) {
    std::vector<uint8_t> obj = w.fold;
    damage(obj.data() + LX_OBJHDR, obj.size() - LX_OBJHDR, dmg, dn);
    lxmcur in, out;
    lxmcpen(src.data(), len, &in, &h, &w.glo);
    lxmopen(dst, room, &out, &h, &w.glo, 1);
    size_t skipped = static_cast<size_t>(in.pos - in.start);
    size_t r = lxpCaseFold(obj.data(), &out, room, &in, len - skipped, bound, &w.glo);
    if (r > room) abort();
  } else {
    size_t r = lxsCnvCase(dst, room, src.data(), len, mode | bound, &h, &w.glo);
    if (r > room) abort();
  }
  // the case map primitives over every double-byte character of the EUC sets
  if (set == 1 || set == 2) {
    const lxcsobj *cs = reinterpret_cast<const lxcsobj *>(lxlslot(w.glo.table, h.cs));
    for (unsigned t = 0; t < 256; ++t) {
      const uint8_t ch[2] = {0xA3, uint8_t(t)};
      uint8_t out[4];
      if (lxpmmup(cs, out, ch, 2) > 4 || lxpmmlo(cs, out, ch, 2) > 4) abort();
    }
  }
  memcpy(maps, saved.data(), maplen);
  memcpy(body, sort_saved.data(), body_len);
  w.euc->counts[LXCT_UPPER] = counts[0];
  w.euc->counts[LXCT_LOWER] = counts[1];
  free(dst);
  return 0;
}
