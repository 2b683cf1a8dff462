// Small services of the OS-dependent layer: a probe that tells whether a
// range of memory can be read, file-name normalisation, status records, the
// processor count, host information, the time of day and calendar
// conversions, the names of the user trace files, and a safe open that
// refuses links.
//
// Records: sl_status (los.h), cleared or filled as each function says;
// slos_error only for slsfopen. sl_systime and sl_caltime below.
//
// Who may call: any code of the kit. slrac changes the process's SIGBUS and
// SIGSEGV actions while it runs and uses one process-wide jump buffer: one
// thread at a time. The host-information copy is filled without a lock.
#ifndef QEN_KIT_OSD_SLMISC_H
#define QEN_KIT_OSD_SLMISC_H

#include <signal.h>
#include <stddef.h>
#include <stdint.h>

#include "los.h"
#include "slf.h"

#ifdef __cplusplus
extern "C" {
#endif

#define SLNRM_ERR_DOTDOT 7345   // the translated name contains ".."
#define SLNRM_ERR_LONG 7346     // the name under "?/dbs" does not fit (details: needed, size, 512)
#define SL_ERR_TIME 7206        // gettimeofday failed
#define SL_ERR_UNAME 7214       // uname failed
#define SLNRM_MAX 512           // longest name under the database directory
#define SLCTS_LEN 20            // bytes slcts writes at most, NUL included
#define SLGOCI_LEN 32           // bytes of each trace-file name buffer
#define SLSF_PATH_MAX 1023      // longest path slsfopen opens
#define SLSF_ERR_NAME (-9)      // name too long, link, or altered target
#define SLSF_ERR_SYS (-8)       // lstat or fstat failed

// Saves the probe's jump point with the signal mask: 0 when saved, non-zero
// when slbad jumped back.
#define SL_SETJMP(env) sigsetjmp((env), 1)

typedef struct sl_systime {
  uint16_t year;   // four digits
  uint16_t month;  // 1-12
  uint16_t day;
  uint16_t hour;
  uint16_t minute;
  uint16_t second;
  uint16_t msec;
  uint16_t zero;   // always 0
} sl_systime;

typedef struct sl_caltime {
  uint16_t year;   // four digits
  uint8_t month;   // 1-12
  uint8_t day;
  uint8_t hour;
  uint8_t minute;
  uint8_t second;
} sl_caltime;

// The message function slgei calls: (context, code, 0, a, b, code).
typedef int (*sl_msgfn)(void *ctx, int32_t code, int zero, void *a, void *b, int32_t code2);

// 0 when the first and the last byte of the range can be read, 1 otherwise.
int slrac(const void *addr, size_t len);
// The probe's SIGBUS and SIGSEGV handler: jumps back into slrac.
void slbad(int sig, siginfo_t *info, void *uctx);
// Translates name (sltln), refuses "..", places a relative result under
// "?/dbs" and folds "//" and "/./"; out holds outsize bytes.
void slnrm(sl_status *st, const char *name, size_t namelen, char *out, size_t outsize,
           size_t *outlen);
int slgei(sl_status *st, sl_msgfn fn, void *ctx, void *a, void *b);
sl_status *slseti(sl_status *st);
// Processors of the process's set, else those online, else 0 (the status
// code stays 0; its errno field then says why the system gave no count).
// The OS layer's one processor count: skgpnumcpu reports through it too.
int slcpuc(sl_status *st);
// 1 when the process-wide uname copy is (now) filled.
int slgunm(sl_status *st);
// The node name, no terminator; bytes copied (0 on failure).
size_t slghst(sl_status *st, char *dst, size_t size);
// One description line (items 0 to 5); its length.
size_t slgsds(int item, char *dst, size_t size);
sl_systime *slgtd(sl_status *st, sl_systime *out);
// The current time in seconds, filling *out; 0 on failure.
uint32_t slgtds(sl_status *st, sl_systime *out);
// "MM/DD/YYYY hh:mm:ss" (two-digit year with the flag) of the local time;
// empty for 0. buf holds SLCTS_LEN bytes.
char *slcts(uint32_t secs, char *buf, int two_digit_year);
void slctod(uint32_t secs, sl_caltime *out);
void slctgd(uint32_t secs, sl_caltime *out, uint8_t *weekday);
int64_t slctgt(const sl_caltime *in);
// "zur_skgu_<pid>.trc1" and ".trc2"; each buffer holds SLGOCI_LEN bytes.
char *slgocitrcfn(char *first, char *second);
// Opens name (under dir when given) for reading unless it is a link or it
// changed between the check and the open; NULL with err filled.
slf_handle *slsfopen(const char *name, const char *dir, slos_error *err);

#ifdef __cplusplus
}
static_assert(sizeof(sl_systime) == 16);
static_assert(sizeof(sl_caltime) == 8);
static_assert(offsetof(sl_caltime, month) == 2);
#endif

#endif
