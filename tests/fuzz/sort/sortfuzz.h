// What the sort fuzz targets share: the input layout (a selector byte, two
// 16-bit text lengths, the two texts, then a sort object), the fixed NLS
// installation written once per process, and installing the input's sort
// object beside it by rewriting the boot file.
#ifndef QEN_TESTS_FUZZ_SORTFUZZ_H
#define QEN_TESTS_FUZZ_SORTFUZZ_H

#include <stdint.h>
#include <stdlib.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "lxl.h"
#include "nlskit.h"
#include "nlsobjw.h"

namespace sortfuzz {

constexpr size_t kHeader = 5;  // selector byte, two little-endian lengths

// An input split into its parts; lengths beyond the input are cut.
struct Input {
  uint8_t sel = 0;
  std::vector<uint8_t> a, b;
  const uint8_t *obj = nullptr;
  size_t objsize = 0;
};

inline bool split(const uint8_t *data, size_t size, Input &in) {
  if (size < kHeader) return false;
  in.sel = data[0];
  size_t la = data[1] | data[2] << 8, lb = data[3] | data[4] << 8;
  data += kHeader;
  size -= kHeader;
  if (la > size) la = size;
  if (lb > size - la) lb = size - la;
  in.a.assign(data, data + la);
  in.b.assign(data + la, data + la + lb);
  in.obj = data + la + lb;
  in.objsize = size - la - lb;
  return true;
}

// The input a smoke test builds from its parts.
inline std::vector<uint8_t> join(uint8_t sel, const std::string &a, const std::string &b,
                                 const nlsw::Image &sort) {
  std::vector<uint8_t> in{sel, uint8_t(a.size()), uint8_t(a.size() >> 8), uint8_t(b.size()),
                          uint8_t(b.size() >> 8)};
  in.insert(in.end(), a.begin(), a.end());
  in.insert(in.end(), b.begin(), b.end());
  in.insert(in.end(), sort.bytes.begin(), sort.bytes.end());
  return in;
}

struct Fixed {
  std::string dir;
  nlsw::BootDesc boot;
};

inline void put(const std::string &path, const uint8_t *data, size_t size) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
}

// Writes the basic objects (and what extra adds) into a new directory,
// which becomes the process's NLS directory.
inline Fixed write_fixed(const std::function<void(nlsw::Installation &)> &extra) {
  Fixed x;
  nlsw::Installation inst = nlsw::basic_installation();
  if (extra) extra(inst);
  x.dir = nlskit::write(inst);
  setenv("ZUR_NLS10", x.dir.c_str(), 1);
  unsetenv("ZUR_NLS_PROFILE33");
  for (auto &o : inst.objects) {
    o.first.size = static_cast<uint32_t>(o.second.size());
    x.boot.objects.push_back(o.first);
  }
  return x;
}

// Installs the input's sort object as "FUZZ" with id beside the fixed ones.
inline void install_sort(const Fixed &f, uint16_t id, const Input &in) {
  nlsw::BootDesc boot = f.boot;
  boot.objects.push_back({LX_TSORT, id, "FUZZ", static_cast<uint32_t>(in.objsize), 0, 0});
  nlsw::Image bi = nlsw::build_boot(boot);
  put(f.dir + "/lx1boot.nlb", bi.bytes.data(), bi.size());
  put(f.dir + "/" + nlsw::object_name(LX_TSORT, id) + ".nlb", in.obj, in.objsize);
}

}  // namespace sortfuzz

#endif
