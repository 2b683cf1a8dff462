// Shared-memory region files: an ordinary file of fixed length in the "dbs"
// directory of a Viruze home, named after an instance
// (<home>/dbs/hc_<sid>.dat), that cooperating processes map MAP_SHARED. One
// entry point carries out the six operations on a caller-owned handle.
//
// Handle states: fresh (magic 0) -> initialised (op 1) -> retired (op 32).
// Create, attach, detach and delete need an initialised handle. A failed
// create or attach keeps the descriptor it opened in the handle until a
// detach closes it; detach leaves the caller's mapping pointer as it was.
//
// Paths: a NULL home or sid is the value of VIRUZE_HOME or VIRUZE_SID, through
// the name translation of "?" and "@" (no VIRUZE_PATH search: the file's place
// is fixed). Each holds at most SKGMSMR_NAMEMAX characters, and so does the
// composed path; a longer path fails as the open (or, for delete, the stat)
// would, with ENAMETOOLONG.
//
// Errors: every failure clears the caller's slos_error (code and additional
// information) and fills it: -1 for an inconsistency, -2 for a failed system
// call with its errno; the location tag names the step. An unknown operation
// leaves the record untouched.
//
// Who may call: one thread at a time per handle. Create serialises
// concurrent creators of one file through a whole-file write lock.
// The 32-bit build uses the large-file forms of open, lseek, mmap and stat.
#ifndef QEN_KIT_OSD_SKGMSMR_H
#define QEN_KIT_OSD_SKGMSMR_H

#include <stddef.h>
#include <stdint.h>

#include "los.h"

#ifdef __cplusplus
extern "C" {
#endif

#define SKGMSMR_MAGIC 0x75019EA7u   // initialised handle
#define SKGMSMR_RETIRED 1u          // retired handle
#define SKGMSMR_NAMEMAX 512         // characters of a home, a sid and the path

// Operations.
#define SKGMSMR_OP_INIT 1u
#define SKGMSMR_OP_CREATE 2u
#define SKGMSMR_OP_ATTACH 4u
#define SKGMSMR_OP_DETACH 8u
#define SKGMSMR_OP_DELETE 16u
#define SKGMSMR_OP_TERM 32u

// Results.
#define SKGMSMR_OK 1
#define SKGMSMR_BADOP 2
#define SKGMSMR_FAIL 3

// Mapping modes.
#define SKGMSMR_MODE_NONE 0
#define SKGMSMR_MODE_READ 1
#define SKGMSMR_MODE_WRITE 2
#define SKGMSMR_MODE_RW 3

typedef struct skgmsmr_ctx {
  uint32_t magic;  // 0 fresh, SKGMSMR_MAGIC initialised, SKGMSMR_RETIRED retired
  int fd;          // the open file; 0 until a create or attach, -1 after a detach
  uint32_t flags;  // flags given to op 1, OR'd; not read
} skgmsmr_ctx;

// Operations, by op:
//   1 initialise  magic := SKGMSMR_MAGIC, flags |= flags, fd := 0
//   2 create      create or open the file, lock it, mode 0660, size it to
//                 length, map it with mode's protection, zero it, unlock;
//                 *addr := the mapping
//   4 attach      open the existing file (read-write) and map length bytes
//                 with mode's protection; a file shorter than length fails
//                 before the mapping; *addr := the mapping (MAP_FAILED on a
//                 failed mmap)
//   8 detach      munmap(*addr, length), close the descriptor
//   16 delete     stat and unlink the file
//   32 terminate  magic := SKGMSMR_RETIRED
// Returns SKGMSMR_OK, SKGMSMR_BADOP for an op not listed, or SKGMSMR_FAIL
// with err filled.
int skgmsmr_op(slos_error *err, skgmsmr_ctx *ctx, uint32_t op, size_t length,
               const char *home, const char *sid, int mode, uint32_t flags, void **addr);

#ifdef __cplusplus
}
#endif

#endif
