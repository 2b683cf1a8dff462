// The NLS file layer: opens, reads and closes the NLS files on disk or, when
// the virtual-file layer serves the data package, inside the package.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "lfv.h"
#include "lxlint.h"
#include "slz.h"

namespace {

bool virtual_files() { return lfvtype() == LFV_MODE_PACKAGE; }

char *make_path(const char *dir, const char *name, const char *ext, size_t *extroom) {
  size_t dl = dir ? std::strlen(dir) : 0, nl = std::strlen(name), el = std::strlen(ext);
  size_t room = el > 4 ? el : 4;  // room for ".tmp"
  char *p = (char *)std::malloc(dl + 1 + nl + room + 1);
  if (!p) return nullptr;
  size_t n = 0;
  if (dl) {
    std::memcpy(p, dir, dl);
    n = dl;
    if (dir[dl - 1] != '/') p[n++] = '/';
  }
  std::memcpy(p + n, name, nl);
  n += nl;
  std::memcpy(p + n, ext, el + 1);
  if (extroom) *extroom = n;
  return p;
}

}  // namespace

extern "C" {

slxfh *slxcfot(const char *dir, const char *name, const char *ext, const char *mode) {
  if (!name || !ext || !mode) return nullptr;
  slxfh *fh = (slxfh *)std::calloc(1, sizeof(slxfh));
  if (!fh) return nullptr;
  size_t extat = 0;
  fh->target = make_path(dir, name, ext, &extat);
  fh->fd = -1;
  if (!fh->target) {
    std::free(fh);
    return nullptr;
  }
  bool reading = std::strcmp(mode, "r") == 0;
  struct stat sb;
  if (reading || stat(fh->target, &sb) != 0) {
    if (virtual_files()) {
      slos_error err;
      fh->vf = lfvopen(fh->target, &err);
      if (fh->vf) return fh;
    } else {
      int flags = reading ? O_RDONLY : (O_WRONLY | O_CREAT | O_TRUNC);
      do fh->fd = open(fh->target, flags | O_CLOEXEC, 0644);
      while (fh->fd < 0 && errno == EINTR);
      if (fh->fd >= 0) return fh;
    }
  } else {
    size_t n = extat + 5;
    fh->tmp = (char *)std::malloc(n);
    if (fh->tmp) {
      std::memcpy(fh->tmp, fh->target, extat);
      std::memcpy(fh->tmp + extat, ".tmp", 5);
      fh->fd = open(fh->tmp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (fh->fd >= 0) {
        fh->rename = 1;
        return fh;
      }
    }
  }
  std::free(fh->tmp);
  std::free(fh->target);
  std::free(fh);
  return nullptr;
}

int slxcfct(slxfh *fh) {
  if (!fh) return 0;
  int r = fh->vf ? lfvclose((lfv_file *)fh->vf) : close(fh->fd);
  if (fh->rename && r == 0) r = rename(fh->tmp, fh->target);
  std::free(fh->tmp);
  std::free(fh->target);
  std::free(fh);
  return r;
}

long slxcfrtlfv(void *buf, size_t size, size_t count, slxfh *fh) {
  if (!fh || !fh->vf) return -1;
  size_t n = size * count;
  if (count && n / count != size) return -1;
  if (n > 0xFFFFFFFFu) n = 0xFFFFFFFFu;
  int32_t r = lfvread((lfv_file *)fh->vf, buf, (uint32_t)n);
  return r < 0 ? -1 : (long)r;
}

long slxcfstlfv(slxfh *fh, long offset, int whence) {
  if (!fh || !fh->vf) return -1;
  slos_error err;
  if (lfvseek((lfv_file *)fh->vf, &err, offset, (uint8_t)whence) != 0) return -1;
  return (long)lfvpos((lfv_file *)fh->vf);
}

int slxcfgclfv(slxfh *fh) {
  if (slxcfrtlfv(&fh->buf, 1, 1, fh) != 1) return -1;
  return fh->buf;
}

int slxcfna(char *buf, size_t size, const char *dir, const char *name, const char *ext) {
  if (!buf || !name || !ext) return -1;
  char *p = make_path(dir, name, ext, nullptr);
  if (!p) return -1;
  size_t n = std::strlen(p);
  int r = -1;
  if (n < size) {
    std::memcpy(buf, p, n + 1);
    r = (int)n;
  }
  std::free(p);
  return r;
}

int slxldgnv(const char *var, char *buf, size_t size) {
  sl_status st;
  if (size < 2) return -1;
  int n = slzgetevar(&st, var, std::strlen(var), buf, size - 1, 0);
  if (n <= 0) return n;
  if (buf[n - 1] != '/') {
    if ((size_t)n + 2 > size) return -1;
    buf[n++] = '/';
  }
  buf[n] = 0;
  return n;
}

}  // extern "C"

size_t slxcfread(slxfh *fh, void *buf, size_t count) {
  size_t done = 0;
  while (done < count) {
    long r;
    if (fh->vf) {
      r = slxcfrtlfv((char *)buf + done, 1, count - done, fh);
    } else {
      r = read(fh->fd, (char *)buf + done, count - done);
      if (r < 0 && errno == EINTR) continue;
    }
    if (r <= 0) break;
    done += (size_t)r;
  }
  return done;
}

int slxlfvinit(void) { return lfvinit(LFV_MODE_PACKAGE); }
