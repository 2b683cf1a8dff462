// Process blocks and products: the bootstrap of a kit process, its table of
// core services, and the products through which callers reach their heap,
// error and file contexts.
#ifndef QEN_KIT_CORE_LPM_H
#define QEN_KIT_CORE_LPM_H

#include <stddef.h>
#include <stdint.h>

#include "slts.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct lml_ctx lml_ctx;
typedef struct lxlangid lxlangid;
typedef struct lxglo lxglo;
typedef struct lwem_ctx lwem_ctx;
typedef struct lwem_facility lwem_facility;

typedef struct lpm_meta lpm_meta;
typedef struct lpm_node lpm_node;
typedef struct lpm_ctx lpm_ctx;
typedef struct slsl_header slsl_header;
typedef struct slpm_table slpm_table;
typedef struct lpm_pkgnode lpm_pkgnode;

// {node, reserved}. For a block the node is the package manager's manager
// node; for a product it is the product's own node.
typedef struct lpm_link {
  lpm_node *node;
  uintptr_t reserved;
} lpm_link;

// The process block: fourteen machine words, allocated with its slsl_header.
struct lpm_meta {
  size_t payload_size;      // 1: requested size, set by the allocation routine
  lpm_link *link;           // 2: the block's lpm_link (same as field 6)
  int32_t five;             // 3: 5 at creation
  void *mm;                 // 4: memory-manager service record (first word: lmm_ctx)
  void *em;                 // 5: error-manager service record (first word: lem_ctx)
  lpm_link *pm;             // 6: package-manager record
  void *fi;                 // 7: file-service record
  slsl_header *hdr;         // 8: OS-side header
  uint8_t ready;            // 9: ready flag ...
  uint8_t owns_mem;         //    ... and whether the block owns its memory handle
  lwem_ctx *errs;           // 10: error store
  lml_ctx *mem;             // 11: memory handle for the kit's own records
  lxlangid *lang;           // 12: the caller's language handle or NULL
  lxglo *glo;               // 13: the caller's NLS environment or NULL
  uint8_t own_nls;          // 14: build own NLS environments when none is given
};

// A product: a copy of the owning block's fourteen words. A root product made
// by lpmprinit has the fifteenth word, the back link to its block; other
// products are allocated without it.
typedef struct lpm_product {
  lpm_meta m;
  lpm_meta *block;
} lpm_product;

#define LPM_META_WORDS 14

// A product's (or a block manager's) OS record.
typedef struct slpm_prodrec {
  struct slpm_prodrec *next;
  struct slpm_prodrec *prev;
  slpm_table *table;
  lpm_node *node;
  void *reserved[4];
} slpm_prodrec;

#define LPM_NODE_PACKAGE 0x800u
#define LPM_NODE_MANAGER 0x80u

struct lpm_node {
  lpm_node *next;
  lpm_node *prev;
  int32_t refcnt;
  uint32_t flags;
  void *reserved;
  lpm_product *product;     // for the manager node: the block itself
  void *priv;               // private area, NULL until made
  void *mem;                // memory instance (lmmcis)
  void *err;                // error-manager instance (lemcis)
  void *file;               // file instance (lficis)
  slpm_prodrec osrec;
  lpm_pkgnode *pkg;
  slts_mutex mutex;
  lpm_ctx *ctx;
};

// A list with head and tail sentinels; every element begins with {next, prev}.
typedef struct lpm_lelem {
  struct lpm_lelem *next;
  struct lpm_lelem *prev;
} lpm_lelem;

typedef struct lpm_list {
  lpm_lelem head;           // {first, NULL}
  lpm_lelem tail;           // {NULL, last}
  slts_mutex mutex;
} lpm_list;

// A package descriptor, also the entry format of package tables.
typedef struct lpm_package {
  char *name;
  int32_t name_len;
  char *lib;
  int32_t lib_len;
  char *sym;
  int32_t sym_len;
  void *entry;
  uint16_t flags;
} lpm_package;

#define SLPM_MAXPKG 100

struct slpm_table {
  lpm_list recs;            // product OS records (slpm_prodrec)
  const lpm_package *statics;
  lpm_meta *owner;
  lpm_link *link;
  void *reserved[3];
  int32_t count;
  lpm_package pkgs[SLPM_MAXPKG];
};

