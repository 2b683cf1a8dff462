// Backup file names: slgpn expands a template of "%" variables into the name
// of a backup piece or of an image copy, in the character set of a language
// handle.
//
// Records: slgpn_params, the caller's description of the file. An indicator
// of 0 says the value beside it is present, -1 that it is absent.
//
// Results: 0 success; 1 name too long (more than 512 bytes in a pass); 2 a
// value the template needs is absent, or the name does not fit the %F form
// (additional information: the letter); -1 an internal error. err carries
// the details. The output area holds SLGPN_OUTSIZE bytes.
//
// Who may call: anyone; slgpn keeps no state.
#ifndef QEN_KIT_OSD_SLGPN_H
#define QEN_KIT_OSD_SLGPN_H

#include <stddef.h>
#include <stdint.h>

#include "los.h"
#include "lxl.h"

#ifdef __cplusplus
extern "C" {
#endif

#define SLGPN_MAX 512          // bytes one pass may hold
#define SLGPN_OUTSIZE 513      // the output area, terminator included
#define SLGPN_PRESENT 0
#define SLGPN_ABSENT (-1)

#define SLGPN_OK 0
#define SLGPN_TOOLONG 1
#define SLGPN_FORMAT 2
#define SLGPN_INTERNAL (-1)

typedef struct slgpn_params {
  const char *tmpl;          // the template, ended by a zero character
  int32_t piece;             // %p
  uint32_t set;              // %s, %u
  uint32_t stamp;            // %t, %u
  int32_t copy;              // %c
  const char *device;        // NULL or "DISK" for copies
  int32_t year, month, day;  // %Y %M %D
  uint32_t dbid;             // %I
  const char *dbname;        // %d %n
  int32_t autoseq;           // %q (through %F)
  int32_t fileno, fileno_ind;  // %f
  const char *tsname;        // %N
  int32_t tsname_ind;
  const char *logseq;        // %e
  int32_t logseq_ind;
  int32_t thread, thread_ind;  // %h
  int32_t is_copy;           // 0 a backup piece, else an image copy
  uint32_t actid;            // %a
  lxlangid **langid;         // charset of template and result
  lxglo *glo;
} slgpn_params;

// The digits of %c, %u and %q.
extern const char slgpn_32tt[33];

int slgpn(slos_error *err, const slgpn_params *params, char *output, size_t *outlen);

#ifdef __cplusplus
}
#endif

#endif
