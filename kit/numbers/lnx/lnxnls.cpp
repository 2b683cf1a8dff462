// What the NUMBER text formatter needs of the NLS environment: converting a
// text into another charset, a UTF8 copy of a language handle, and a fresh
// environment for a caller that has none.
#include <cstring>

#include "lnx.h"
#include "lxg.h"
#include "lxh.h"
#include "lxp.h"

namespace {
constexpr int kNoCharset = -7;
constexpr int kNoRoom = -13;
constexpr uint32_t kUtf8Id = 871;
constexpr int kCharsetItem = 79;
constexpr size_t kTerminator = 2;  // two zero bytes end text in one- and two-byte sets
}  // namespace

extern "C" {

int LnxqBufConv(const lxlangid *lang, const void *text, size_t textlen, const lxcsobj *target,
                void *buf, size_t size, size_t *outlen) {
  lxglo *glo = lxGetGloPtr(lang, nullptr);
  const lxcsobj *cs = glo ? (const lxcsobj *)lxdgetobj(lang->cs, LXP_TYPE_CHARSET, glo) : nullptr;
  if (!cs) return kNoCharset;
  size_t n = lxgcnv(buf, target, size, text, cs, textlen, glo);
  // A text cut short for want of room is no success either.
  if (size < kTerminator || n > size - kTerminator || glo->status == LXG_ST_SMALL) return kNoRoom;
  std::memset(static_cast<char *>(buf) + n, 0, kTerminator);
  *outlen = n;
  return 0;
}

const lxlangid *LnxqLid2Utf(const lxlangid *lang, lxlangid *copy, lxglo *glo) {
  std::memcpy(copy, lang, sizeof *copy);
  return lxhnmod(copy, kUtf8Id, kCharsetItem, 1, glo) ? copy : lang;
}

lxglo *slnxGetGloPtr(lxlobj **global, const lxlangid *, lxglo *buf, uint32_t *status) {
  *global = lxlinit(nullptr, 1, status);
  if (!*global) return nullptr;
  return lxinitc(buf, *global, nullptr, 0);
}

}  // extern "C"
