// Package manager: package descriptors, package nodes, loading a package
// through its entry routine, and the interface arrays packages register.
// Included by lpm.h; include lpm.h rather than this header.
#ifndef QEN_KIT_CORE_LPMPKG_H
#define QEN_KIT_CORE_LPMPKG_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Descriptor flags (lpm_package.flags).
#define LPM_PKG_STATIC 0x0001u  // statically linked: the entry routine field is used
#define LPM_PKG_SHLIB 0x0008u   // a shared library must be opened
#define LPM_PKG_ASIS 0x0010u    // the library text goes to the dynamic linker as it stands
#define LPM_PKG_END 0x8000u     // end of a table

// Package-node flags (lpm_pkgnode.flags).
#define LPM_PKGN_MADE 0x2u
#define LPM_PKGN_LOCATED 0x4u
#define LPM_PKGN_INIT 0x8u
#define LPM_PKGN_CALLED 0x10u

// Entry routine modes.
#define LPM_ENTRY_INIT 1
#define LPM_ENTRY_TERM 2

// Longest path the package manager builds from VIRUZE_HOME and a library
// name, terminator included.
#define SLPM_PATHMAX 1024

// Entry routine of a package: (product, private area, mode, 0, 0) -> 0 success.
typedef int (*lpm_entry)(lpm_product *prod, void *priv, int mode, int r1, int r2);

typedef void (*lpm_fn)(void);

// Interface array a package registers: private area, count, the functions.
typedef struct lpm_funcs {
  void *priv;
  int32_t count;
  lpm_fn funcs[1];  // count entries (at least one slot is allocated)
} lpm_funcs;

// OS library record of a package node.
typedef struct slpm_oslib {
  slpm_table *table;
  const char *name;  // reserved word: the package name, for messages
  void *handle;      // dlopen handle, NULL when none is open
  void *reserved;
} slpm_oslib;

struct lpm_pkgnode {
  lpm_pkgnode *next;
  lpm_pkgnode *prev;
  uint32_t flags;
  lpm_entry entry;
  char *name;          // points at name_buf
  lpm_funcs *iface;
  int32_t refcnt;
  slpm_oslib os;
  int32_t name_len;
  char name_buf[1];    // name_len bytes and a NUL
};

// Entry of a package manager's call stack.
typedef struct lpm_csentry {
  struct lpm_csentry *next;
  struct lpm_csentry *prev;
  void *reserved;
  slts_tid tid;
} lpm_csentry;

// Service entry of the package manager in lpmiftfs.
int lpmrist(lpm_meta *block, void *slot, int mode);

// Loading and unloading.
lpm_funcs *lpmloadpkg(lpm_meta *obj, const char *name);
int lpmdelete(lpm_meta *obj, const char *name);
int lpmapd(lpm_meta *obj, const lpm_package *pkgs, int count, int *dup_index, void *ignored);

// Called by entry routines.
lpm_funcs *lpmarrfuncs(lpm_product *prod, void *priv, int count, const lpm_fn *funcs);
void *lpmmkpri(lpm_product *prod, size_t size);

// Package nodes.
int lpmpapb(lpm_meta *obj, lpm_ctx *ctx, lpm_pkgnode **place, const char *name, int len,
            int *call_flag);
int lpmpfpb(lpm_meta *obj, lpm_ctx *ctx, lpm_pkgnode *pkg, lpm_node *node, int32_t *remaining,
            int *call_flag);
// The package node of that exact name in the package list (the caller holds
// the list's mutex); NULL when there is none. -1 in *broken for a broken list.
lpm_pkgnode *lpmpfind(lpm_ctx *ctx, const char *name, int len, int *broken);

// Lists (the caller holds the list's mutex; they do not lock).
int lpmllil(lpm_meta *obj, lpm_list *list, int *call_flag);
int lpmllae(lpm_meta *obj, lpm_list *list, void *elem, int *call_flag);
int lpmllre(lpm_meta *obj, lpm_list *list, void *elem, int *call_flag);
int lpmllne(lpm_meta *obj, lpm_list *list, void *elem, void **next, int *call_flag);
int lpmllmem(lpm_meta *obj, lpm_list *list, void *elem, int *call_flag);

// Call stack.
int lpmcsin(lpm_meta *obj, lpm_list *stack, int *call_flag);
int lpmcste(lpm_meta *obj, lpm_list *stack, int *call_flag);
int lpmcspu(lpm_meta *obj, lpm_list *stack, lpm_csentry *entry, int *call_flag);
int lpmcspo(lpm_meta *obj, lpm_list *stack, lpm_csentry **out, uint8_t pop, int *call_flag);
int lpmcsmem(lpm_meta *obj, lpm_list *stack, lpm_csentry **out, int *call_flag);

// OS side.
int slpmini(lpm_meta *obj, slpm_table *table, lpm_link *link, int mode);
int slpmadp(lpm_meta *obj, slpm_table *table, const lpm_package *pkgs, int count,
            int *dup_index, void *ignored, uint8_t check, uint8_t add);
int slpmloc(lpm_meta *obj, slpm_oslib *lib, const char *name, int len, lpm_entry *entry);
int slpmlocfver(const char *dir, const char *stem, char path[SLPM_PATHMAX]);
int slpmapb(lpm_meta *obj, slpm_oslib *lib);
int slpmfpb(lpm_meta *obj, slpm_oslib *lib, int *call_flag);

// The executable's static package table ("lsf", then the end entry).
extern const lpm_package slpmgprodstabcore[];
extern const lpm_package *const slpmgpr;
const lpm_package *slpmggpt(void);
const lpm_package *slpmgpt(void);

// Entry routine of the statically linked formatting package "lsf".
int lsfmai(lpm_product *prod, void *priv, int mode, int r1, int r2);

#ifdef __cplusplus
}
#endif

#endif
