// A lock master for the tests: answers the realm service's requests on its
// standard input and output. It attaches each registered segment by id and
// locks and unlocks ranges of it with mlock and munlock. RIVEVAV_VARIANT
// makes it misbehave: "short" answers requests with 63 bytes, "die" exits
// right after its start reply, "badstart" starts with a wrong magic,
// "refuse" answers every request with status 2.
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/shm.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <map>
#include <string>

#include "sskgm.h"

namespace {

struct Seg {
  char *at;
  uintptr_t segaddr;
};

bool read_req(sskgm_dismreq *req) {
  size_t got = 0;
  while (got < sizeof *req) {
    const ssize_t n = read(STDIN_FILENO, reinterpret_cast<char *>(req) + got, sizeof *req - got);
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return true;
}

void reply(uint32_t status, int oserr, uint32_t diag, uint32_t value, size_t len = sizeof(sskgm_dismrsp),
           uint32_t magic = SSKGM_DISM_MAGIC2) {
  sskgm_dismrsp r{};
  r.magic = magic;
  r.version = SSKGM_DISM_VERSION;
  r.status = status;
  r.oserr = oserr;
  r.diag = diag;
  r.value = value;
  r.magic2 = SSKGM_DISM_MAGIC;
  ssize_t ignored = write(STDOUT_FILENO, &r, len);
  (void)ignored;
}

}  // namespace

int main() {
  const char *v = getenv("RIVEVAV_VARIANT");
  const std::string variant = v != nullptr ? v : "";
  if (variant == "badstart") {
    reply(SSKGM_ST_OK, 0, static_cast<uint32_t>(getpid()), 0, sizeof(sskgm_dismrsp), 0x12345678);
    return 0;
  }
  reply(SSKGM_ST_OK, 0, static_cast<uint32_t>(getpid()), 0);
  if (variant == "die") return 0;
  std::map<int32_t, Seg> segs;
  sskgm_dismreq req;
  while (read_req(&req)) {
    if (req.magic != SSKGM_DISM_MAGIC || req.magic2 != SSKGM_DISM_MAGIC2) {
      reply(2, EINVAL, 1, req.magic);
      continue;
    }
    if (variant == "short") {
      reply(SSKGM_ST_OK, 0, 0, 0, sizeof(sskgm_dismrsp) - 1);
      continue;
    }
    if (variant == "refuse") {
      reply(2, EPERM, 9, req.op);
      continue;
    }
    int rc = 0;
    switch (req.op) {
      case SSKGM_OP_REGISTER: {
        void *at = shmat(req.shmid, nullptr, SHM_RDONLY);
        if (at == reinterpret_cast<void *>(-1)) {
          rc = errno;
          break;
        }
        segs[req.shmid] = Seg{static_cast<char *>(at), req.segaddr};
        break;
      }
      case SSKGM_OP_LOCK:
      case SSKGM_OP_UNLOCK: {
        auto it = segs.find(req.shmid);
        if (it == segs.end()) {
          rc = ENOENT;
          break;
        }
        char *p = it->second.at + (req.start - it->second.segaddr);
        // The system calls themselves: a sanitizer's mlock does nothing.
        if (syscall(req.op == SSKGM_OP_LOCK ? SYS_mlock : SYS_munlock, p, req.length) != 0)
          rc = errno;
        break;
      }
      case SSKGM_OP_EXIT:
        reply(SSKGM_ST_OK, 0, 0, 0);
        return 0;
      default:
        break;
    }
    reply(rc == 0 ? SSKGM_ST_OK : 2, rc, 0, 0);
  }
  return 0;
}
