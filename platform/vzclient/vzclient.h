// The data words and routines the kit takes from the Viruze client libraries.
#ifndef QEN_VZCLIENT_H
#define QEN_VZCLIENT_H

#include <pthread.h>
#include <setjmp.h>
#include <stddef.h>
#include <stdint.h>

#include "vsnnum.h"

#ifdef __cplusplus
extern "C" {
#endif

struct sl_status;  // the kit's status record (los.h)

// ---- Data words -----------------------------------------------------------

// The process-wide copy of the VIRUZE_PATH search list (NULL until read) and
// the flag that says it has been read. The path search reads and sets them.
extern char *slorpath;
extern int32_t slphinit;

// The jump buffer of the readable-range probe: armed with sigsetjmp, jumped
// back to by its SIGBUS and SIGSEGV handler.
extern sigjmp_buf sltenv;

// The system's name record, filled once by the name services, and the flag
// that says it has been filled.
#define SLGS_FIELD 257
typedef struct slgs_info {
  char sysname[SLGS_FIELD];
  char nodename[SLGS_FIELD];
  char release[SLGS_FIELD];
  char version[SLGS_FIELD];
  char machine[SLGS_FIELD];
} slgs_info;
extern slgs_info slgsinfo;
extern int32_t slgsst;

// ---- Strings --------------------------------------------------------------

// Compares two NUL-terminated texts ignoring the case of ASCII letters:
// negative, 0 or positive as a sorts before, equal to or after b.
int lstclo(const char *a, const char *b);

// Copies a NUL-terminated text lower-cased (ASCII letters); dst may be src.
// Returns dst.
char *lstlo(char *dst, const char *src);

// Right-justifies the NUL-terminated text src in a field of width characters,
// padding on the left with pad, and terminates it: dst holds width + 1
// bytes. A text longer than the field keeps its first width characters.
// dst may overlap src. work is not used. Returns dst.
char *lstrj(char *dst, const char *src, size_t width, int pad, void *work);

// Orders two byte strings by their bytes over the shorter length (unsigned
// compare): -1 or 1, or 0 when that common part is equal, so that the caller
// orders them by length.
int lmebucp(const void *a, size_t alen, const void *b, size_t blen);

// Converts len bytes from EBCDIC (IBM code page 037) to ASCII (ISO 8859-1);
// in place when dst is src. Returns dst.
void *slste2a(void *dst, const void *src, size_t len);

// ---- Number text ----------------------------------------------------------

// Converts len digits of the base (2 to 36, letters in either case) into
// *out. Returns 0, or -1 with *out = 0 for no digits, a character that is not
// a digit of the base, a bad base or a value that does not fit.
int lcvb2w(const char *text, size_t len, int *out, int base);
int lcvb24(const char *text, size_t len, uint32_t *out, int base);

// Writes the unsigned value in the base (2 to 36, lower-case letters) without
// a NUL and returns the number of characters (at most 32); a bad base writes
// nothing and returns 0.
int lcv42b(char *buf, uint32_t value, int base);

// ---- File names -----------------------------------------------------------

#define SLFNP_PART 513   // size of each part buffer
#define SLFNP_BADARG 7202  // NULL argument
#define SLFNP_TOOLONG 7204 // name of SLFNP_PART characters or more

// Splits a file name into its directory (without the final '/', "/" for the
// root), its name, its extension (after the last '.' of the last component,
// not counting a leading '.') and a fourth part (always empty here), each
// into a caller buffer of SLFNP_PART bytes. Clears the status and returns its
// code: 0, or one of the SLFNP_ codes with the buffers left empty.
int32_t slfnp(struct sl_status *st, char *dir, char *name, char *ext, char *fourth,
              const char *filename);

// ---- Scratch buffer -------------------------------------------------------

typedef void (*slmaacb_fn)(void *ctx, void *buf);

// Calls fn once with (ctx, a scratch buffer of at least size bytes) and
// returns 0 after it; the buffer is gone afterwards. -1 when no buffer could
// be had (fn is not called).
int slmaacb(slmaacb_fn fn, void *ctx, size_t size);

// ---- UTF-16 ---------------------------------------------------------------

typedef struct lxu_ctx lxu_ctx;

// A UTF-16 conversion context for the language handle and NLS environment;
// it needs no release.
lxu_ctx *lxuCvtToCtx(const void *langid, const void *glo);

// Length in UTF-16 units of text, which ends at a zero unit (any alignment).
size_t lxuStrLen(const lxu_ctx *ctx, const void *text);

// ---- Shared/exclusive lock ------------------------------------------------

typedef struct SltsPrLock {
  pthread_rwlock_t rw;
} SltsPrLock;

// Each returns 0 for success or the OS error number. The thread context is
// not looked at.
int SltsPrInit(void *tctx, SltsPrLock *lock);
int SltsPrRead(void *tctx, SltsPrLock *lock);
int SltsPrWrite(void *tctx, SltsPrLock *lock);
int SltsPrUnlock(void *tctx, SltsPrLock *lock);
int SltsPrDestroy(void *tctx, SltsPrLock *lock);

#ifdef __cplusplus
}
#endif

#endif
