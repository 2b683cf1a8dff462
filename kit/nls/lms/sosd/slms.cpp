// OS layer of the message files: names, open, positioned reads and close,
// directly or through the virtual-file layer when the data package serves
// the installation's files.
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "lms.h"
#include "slz.h"
#include "vzclient.h"

namespace {

constexpr char kHome[] = "VIRUZE_HOME";
constexpr char kTk2[] = "tk2";
constexpr char kTk2Dir[] = "guicommon/tk2";

void clear(sl_status *st) { std::memset(st, 0, sizeof *st); }

void fail(sl_status *st, int32_t code, int32_t oserr) {
  st->code = code;
  st->oserr = oserr;
}

const char *nz(const char *s) { return s ? s : ""; }

// Appends the lower-cased text to path[used..size); false when it and the
// terminator do not fit.
bool append_lower(char *path, size_t size, size_t used, const char *text) {
  size_t n = std::strlen(text);
  if (used >= size || n >= size - used) return false;
  std::memcpy(path + used, text, n + 1);
  lstlo(path + used, path + used);
  return true;
}

// "<a><b>.msb", lower-cased, into out (size bytes); false when it does not fit.
bool file_name(char *out, size_t size, const char *facility, const char *language) {
  int n = std::snprintf(out, size, "%s%s.msb", nz(facility), nz(language));
  if (n < 0 || static_cast<size_t>(n) >= size) return false;
  lstlo(out, out);
  return true;
}

}  // namespace

extern "C" {

size_t lmsfname(const uint8_t *coded, char *out) {
  static constexpr char kAlpha[] = LMSF_CODEALPHA;
  size_t n = 0;
  for (; n < LMSF_NAMEMAX; ++n) {
    uint8_t b = coded[n];
    if (b == 0 || b == LMSF_CODEEND) break;
    out[n] = b <= LMSF_CODECOUNT ? kAlpha[b - 1] : static_cast<char>(b);
  }
  out[n] = 0;
  return n;
}

int slmsbfn(sl_status *st, char *path, size_t size, const char *product, const char *facility,
            const char *language) {
  clear(st);
  const char *dir = std::strcmp(nz(product), kTk2) == 0 ? kTk2Dir : nz(product);
  char rel[3 * SLMS_HOMEMAX];
  int n = std::snprintf(rel, sizeof rel, "/%s/mesg/%s%s.msb", dir, nz(facility), nz(language));
  if (n < 0 || static_cast<size_t>(n) >= sizeof rel) {
    fail(st, SLMS_TOOLONG, 0);
    return -1;
  }
  sl_status zs{};
  size_t room = size < SLMS_HOMEMAX ? size : SLMS_HOMEMAX;
  int home = path && room > 0 ? slzgetevar(&zs, kHome, sizeof kHome - 1, path, room, 0) : -1;
  if (home < 0) {
    fail(st, SLMS_HOME, zs.oserr);
    st->detail[0] = SLMS_HOME;
    return -1;
  }
  if (!append_lower(path, size, static_cast<size_t>(home), rel)) {
    path[0] = 0;
    fail(st, SLMS_TOOLONG, 0);
    return -1;
  }
  return 0;
}

int slmsbdf(sl_status *st, char *path, size_t size, const char *directory, const char *facility,
            const char *language) {
  clear(st);
  char name[2 * SLMS_HOMEMAX];
  bool ok = file_name(name, sizeof name, facility, language);
  if (ok) {
    if (directory && *directory) {
      int n = std::snprintf(path, size, "/%s/%s", directory, name);
      ok = n >= 0 && static_cast<size_t>(n) < size;
    } else {
      ok = slmstr(st, name, path, size) == 1;
    }
  }
  if (!ok) {
    if (path && size > 0) path[0] = 0;
    fail(st, SLMS_TOOLONG, 0);
    return -1;
  }
  return 0;
}

int slmsop(sl_status *st, slmsfile *file, const char *path) {
  clear(st);
  std::memset(file, 0, sizeof *file);
  file->fd = -1;
  if (lfvtype() != 0) {
    slos_error err{};
    lfv_file *vf = lfvopen(path, &err);
    if (!vf) {
      fail(st, SLMS_OPEN, err.code);
      return 0;
    }
    file->vf = vf;
  } else {
    int fd = open(path, O_RDONLY);
    if (fd < 0) {
      fail(st, SLMS_OPEN, errno);
      return 0;
    }
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    file->fd = fd;
  }
  file->magic = SLMS_MAGIC;
  return 1;
}

int slmsrd(sl_status *st, slmsfile *file, uint64_t offset, void *buf, void **out, size_t size) {
  clear(st);
  if (file->magic != SLMS_MAGIC) {
    fail(st, SLMS_READMAGIC, 0);
    return 0;
  }
  if (file->vf) {
    slos_error err{};
    if (offset > 0x7FFFFFFFu || lfvseek(file->vf, &err, static_cast<long>(offset), 0) != 0) {
      fail(st, SLMS_SEEK, err.code);
      return 0;
    }
    int32_t got = size > 0x7FFFFFFFu ? -1 : lfvread(file->vf, buf, static_cast<uint32_t>(size));
    if (got < 0 || static_cast<size_t>(got) != size) {
      fail(st, SLMS_READ, 0);
      return 0;
    }
  } else {
    if (offset > static_cast<uint64_t>(INT64_MAX) ||
        lseek(file->fd, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(-1)) {
      fail(st, SLMS_SEEK, errno);
      return 0;
    }
    ssize_t got = read(file->fd, buf, size);
    if (got < 0 || static_cast<size_t>(got) != size) {
      fail(st, SLMS_READ, got < 0 ? errno : 0);
      return 0;
    }
  }
  if (out) *out = buf;
  return 1;
}

int slmscl(sl_status *st, slmsfile *file) {
  clear(st);
  if (file->magic != SLMS_MAGIC) {
    fail(st, SLMS_CLOSEMAGIC, 0);
    return 0;
  }
  if (file->vf) {
    if (lfvclose(file->vf) != 0) {
      fail(st, SLMS_CLOSE, 0);
      return 0;
    }
  } else if (close(file->fd) != 0) {
    fail(st, SLMS_CLOSE, errno);
    return 0;
  }
  std::memset(file, 0, sizeof *file);
  file->fd = -1;
  return 1;
}

int slmstr(sl_status *st, const char *src, char *dst, size_t size) {
  clear(st);
  size_t n = std::strlen(nz(src));
  if (!dst || n >= size) {
    fail(st, SLMS_TOOLONG, 0);
    return 0;
  }
  std::memcpy(dst, nz(src), n + 1);
  return 1;
}

void slmspe(sl_status *st, char *buf) {
  slcgems(st, buf, sizeof(void *));
  std::fprintf(stderr, "%.s\n", buf);
}

}  // extern "C"
