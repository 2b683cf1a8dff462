// The instance health file <VIRUZE_HOME>/dbs/hc_<VIRUZE_SID>.dat as mapped:
// the one description of its layout, for the probe that reads it and the
// tools that write it.
//
// The instance writes the file and the probe only reads it. Multi-byte fields
// are in the host's byte order. The layout follows the instance's word size:
// gimh_region64 (1552 bytes) for 64-bit instances, gimh_region32 (1544 bytes)
// for 32-bit ones; gimh_region is the one of this build. Both descriptions are
// fixed-width, so either build can write either layout. Bytes not named here
// belong to the instance and are not interpreted.
//
//   64-bit  32-bit  field
//   80      80      magic, u16 = GIMH_MAGIC
//   84      84      version, u32 = the client library's vsnnum
//   188     188     curidx, u8: the current state record, 0 to 9
//   192     192     pid: the instance process's identity (skgp_pid64 or
//                   skgp_pid32: id s32 @192, start time s64 @200 or s32 @196)
//   508     500     magic2, u16 = GIMH_MAGIC
//   510     502     flags, u16: GIMH_FLG_READY = the file is ready
//   512     504     rec[10], 104 bytes each; state[n] (record byte 2 + n) is
//                   event n's state: 0 not supported, 2 set, else not set
#ifndef QEN_KIT_OSD_GIMH_REGION_H
#define QEN_KIT_OSD_GIMH_REGION_H

#include <stddef.h>
#include <stdint.h>

#include "skgp.h"

#ifdef __cplusplus
extern "C" {
#endif

#define GIMH_MAGIC 63044u            // 0xF644, both magics
#define GIMH_FLG_READY 0x8u          // flags bit 3
#define GIMH_NRECORDS 10             // state records
#define GIMH_NEVENTS 15              // events 0 to 14
#define GIMH_RECORD_SIZE 104
#define GIMH_STATE_OFFSET 2          // first state byte within a record
#define GIMH_STATE_UNSUPPORTED 0     // state byte: the instance lacks the event
#define GIMH_STATE_SET 2             // state byte: the event is set
#define GIMH_REGION64_SIZE 1552
#define GIMH_REGION32_SIZE 1544

typedef struct gimh_record {
  uint8_t head[GIMH_STATE_OFFSET];
  uint8_t state[GIMH_NEVENTS];
  uint8_t tail[GIMH_RECORD_SIZE - GIMH_STATE_OFFSET - GIMH_NEVENTS];
} gimh_record;

typedef struct gimh_region64 {
  uint8_t rsv0[80];
  uint16_t magic;
  uint8_t rsv1[2];
  uint32_t version;
  uint8_t rsv2[100];
  uint8_t curidx;
  uint8_t rsv3[3];
  skgp_pid64 pid;
  uint8_t rsv4[300];
  uint16_t magic2;
  uint16_t flags;
  gimh_record rec[GIMH_NRECORDS];
} gimh_region64;

typedef struct gimh_region32 {
  uint8_t rsv0[80];
  uint16_t magic;
  uint8_t rsv1[2];
  uint32_t version;
  uint8_t rsv2[100];
  uint8_t curidx;
  uint8_t rsv3[3];
  skgp_pid32 pid;
  uint8_t rsv4[300];
  uint16_t magic2;
  uint16_t flags;
  gimh_record rec[GIMH_NRECORDS];
} gimh_region32;

#if UINTPTR_MAX > 0xFFFFFFFFu
typedef gimh_region64 gimh_region;
#define GIMH_REGION_SIZE GIMH_REGION64_SIZE
#else
typedef gimh_region32 gimh_region;
#define GIMH_REGION_SIZE GIMH_REGION32_SIZE
#endif

#ifdef __cplusplus
}

static_assert(sizeof(gimh_record) == GIMH_RECORD_SIZE);
static_assert(offsetof(gimh_record, state) == GIMH_STATE_OFFSET);

static_assert(sizeof(gimh_region64) == GIMH_REGION64_SIZE);
static_assert(offsetof(gimh_region64, magic) == 80);
static_assert(offsetof(gimh_region64, version) == 84);
static_assert(offsetof(gimh_region64, curidx) == 188);
static_assert(offsetof(gimh_region64, pid) == 192);
static_assert(offsetof(gimh_region64, pid) + offsetof(skgp_pid64, pid) == 192);
static_assert(offsetof(gimh_region64, pid) + offsetof(skgp_pid64, stime) == 200);
static_assert(offsetof(gimh_region64, magic2) == 508);
static_assert(offsetof(gimh_region64, flags) == 510);
static_assert(offsetof(gimh_region64, rec) == 512);
static_assert(offsetof(gimh_region64, rec[1]) == 512 + 104);
static_assert(offsetof(gimh_region64, rec[9].state[14]) == 512 + 104 * 9 + 2 + 14);

static_assert(sizeof(gimh_region32) == GIMH_REGION32_SIZE);
static_assert(offsetof(gimh_region32, magic) == 80);
static_assert(offsetof(gimh_region32, version) == 84);
static_assert(offsetof(gimh_region32, curidx) == 188);
static_assert(offsetof(gimh_region32, pid) == 192);
static_assert(offsetof(gimh_region32, pid) + offsetof(skgp_pid32, pid) == 192);
static_assert(offsetof(gimh_region32, pid) + offsetof(skgp_pid32, stime) == 196);
static_assert(offsetof(gimh_region32, magic2) == 500);
static_assert(offsetof(gimh_region32, flags) == 502);
static_assert(offsetof(gimh_region32, rec) == 504);
static_assert(offsetof(gimh_region32, rec[1]) == 504 + 104);
static_assert(offsetof(gimh_region32, rec[9].state[14]) == 504 + 104 * 9 + 2 + 14);

static_assert(sizeof(gimh_region) == GIMH_REGION_SIZE);
#endif

#endif
