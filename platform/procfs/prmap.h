// Solaris-style address-space maps served from Linux /proc.
//
// "/proc/<pid>/map" holds one prmap_t per mapping of the process. Code that
// opens it goes through prmap_open instead of open(2): the descriptor is an
// in-memory file (memfd) holding the records built from /proc/<pid>/maps,
// positioned at 0; fstat gives its size, read and pread work as usual.
// Every other path passes straight through to open(2). A process that does
// not exist fails with errno ENOENT.
//
// Record: 104 bytes in the 64-bit build, 96 in the 32-bit build; only the
// address, the size, the offset and the name are filled.
#ifndef QEN_PRMAP_H
#define QEN_PRMAP_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define PRMAPSZ 64

typedef struct prmap {
  uintptr_t pr_vaddr;          // start of the mapping
  size_t pr_size;              // its size in bytes
  char pr_mapname[PRMAPSZ];    // name in /proc/<pid>/object, NUL-terminated
  int64_t pr_offset;           // offset into the mapped object
  int32_t pr_mflags;
  int32_t pr_pagesize;
  int32_t pr_shmid;
  int32_t pr_filler[1];
} prmap_t;

int prmap_open(const char *path, int flags);

#ifdef __cplusplus
}
#if UINTPTR_MAX > 0xFFFFFFFFu
static_assert(sizeof(prmap_t) == 104);
static_assert(offsetof(prmap_t, pr_offset) == 80);
#else
static_assert(sizeof(prmap_t) == 96);
static_assert(offsetof(prmap_t, pr_offset) == 72);
#endif
static_assert(offsetof(prmap_t, pr_size) == sizeof(void *));
#endif

#endif
