// Special and multilingual linguistic sort objects.
#include <cstddef>

#include "lxl.h"
#include "nlsobjw.h"

namespace nlsw {

namespace {
constexpr uint16_t kSpecialSort = 0x20;
}

Image build_special_sort(const std::string &name, uint16_t id, uint16_t cmp_fn, uint16_t key_fn) {
  Image img = build_sort(name, id);
  img.put16(offsetof(lxsrtobj, flags), kSpecialSort);
  img.put16(offsetof(lxsrtobj, cmp_fn), cmp_fn);
  img.put16(offsetof(lxsrtobj, key_fn), key_fn);
  return img;
}

}  // namespace nlsw
