// The calendar-file writer.
#include "calw.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace calw {

namespace {

template <typename T>
T order(T v, bool swap) {
  if (!swap) return v;
  T r;
  auto *s = reinterpret_cast<const uint8_t *>(&v);
  auto *d = reinterpret_cast<uint8_t *>(&r);
  for (size_t i = 0; i < sizeof v; ++i) d[i] = s[sizeof v - 1 - i];
  return r;
}

void put_text(char *field, size_t size, const std::string &t) {
  std::memset(field, 0, size);
  std::memcpy(field, t.data(), t.size() < size ? t.size() : size);
}

template <typename T>
void append(std::vector<uint8_t> &out, const T &rec) {
  auto *p = reinterpret_cast<const uint8_t *>(&rec);
  out.insert(out.end(), p, p + sizeof rec);
}

}  // namespace

std::vector<uint8_t> bytes(const File &f) {
  const bool sw = f.foreign_order;
  std::vector<uint8_t> out;
  lxecfhdr hdr{};
  hdr.magic = order(f.magic, sw);
  hdr.neras = order(uint16_t(f.eras.size()), sw);
  hdr.ndevs = order(uint16_t(f.devs.size()), sw);
  append(out, hdr);
  for (const Era &e : f.eras) {
    lxecfera r{};
    put_text(r.name, sizeof r.name, e.name);
    put_text(r.abbr, sizeof r.abbr, e.abbr);
    put_text(r.name2, sizeof r.name2, e.name2);
    put_text(r.abbr2, sizeof r.abbr2, e.abbr2);
    const std::string *t[4] = {&e.name, &e.abbr, &e.name2, &e.abbr2};
    for (int i = 0; i < 4; ++i) r.len[i] = uint8_t(e.lens[i] >= 0 ? e.lens[i] : int(t[i]->size()));
    r.first = order(e.first, sw);
    r.last = order(e.last, sw);
    append(out, r);
  }
  for (const Deviation &d : f.devs) {
    lxedev r{};
    r.jday = order(d.jday, sw);
    r.word = order(d.word, sw);
    r.shift = order(d.shift, sw);
    append(out, r);
  }
  if (f.cut >= 0 && size_t(f.cut) < out.size()) out.resize(size_t(f.cut));
  return out;
}

bool write(const std::string &home, const std::string &shortname, const File &f) {
  const std::string dir = home + "/nls";
  if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return false;
  const std::string path = dir + "/lxecal" + shortname + ".nlb";
  FILE *fp = std::fopen(path.c_str(), "wb");
  if (!fp) return false;
  const std::vector<uint8_t> b = bytes(f);
  const bool ok = std::fwrite(b.data(), 1, b.size(), fp) == b.size();
  return std::fclose(fp) == 0 && ok;
}

}  // namespace calw
