// The OS layer's file opener and its path builder.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lfv.h"
#include "slf.h"

namespace {

constexpr size_t kPathMax = 1024;

const char *stdio_mode(int mode, int flags) {
  const bool upd = flags & SLF_FLAG_UPDATE;
  const bool app = flags & SLF_FLAG_APPEND;
  if (mode == SLF_MODE_READ) return upd ? "r+" : "r";
  if (mode == SLF_MODE_WRITE) return app ? (upd ? "a+" : "a") : (upd ? "w+" : "w");
  return app ? "a+" : "w+";
}

int open_error_code(int e) {
  switch (e) {
    case ENOENT: return SLOS_ERR_NOTFOUND;
    case EACCES: return -3;
    case ENOSPC: return -6;
    default: return SLOS_ERR_OTHER;
  }
}

}  // namespace

extern "C" {

int Slfgfn(const char *name, const char *dir, const char *ext, void *reserved, char *buf,
           size_t buflen, slos_error *err) {
  (void)reserved;
  if (!buf || buflen == 0 || !name) {
    if (err) slosFillInt(err, "Slfgfn");
    return -1;
  }
  std::memset(buf, 0, buflen);
  const size_t dlen = dir ? std::strlen(dir) : 0;
  const bool sep = dlen > 0 && dir[dlen - 1] != '/';
  const size_t nlen = std::strlen(name);
  const size_t elen = ext ? std::strlen(ext) + 1 : 0;
  const size_t total = dlen + (sep ? 1 : 0) + nlen + elen;
  if (buflen < 2 || total > buflen - 2) {
    slosFillErr(err, SLOS_ERR_BADREQ, 0, "Buffer too short", "Slfgfn");
    return -1;
  }
  char *p = buf;
  if (dlen) {
    std::memcpy(p, dir, dlen);
    p += dlen;
  }
  if (sep) *p++ = '/';
  std::memcpy(p, name, nlen);
  p += nlen;
  if (ext) {
    *p++ = '.';
    std::memcpy(p, ext, elen - 1);
    p += elen - 1;
  }
  *p = 0;
  return 0;
}

slf_handle *SlfFopen(const char *name, const char *dir, int mode, int flags, int stype,
                     slos_error *err, int virt) {
  if (err) std::memset(err, 0, sizeof *err);
  if (stype >= 2 && stype <= 4) {
    auto h = static_cast<slf_handle *>(std::malloc(sizeof(slf_handle)));
    if (!h) {
      slosFillErr(err, SLOS_ERR_OTHER, 0, "memory allocation failed", "SlfFopen2");
      return nullptr;
    }
    h->stream = stype == 2 ? stdin : stype == 3 ? stdout : stderr;
    h->kind = SLF_KIND_STDIO;
    return h;
  }
  char path[kPathMax];
  if (Slfgfn(name, dir, nullptr, nullptr, path, sizeof path, err) != 0) {
    if (err && err->code == SLOS_ERR_BADREQ)
      slosFillErr(err, SLOS_ERR_NAMELEN, 0, "file name too long", "SlfFopen");
    return nullptr;
  }
  if ((virt & SLF_VIRTUAL) && lfvtype() != 0 && mode == SLF_MODE_READ) {
    lfv_file *vf = lfvopen(path, err);
    if (!vf) return nullptr;
    auto h = static_cast<slf_handle *>(std::malloc(sizeof(slf_handle)));
    if (!h) {
      lfvclose(vf);
      slosFillErr(err, SLOS_ERR_OTHER, 0, "memory allocation failed", "SlfFopen3");
      return nullptr;
    }
    h->stream = vf;
    h->kind = SLF_KIND_VIRTUAL;
    return h;
  }
  FILE *f = std::fopen(path, stdio_mode(mode, flags));
  if (!f) {
    int e = errno;
    slosFillErr(err, open_error_code(e), e, "open failed", "SlfFopen1");
    return nullptr;
  }
  auto h = static_cast<slf_handle *>(std::malloc(sizeof(slf_handle)));
  if (!h) {
    std::fclose(f);
    slosFillErr(err, SLOS_ERR_OTHER, 0, "memory allocation failed", "SlfFopen2");
    return nullptr;
  }
  h->stream = f;
  h->kind = SLF_KIND_STDIO;
  return h;
}

}  // extern "C"
