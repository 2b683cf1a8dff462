// File-stream service: the standard streams of a process block, its lists of
// open files, file names and search paths, the steps that end a file's life,
// and the NLS environment and language handle its names are read in.
#ifndef QEN_KIT_CORE_LFI_H
#define QEN_KIT_CORE_LFI_H

#include <stdint.h>
#include <stdio.h>

#include "slts.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct lpm_meta lpm_meta;
typedef struct lpm_product lpm_product;
typedef struct lwem_facility lwem_facility;
typedef struct lxlobj lxlobj;
typedef struct lxlangid lxlangid;
typedef struct lxglo lxglo;

// Message numbers of the LFI facility.
enum {
  LFI_NOMEM = 2,
  LFI_INTERNAL = 3,
  LFI_STEPFAIL = 4,
  LFI_BADARG = 6,
  LFI_MUTEX = 8,
  LFI_CLOSESTEP = 116,
  LFI_NOCOPY = 1500,
  LFI_FCLOSE = 1505,
  LFI_UNLINK = 1511,
  LFI_CLOSE = 1520
};

// Results of the service's operations.
#define LFI_FAIL (-2)

// A list with head and tail sentinels and its own mutex; every element
// begins with {next, previous}. Inserting puts the element at the front.
typedef struct lfi_lelem {
  struct lfi_lelem *next;
  struct lfi_lelem *prev;
} lfi_lelem;

typedef struct lfi_list {
  lfi_lelem head;
  lfi_lelem tail;
  slts_mutex mutex;
} lfi_list;

typedef struct lfi_ctx lfi_ctx;
typedef struct lfi_file lfi_file;

typedef struct lfi_std {
  lfi_file *in;
  lfi_file *out;
  lfi_file *err;
  lfi_ctx *ctx;
} lfi_std;

// Every file operation takes an instance first.
typedef struct lfi_inst {
  void *owner;  // the block or a product
  lfi_std *std;
} lfi_inst;

// The block's file field: a one-word record holding the block's instance.
typedef struct lfi_blockrec {
  lfi_inst *inst;
} lfi_blockrec;

// A product's file field: {its instance, reserved}.
typedef struct lfi_prodrec {
  lfi_inst *inst;
  void *reserved;
} lfi_prodrec;

struct lfi_ctx {
  lpm_meta *block;
  lwem_facility *fac;     // "VODUDED"/"LFI"
  lfi_list names;
  lfi_list paths;
  lfi_list files;
  lxlobj *nls_table;      // own NLS object table, or NULL
  slts_mutex mutex;
  slts_ctx *thr;
  lxlangid *lang_room;    // room for a language handle built here
  lxlangid *lang;         // the language handle in use
  lxglo *glo_room;        // room for an NLS environment built here
  lxglo *glo;             // the NLS environment in use
};

// OS record of a file.
typedef struct slfi_osfile {
  FILE *stream;
  int fd;
  int kind;               // 1 stdio stream, else a descriptor
  void *reserved1;
  void *buffer;
  void *reserved2;
} slfi_osfile;

// The final name of a file written under a temporary name, and the buffer.
typedef struct lfi_buffer {
  char *final_name;
  uint8_t final_flush;    // set before the last flush
  void *data;
} lfi_buffer;

typedef struct lfi_bufops {
  int (*flush)(lfi_inst *inst, lfi_file *file);  // 0, or nonzero on failure
} lfi_bufops;

// A name object: a file name with its texts, OS name and path.
typedef struct lfi_path lfi_path;
typedef struct lfi_name {
  struct lfi_name *next;
  struct lfi_name *prev;
  uint32_t flags;         // 0x1: owns its path object
  char *text;
  char *alt;
  char *osname;
  lfi_path *path;
  slts_mutex mutex;
} lfi_name;

// A chain of search-path elements.
typedef struct lfi_pathel {
  struct lfi_pathel *next;
  char *dir;
} lfi_pathel;

struct lfi_path {
  lfi_path *next;
  lfi_path *prev;
  int32_t owner;          // 1: owned by a name object, not on the path list
  lfi_pathel *elements;
  slts_mutex mutex;
};

// Access bits.
#define LFI_ACC_READ 1
#define LFI_ACC_WRITE 2
#define LFI_ACC_TEMP 0x8

// State bits.
#define LFI_ST_OPEN 0x1
#define LFI_ST_KEEP 0x2

struct lfi_file {
  lfi_file *next;         // reserved words: the open list's links
  lfi_file *prev;
  uint16_t state;
  lfi_buffer *buffer;
  const lfi_bufops *ops;
  slfi_osfile *os;
  uint16_t access;
  uint16_t one;
  uint16_t flags;
  int32_t max;
  char name[16];
  int32_t word;
  lfi_name *temp;         // the temporary name
  void *reserved[2];
  slts_mutex mutex;
};

int lfirist(lpm_meta *block, void *slot, int mode);
int lficis(lpm_meta *block, void **place, lpm_product *product);
int lficit(lpm_meta *block, void *inst, lpm_product *product);

int lfiboot(lfi_inst *inst);
int lficlean(lfi_inst *inst);
lfi_file *lfiostd(lfi_inst *inst, int kind);
int lficstd(lfi_inst *inst, lfi_file *file);

int lficls(lfi_inst *inst, lfi_file *file);
int lfifno(lfi_inst *inst, lfi_name *name);
int lfifpo(lfi_inst *inst, lfi_path *path);

int lfillil(lfi_inst *inst, lfi_list *list, int *call_flag);
int lfillae(lfi_inst *inst, lfi_list *list, void *elem, int *call_flag);
int lfillre(lfi_inst *inst, lfi_list *list, void *elem, int *call_flag);
void *lfillnx(lfi_inst *inst, lfi_list *list, void *elem, int *call_flag);
int lfillmem(lfi_inst *inst, lfi_list *list, void *elem, int *call_flag);
void lfillik(void *elem);

// Records an LFI error of class 3 while the owning block is ready; the typed
// arguments follow the site and end with LSFEND.
int lfirec(lfi_inst *inst, int *call_flag, int number, int site, ...);

// OS side.
slfi_osfile *slfigf(lfi_inst *inst, int kind, int *call_flag);
int slficl(lfi_inst *inst, slfi_osfile *os, int *call_flag);
int slfiff(lfi_inst *inst, slfi_osfile *os, int *call_flag);
int slfifn(lfi_inst *inst, lfi_name *name, int *call_flag);
int slfifp(lfi_inst *inst, lfi_pathel *chain, int *call_flag);
int slfirf(lfi_inst *inst, const char *name, int *call_flag);
int slfirn(lfi_inst *inst, const char *from, const char *to, int *call_flag);
int slficf(lfi_inst *inst, const char *from, const char *to, int *call_flag);

#ifdef __cplusplus
}
#endif

#endif
