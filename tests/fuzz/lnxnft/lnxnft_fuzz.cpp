// Fuzz target of the NUMBER formatted text. Input: a selector byte (bits
// 0-1: the handle US7ASCII, WE8EBCDIC37, AL16UTF16 or the shift-sensitive
// NUMSHIFT; bit 2: no handle; bit 3: lnxnft instead of lnxnftg), the
// descriptor's flags (4 bytes, little-endian), its five position bytes,
// up to 8 group bytes ended by 0, then a NUMBER body (the rest). Only
// NUMBERs that lnxchk accepts are formatted. The text must stay inside the
// room of the call (the width, the text-minimum room, twice either for
// AL16UTF16), the reported length too, and a date mode reports its room.
// Built with clang's -fsanitize=fuzzer it is a libFuzzer target; otherwise
// lnxnft_fuzz_smoke feeds it the corpus files.
#include <stdint.h>
#include <stdlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "lnx.h"
#include "lxh.h"
#include "lxz.h"
#include "numinst.h"

namespace {

constexpr unsigned kSets = numinst::World::kSets;
constexpr size_t kHead = 1 + 4 + 5;  // selector, flags, positions
constexpr size_t kMaxGroups = 8;
constexpr size_t kOut = 2 * 256;
constexpr uint8_t kGuard = 0xA5;

void require(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < kHead + 1) return 0;
  numinst::World &w = numinst::world();
  const uint8_t sel = data[0];
  const lxlangid *h = (sel & 4) ? nullptr : &w.h[sel % kSets];
  lnx_fmt f{};
  std::memcpy(&f.flags, data + 1, sizeof f.flags);
  f.intpos = data[5];
  f.decpos = data[6];
  f.width = data[7];
  f.minint = data[8];
  f.mindec = data[9];
  size_t at = kHead;
  for (size_t g = 0; g < kMaxGroups && at < size && data[at]; ++g) f.groups[g] = data[at++];
  if (at < size && !data[at]) ++at;
  // the NUMBER in a buffer of its own size, so that any read past it is caught
  std::vector<uint8_t> num(data + at, data + size);
  if (num.empty() || num.size() > LNX_MAXBODY || !lnxchk(num.data(), num.size())) return 0;

  uint8_t out[kOut];
  std::memset(out, kGuard, sizeof out);
  const size_t n = (sel & 8) ? lnxnft(num.data(), num.size(), &f, out, h)
                             : lnxnftg(num.data(), num.size(), &f, out, h, &w.glo);
  const size_t unit = h && (h->flags & LXH_F_AL16UTF16) ? 2 : 1;
  const bool textmin = (f.flags & LNXF_TEXTMIN) && !(f.flags & (LNXF_DATE_MDY | LNXF_DATE_DMY)) &&
                       !(f.flags & (LNXF_ROMAN | LNXF_HEX));
  const size_t width = textmin && f.width < LNX_TEXTMIN_ROOM ? LNX_TEXTMIN_ROOM : f.width;
  const size_t room = unit * width;
  require(n <= room);
  for (size_t i = room; i < sizeof out; ++i) require(out[i] == kGuard);
  if ((f.flags & LNXF_FORMATTED) && (f.flags & (LNXF_DATE_MDY | LNXF_DATE_DMY)))
    require(n == unit * f.width);
  if (unit == 2) require(n % 2 == 0);
  return 0;
}
