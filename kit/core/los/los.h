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

#ifdef __cplusplus
}
#endif

#endif
