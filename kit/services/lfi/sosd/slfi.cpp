// OS side of the file-stream service: records of the standard streams,
// closing, unlinking and renaming files.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "lem.h"
#include "lfi.h"

namespace {

int rec_os(lfi_inst *inst, int *flag, int number, int oserr, const char *routine) {
  int32_t e = oserr;
  return lfirec(inst, flag, number, 0, LSFSB4, &e, LSFTXTP, routine, LSFEND);
}

// The rename failed because something already stands at the target: only
// then is removing the target and trying again any use.
bool target_in_way(int err) { return err == EEXIST || err == ENOTEMPTY || err == ETXTBSY; }

}  // namespace

extern "C" {

slfi_osfile *slfigf(lfi_inst *inst, int kind, int *call_flag) {
  FILE *s = kind == 1 ? stdin : kind == 2 ? stdout : kind == 3 ? stderr : nullptr;
  if (!s) {
    lfirec(inst, call_flag, LFI_INTERNAL, 3, LSFTXTP, "slfigf", LSFEND);
    return nullptr;
  }
  auto os = static_cast<slfi_osfile *>(std::calloc(1, sizeof(slfi_osfile)));
  if (!os) {
    lfirec(inst, call_flag, LFI_NOMEM, 0, LSFTXTP, "slfigf", LSFEND);
    return nullptr;
  }
  os->stream = s;
  os->fd = -1;
  os->kind = 1;
  return os;
}

int slficl(lfi_inst *inst, slfi_osfile *os, int *call_flag) {
  if (!os) return 0;
  if (os->kind == 1) {
    FILE *s = os->stream;
    os->stream = nullptr;
    if (s && std::fclose(s) != 0) {
      rec_os(inst, call_flag, LFI_FCLOSE, errno, "slficl");
      return LFI_FAIL;
    }
    return 0;
  }
  int fd = os->fd;
  os->fd = -1;
  if (fd >= 0 && close(fd) != 0) {
    rec_os(inst, call_flag, LFI_CLOSE, errno, "slficl");
    return LFI_FAIL;
  }
  return 0;
}

int slfiff(lfi_inst *inst, slfi_osfile *os, int *call_flag) {
  (void)inst;
  (void)call_flag;
  if (!os) return 0;
  std::free(os->buffer);
  std::free(os);
  return 0;
}

int slfifn(lfi_inst *inst, lfi_name *name, int *call_flag) {
  (void)inst;
  (void)call_flag;
  if (!name) return LFI_FAIL;
  std::free(name->osname);
  name->osname = nullptr;
  return 0;
}

int slfifp(lfi_inst *inst, lfi_pathel *chain, int *call_flag) {
  (void)inst;
  (void)call_flag;
  while (chain) {
    lfi_pathel *next = chain->next;
    std::free(chain->dir);
    std::free(chain);
    chain = next;
  }
  return 0;
}

int slfirf(lfi_inst *inst, const char *name, int *call_flag) {
  if (!name || unlink(name) != 0) {
    rec_os(inst, call_flag, LFI_UNLINK, name ? errno : EINVAL, "slfirf");
    return LFI_FAIL;
  }
  return 0;
}

int slficf(lfi_inst *inst, const char *from, const char *to, int *call_flag) {
  (void)from;
  (void)to;
  lfirec(inst, call_flag, LFI_NOCOPY, 0, LSFTXTP, "slficf", LSFEND);
  return LFI_FAIL;
}

int slfirn(lfi_inst *inst, const char *from, const char *to, int *call_flag) {
  if (!from || !to) return LFI_FAIL;
  // rename(2) replaces an existing target in one step.
  if (std::rename(from, to) == 0) return 0;
  if (target_in_way(errno)) {
    if (unlink(to) != 0) {
      rec_os(inst, call_flag, LFI_UNLINK, errno, "slfirn");
      return LFI_FAIL;
    }
    if (std::rename(from, to) == 0) return 0;
  }
  // Copying is not available: the source stays where it is.
  return slficf(inst, from, to, call_flag);
}

}  // extern "C"
