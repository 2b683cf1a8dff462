// Fuzz target of the date format compiler. The first input byte picks the
// handle (bits 0-2: US7ASCII, WE8EBCDIC37, UTF8, the shift-sensitive
// LDXSHIFT, AL16UTF16, WE8ISO8859P1 under a linguistic sort; bit 3: the
// territory LDXTEST with DL, DS and TS texts, else LDXLOOP whose expansions
// nest) and the compile (bit 4: input format); the second byte is the room;
// the rest is the format text. A compile either raises one of the
// compiler's errors or writes a well-formed format within the room; a text
// of printable ASCII compiles alike as UTF-16 units. A compiled format is
// then rendered (ldxdts) for one of a few dates picked by the text's length,
// into a room of the second byte: the renderer raises one of its errors or
// writes within the room, and the context keeps the caller's handle.
// Built with clang's -fsanitize=fuzzer it is a libFuzzer target; otherwise
// ldxfmt_fuzz_smoke feeds it the corpus files.
#include <stdint.h>
#include <stdlib.h>

#include <csetjmp>
#include <cstring>
#include <string>

#include "ldx.h"
#include "ldxfmtinst.h"
#include "nlskit.h"
#include "ldxtest.h"
#include "lxh.h"
#include "lxz.h"

namespace {

constexpr unsigned kSets = 6, kUtf16 = 4, kHeader = 2;
constexpr size_t kMaxText = 255;

struct World {
  lxglo glo{};
  lxlobj *table = nullptr;
  lxlangid h[2][kSets]{};
  World() {
    const std::string dir = ldxfmtinst::write();
    if (dir.empty()) abort();
    table = nlskit::use(dir, &glo);
    if (!table) abort();
    const char *const sets[kSets] = {"US7ASCII", "WE8EBCDIC37", "UTF8", "LDXSHIFT", "AL16UTF16",
                                     "WE8ISO8859P1"};
    const char *const territories[2] = {"LDXLOOP", "LDXTEST"};
    for (unsigned t = 0; t < 2; ++t)
      for (unsigned k = 0; k < kSets; ++k) {
        const std::string name = std::string("AMERICAN_") + territories[t] + "." + sets[k];
        if (!nlskit::handle(name, &glo, &h[t][k])) abort();
      }
    for (auto &row : h)
      if (!lxhlmod(&row[kSets - 1], "GERMAN", 6, 80, 0, 0, &glo)) abort();
  }
};

World &world() {
  static World w;
  return w;
}

bool known_error(int err) {
  return err == LDX_ERR_NLS || err == LDX_ERR_LITLEN || err == LDX_ERR_ROOM ||
         (err >= LDX_ERR_TWICE && err <= LDX_ERR_UNKNOWN) || err == LDX_ERR_NLSFAIL;
}

// Compiles the text; returns the bytes written, or -error.
long compile(const lxlangid *h, bool input, const uint8_t *text, size_t len, uint8_t *out,
             uint8_t room) {
  World &w = world();
  jmp_buf jb;
  ldx_ctx ctx;
  if (const int err = setjmp(jb)) return -long(err);
  ldxnbeg(&ctx, h, ldxtest::jump, &jb, w.table, &w.glo);
  const size_t n = (input ? ldxsti : ldxsto)(&ctx, text, uint8_t(len), out, room);
  ldxend(&ctx);
  return long(n);
}

// The compiled bytes are pairs, literals of 1 to 209 bytes and one end pair
// at the end.
void check_format(const uint8_t *f, size_t n) {
  size_t i = 0;
  for (;;) {
    if (i + 2 > n) abort();
    const uint8_t code = f[i], flags = f[i + 1];
    i += 2;
    if (code == LDX_END) {
      if (i != n || (flags & ~LDX_F_PAD)) abort();
      return;
    }
    if (code > LDX_LIT) {
      i += code - LDX_LIT;
      continue;
    }
    if (code == LDX_LIT || code == LDX_FM || (flags & ~0x1Fu)) abort();
  }
}

// Dates at the ends of the range and of the day.
const ldx_date kDates[] = {{-4712, 1, 1, 0, 0, 0, 0},     {-1, 12, 31, 23, 59, 59, 0},
                           {1, 1, 1, 12, 0, 0, 0},        {1582, 10, 15, 0, 30, 0, 0},
                           {2000, 2, 29, 13, 7, 9, 0},    {9999, 12, 31, 23, 59, 59, 0}};

bool render_error(int err) {
  return err == LDX_ERR_NLS || err == LDX_ERR_ROOM || err == LDX_ERR_NOERA ||
         err == LDX_ERR_NLSFAIL;
}

// Renders a date under the compiled format into room bytes.
void render(const lxlangid *h, const uint8_t *fmt, const ldx_date &d, uint16_t room) {
  World &w = world();
  constexpr uint8_t kFill = 0xEE;
  uint8_t out[256 + 8];
  std::memset(out, kFill, sizeof out);
  jmp_buf jb;
  ldx_ctx ctx;
  if (const int err = setjmp(jb)) {
    if (!render_error(err) || ctx.lang != h) abort();
    ldxend(&ctx);
    return;
  }
  ldxnbeg(&ctx, h, ldxtest::jump, &jb, w.table, &w.glo);
  const size_t n = ldxdts(&ctx, out, room, &d, fmt);
  if (n > room || ctx.lang != h) abort();
  for (size_t i = room; i < sizeof out; ++i)
    if (out[i] != kFill) abort();
  ldxend(&ctx);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < kHeader) return 0;
  World &w = world();
  const unsigned set = (data[0] & 7) % kSets;
  const lxlangid *h = &w.h[(data[0] >> 3) & 1][set];
  const bool input = (data[0] >> 4) & 1;
  const uint8_t room = data[1];
  const uint8_t *text = data + kHeader;
  const size_t len = size - kHeader > kMaxText ? kMaxText : size - kHeader;
  uint8_t out[256];
  std::memset(out, 0xEE, sizeof out);
  const long n = compile(h, input, text, len, out, room);
  if (n < 0) {
    if (!known_error(int(-n))) abort();
  } else {
    if (size_t(n) > room || out[n] != 0xEE) abort();
    check_format(out, size_t(n));
    render(h, out, kDates[len % (sizeof kDates / sizeof kDates[0])], room);
  }
  // Printable ASCII compiles alike read as bytes and as UTF-16 units.
  if (set != 0 || len * 2 > kMaxText) return 0;
  for (size_t i = 0; i < len; ++i)
    if (text[i] < 0x20 || text[i] > 0x7E) return 0;
  uint8_t units[kMaxText], again[256];
  for (size_t i = 0; i < len; ++i) {
    units[2 * i] = 0;
    units[2 * i + 1] = text[i];
  }
  const lxlangid *u = &w.h[(data[0] >> 3) & 1][kUtf16];
  const long m = compile(u, input, units, 2 * len, again, room);
  if (m != n || (n > 0 && std::memcmp(out, again, size_t(n)) != 0)) abort();
  return 0;
}
