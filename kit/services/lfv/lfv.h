// Virtual-file layer: serves the installation's files from the data package
// "vedoz" when that package can be loaded, as read-only byte ranges.
//
// lfvinit(2) loads the package through the package manager's stashed
// process block (lpminit), which it builds when the process has none; the
// layer decides once per process.
#ifndef QEN_KIT_CORE_LFV_H
#define QEN_KIT_CORE_LFV_H

#include <stddef.h>
#include <stdint.h>

#include "los.h"
#include "slts.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct lpm_funcs lpm_funcs;

// Modes.
#define LFV_MODE_FILES 0    // real files
#define LFV_MODE_PACKAGE 2  // files from the data package

// Results of lfvinit.
#define LFV_ENOTHR 24311    // no thread-services context
#define LFV_EINIT 24440     // no stashed block, no descriptor, or VIRUZE_HOME unreadable

#define LFV_PREFIXMAX 511

// The data package's lookup, the first function of its interface array:
// (file name relative to VIRUZE_HOME, place for the size) -> the file's bytes.
typedef const void *(*lfv_lookup)(const char *name, uint32_t *size);

#ifdef QEN_TEST_HOOKS
// A loader of the data package in place of the package manager's: (name,
// library file, entry symbol) -> 0 with the package's interface array and its
// lookup (both NULL when the package is not installed), or -1 when it cannot
// be loaded. NULL restores the package manager's.
typedef int (*lfv_loader)(const char *name, const char *lib, const char *sym, lpm_funcs **iface,
                          lfv_lookup *lookup);
void lfvsetloader(lfv_loader load);
#endif

// The single process-wide state.
typedef struct lfv_global {
  uint8_t done;
  slts_static_mutex mutex;
  uint8_t mode;
  char prefix[LFV_PREFIXMAX + 1];
  int32_t prefix_len;
  lpm_funcs *iface;
  slts_ctx *thr;
  slts_tid owner;
} lfv_global;

extern lfv_global lfvgbl;

// A virtual file: the bytes belong to the package.
typedef struct lfv_file {
  uint32_t size;
  uint32_t pos;
  const uint8_t *data;
} lfv_file;

int lfvinit(uint8_t mode);
uint8_t lfvtype(void);
lfv_file *lfvopen(const char *path, slos_error *err);
int lfvseek(lfv_file *f, slos_error *err, long offset, uint8_t whence);
int32_t lfvread(lfv_file *f, void *dst, uint32_t count);
uint32_t lfvpos(const lfv_file *f);
int lfvclose(lfv_file *f);
slts_ctx *lfvGetSlctx(void);

// Writes "lib" + name + ".so" into dst (room for the name plus 7 bytes) and
// returns dst.
char *slfvDirShlibName(char *dst, const char *name);

#ifdef __cplusplus
}
#endif

#endif
