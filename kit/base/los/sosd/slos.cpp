// OS error records, OS error texts and the status-record text.
#include <cstdio>
#include <cstring>
#include <string_view>

#include "los.h"
#include "slz.h"

static_assert(sizeof(slos_error) == 216, "slos_error layout");
static_assert(offsetof(slos_error, call) == 4);
static_assert(offsetof(slos_error, location) == 37);
static_assert(offsetof(slos_error, other) == 50);
static_assert(offsetof(slos_error, oserr) == 212);
static_assert(offsetof(sl_status, oserr) == 4);
static_assert(offsetof(sl_status, detail) == 8);
static_assert(sizeof(sl_status) == 8 + 4 * sizeof(void *));

namespace {

// Copies at most cap characters of text into a field of cap + 1 bytes.
template <size_t N>
void put_field(char (&field)[N], const char *text) {
  constexpr size_t cap = N - 1;
  size_t n = text ? strnlen(text, cap) : 0;
  memcpy(field, text ? text : "", n);
  field[n] = '\0';
}

// Appends up to the room left; returns the bytes written.
size_t put_piece(char *buf, size_t &room, std::string_view piece) {
  size_t n = piece.size() < room ? piece.size() : room;
  memcpy(buf, piece.data(), n);
  room -= n;
  return n;
}

}  // namespace

extern "C" void slosFillErr(slos_error *err, int32_t code, int32_t oserr,
                            const char *msg, const char *loc) {
  if (err == nullptr) return;
  err->code = code;
  err->oserr = oserr;
  put_field(err->call, msg);
  put_field(err->location, loc);
}

extern "C" void slosFillInt(slos_error *err, const char *loc) {
  if (err == nullptr) return;
  err->code = SLOS_ERR_INTERNAL;
  err->oserr = 0;
  put_field(err->location, loc);
}

extern "C" void slosOtherInfo(slos_error *err, const char *text) {
  if (err == nullptr) return;
  put_field(err->other, text);
}

extern "C" int slosDep2Mesg(int32_t oserr, char *buf, size_t len) {
  return slzerrstr(oserr, buf, len) != nullptr ? 1 : 0;
}

extern "C" void slosDep2String(int32_t oserr, char *buf, size_t len) {
  if (buf == nullptr || len == 0) return;
  char digits[16];
  int n = snprintf(digits, sizeof digits, "%d", static_cast<int>(oserr));
  size_t keep = static_cast<size_t>(n) < len - 1 ? static_cast<size_t>(n) : len - 1;
  memcpy(buf, digits, keep);
  buf[keep] = '\0';
}

extern "C" void *slmecpy(void *dst, const void *src, size_t n) {
  return n ? memcpy(dst, src, n) : dst;
}

extern "C" int slcgems(const sl_status *st, char *buf, size_t len) {
  if (st == nullptr || buf == nullptr || len == 0) return 0;
  size_t room = len;
  size_t used = 0;
  char piece[64];
  if (st->oserr >= 1) {
    int n = snprintf(piece, sizeof piece, "%s Error: %d: ", "SVR4",
                     static_cast<int>(st->oserr));
    used += put_piece(buf + used, room, std::string_view(piece, static_cast<size_t>(n)));
    char text[256];
    const char *msg = slzerrstr(st->oserr, text, sizeof text);
    used += put_piece(buf + used, room, msg ? msg : "Unknown system error");
    if (room > 0) used += put_piece(buf + used, room, "\n");
  }
  for (intptr_t d : st->detail) {
    if (d == 0) continue;
    int n = snprintf(piece, sizeof piece, "Additional information: %d\n",
                     static_cast<int32_t>(d));
    used += put_piece(buf + used, room, std::string_view(piece, static_cast<size_t>(n)));
  }
  if (used == 0) {
    buf[0] = '\0';
    return 0;
  }
  buf[used - 1] = '\0';
  return static_cast<int>(used - 1);
}