#define LPM_MAXTERMCB 10

typedef void (*lpm_termcb)(void *arg);

// Package-manager context of a process block.
struct lpm_ctx {
  lpm_list pkgs;            // package nodes
  lpm_list prods;           // nodes of package products
  lpm_meta *owner;
  lwem_facility *fac;       // "VODUDED"/"LPM"
  slpm_table table;
  lpm_list cstack;
  lpm_list spare;
  slts_ctx *thr;
  lpm_node *root;           // the root product's node
  lpm_termcb termcb[LPM_MAXTERMCB];
  void *termarg[LPM_MAXTERMCB];
  uint8_t ntermcb;
};

// A core-service entry: (block, slot, mode 0 start / 1 stop) -> 0 or -1.
typedef int (*lpm_service)(lpm_meta *block, void *slot, int mode);

// A caller-owned copy of the service table.
#define LPM_MAXSERVICES 8
typedef struct lpm_iftab {
  void *slot;
  int count;
  lpm_service fns[LPM_MAXSERVICES];
} lpm_iftab;

extern const lpm_service lpmiftfs[];

// Message numbers of the LPM facility.
enum {
  LPM_NOMEM = 2,
  LPM_INTERNAL = 3,
  LPM_STEPFAIL = 4,
  LPM_BADARG = 6,
  LPM_MUTEX = 8,
  LPM_PKGFIN = 12,
  LPM_PRODFAIL = 30,
  LPM_NOPKGLIB = 31,
  LPM_NOPRIV = 32,
  LPM_NOIFACE = 33,
  LPM_NOPKG = 60,
  LPM_MEMINST = 210,
  LPM_ERRINST = 211,
  LPM_FILEINST = 212,
  LPM_DLCLOSE = 273
};

// Bootstrap.
lpm_product *lpmprinit(void);
lpm_product *lpmprinitm(lml_ctx *mem, void *ignored, lxlangid *lang, lxglo *glo,
                        uint8_t own_nls);
lpm_product *lpminit(void);
lpm_product *lpminitm(lml_ctx *mem, size_t *memdata, lxlangid *lang, lxglo *glo,
                      uint8_t own_nls);
int lpmprterm(lpm_product *root);
int lpmterm(void);
void lpmpistoremeta(lpm_meta *block);
void lpmpgif(void *slot, lpm_iftab *out);

// Observer of the core services' entries and product instances, for tests:
// called with the service's name, the block and the mode when the entry
// begins; a nonzero result makes the entry fail at once. The package
// manager, the file service and the error manager call lpm_observe as their
// entries begin.
// Test builds only; elsewhere lpm_observe lets every entry pass.
#ifdef QEN_TEST_HOOKS
extern int (*lpm_service_observer)(const char *service, lpm_meta *block, int mode);
static inline int lpm_observe(const char *service, lpm_meta *block, int mode) {
  return lpm_service_observer ? lpm_service_observer(service, block, mode) : 0;
}
#else
static inline int lpm_observe(const char *, lpm_meta *, int) { return 0; }
#endif

// Products.
int lpmpali(lpm_meta *obj, lpm_ctx *ctx, lpm_node **node_out, lpm_pkgnode **pkg_out,
            const char *name, int name_len, int *call_flag, uint8_t copy, size_t *memdata);
int lpmpfin(lpm_meta *obj, lpm_ctx *ctx, lpm_node *node, int *call_flag);

// Error recording of the package manager. The typed arguments follow the
// number and site and end with LSFEND.
int lpmprec(lpm_meta *obj, lwem_facility *fac, int *call_flag, int number, int site, ...);
void lpmpce(lpm_meta *obj);
void lpmpchex(lpm_meta *obj, unsigned depth_before, int *call_flag);

// The package-manager context of a block or product, or NULL.
lpm_ctx *lpm_context(lpm_meta *obj);

// OS side of products.
int slpmali(lpm_meta *obj, slpm_table *table, lpm_node *node, int *call_flag);
int slpmfin(lpm_meta *obj, slpm_table *table, lpm_node *node, int *call_flag);
void slpmstor(slpm_table *table, lpm_meta *value);
extern const char slpmgexedesccore[];
const char *slpmgged(void);

#ifdef __cplusplus
}
#endif

// The package manager's own records and operations.
#include "lpmpkg.h"

#endif
