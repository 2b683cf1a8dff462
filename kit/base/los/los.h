// OS error and status records shared by every OS-dependent call of the kit.
#ifndef QEN_KIT_CORE_LOS_H
#define QEN_KIT_CORE_LOS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Filled by every OS-dependent call, which takes it first and clears it on entry.
typedef struct slos_error {
  int32_t code;        // 0 no error; -1 internal; -5 not found; -8 other; -9 bad request; -11 name too long
  char call[33];       // failing call or message, NUL at byte 33
  char location[13];   // location tag
  char other[161];     // other information
  int32_t oserr;       // OS error number
} slos_error;

// Status of the sl layer (name translation, environment, time, signals, NLS files).
typedef struct sl_status {
  int32_t code;
  int32_t oserr;
  intptr_t detail[3];  // printed as 32-bit integers
  intptr_t reserved;
} sl_status;

#define SLOS_ERR_INTERNAL (-1)
#define SLOS_ERR_NOTFOUND (-5)
#define SLOS_ERR_OTHER (-8)
#define SLOS_ERR_BADREQ (-9)
#define SLOS_ERR_NAMELEN (-11)

#define SL_STATUS_CLOCK 52
#define SL_STATUS_BADARG 21100
#define SL_STATUS_TOOLONG 21101
#define SL_STATUS_NOMEM 21102
#define SL_STATUS_UNSET 21104

// Fills the record: code, OS error number, the failing call or message (at
// most 32 characters) and the location tag (at most 12). The other
// information is left as it is. NULL texts are stored as empty texts. The
// three fillers do nothing with a NULL record, so callers whose record is
// optional pass it straight through.
void slosFillErr(slos_error *err, int32_t code, int32_t oserr, const char *msg,
                 const char *loc);

// An internal error: code -1, OS error number 0, the location tag (at most 12
// characters). The failing-call text is left as it is.
void slosFillInt(slos_error *err, const char *loc);

// Copies at most 160 characters of the text into the other information.
void slosOtherInfo(slos_error *err, const char *text);

// 1 when the system has a text for the OS error number, copied into the buffer
// (at most len - 1 characters and a NUL); else 0.
int slosDep2Mesg(int32_t oserr, char *buf, size_t len);

// The OS error number in decimal, cut to len - 1 characters and terminated.
void slosDep2String(int32_t oserr, char *buf, size_t len);

// Copies n bytes between areas that do not overlap; returns dst.
void *slmecpy(void *dst, const void *src, size_t n);

// Text of a status record: the OS error header and text, then one
// "Additional information" line per nonzero detail value, without the final
// newline. Returns the length of the text; a NULL status or a buffer of
// length 0 gives 0 and nothing is written.
int slcgems(const sl_status *st, char *buf, size_t len);

#ifdef __cplusplus
}
#endif

#endif
