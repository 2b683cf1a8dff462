// The NLS test-installation kit (see nlskit.h).
#include "nlskit.h"

#include <stdlib.h>

#include "lxp.h"
#include "lxz.h"
#include "temp_dir.h"

namespace nlskit {

namespace {

constexpr unsigned kBootDigit = 1;  // lx1boot.nlb

}  // namespace

std::string write(const nlsw::Installation &inst, std::string &err) {
  const std::string dir = kept_temp_dir();
  if (dir.empty()) {
    err = "cannot make a temporary directory";
    return "";
  }
  return nlsw::write_installation(inst, dir, kBootDigit, err) ? dir : "";
}

std::string write(const nlsw::Installation &inst) {
  std::string err;
  return write(inst, err);
}

std::string american(const std::string &charset) { return "AMERICAN_AMERICA." + charset; }

lxlobj *use(const std::string &dir, lxglo *g) {
  setenv("ZUR_NLS10", dir.c_str(), 1);
  unsetenv("ZUR_NLS_PROFILE33");
  unsetenv("NLS_LANG");
  lxzinit();
  uint32_t status = 0;
  lxlobj *table = lxlinit(nullptr, 1, &status);
  if (table) lxinitc(g, table, nullptr, 0);
  return table;
}

bool handle(const std::string &name, lxglo *g, lxlangid *h) {
  *h = lxlangid{};
  return lxhLaToId(name.c_str(), 0, h, 0, g) != nullptr;
}

bool set_sort(const std::string &sort, lxglo *g, lxlangid *h) {
  uint16_t options = 0;
  int not_found = 1;
  const uint16_t idx = lxpsget(sort.c_str(), sort.size(), g->table, 0, &options, &not_found);
  return !not_found && lxpsset(idx, options, h, g) == 1;
}

}  // namespace nlskit
