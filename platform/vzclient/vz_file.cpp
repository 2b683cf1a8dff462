// File-name splitting of the client library.
#include <cstring>
#include <string_view>

#include "los.h"
#include "vzclient.h"

namespace {

void put(char *out, std::string_view part) {
  memcpy(out, part.data(), part.size());
  out[part.size()] = '\0';
}

}  // namespace

extern "C" int32_t slfnp(sl_status *st, char *dir, char *name, char *ext,
                         char *fourth, const char *filename) {
  if (st == nullptr) return SLFNP_BADARG;
  memset(st, 0, sizeof *st);
  if (dir == nullptr || name == nullptr || ext == nullptr || fourth == nullptr ||
      filename == nullptr) {
    st->code = SLFNP_BADARG;
    return st->code;
  }
  dir[0] = name[0] = ext[0] = fourth[0] = '\0';
  size_t len = strnlen(filename, SLFNP_PART);
  if (len >= SLFNP_PART) {
    st->code = SLFNP_TOOLONG;
    st->detail[0] = SLFNP_PART - 1;
    return st->code;
  }
  std::string_view whole(filename, len);
  std::string_view base = whole;
  size_t slash = whole.rfind('/');
  if (slash != std::string_view::npos) {
    put(dir, slash == 0 ? whole.substr(0, 1) : whole.substr(0, slash));
    base = whole.substr(slash + 1);
  }
  size_t dot = base.rfind('.');
  if (dot != std::string_view::npos && dot != 0) {
    put(name, base.substr(0, dot));
    put(ext, base.substr(dot + 1));
  } else {
    put(name, base);
  }
  return 0;
}
