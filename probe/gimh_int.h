// Helpers shared by the health interface's sources: the try frame of the
// create and destroy functions, recording and throwing VUV messages, the
// checks of the mapped health file and the pause.
#ifndef QEN_PROBE_GIMH_INT_H
#define QEN_PROBE_GIMH_INT_H

#include "gimh.h"
#include "lsf.h"

extern "C" {

// Newest records kept on the thread's error stack after a recorded failure.
#define GIMH_STACK_KEEP 20u

// A create or destroy function's protected region. The frame root and the
// frame live in the caller; the handler runs with the frame popped.
//
//   GIMH_TRY(env, root, frame) { ... gimh_throw(&root, env, VUV_x); ... }
//   GIMH_CATCH(env, root, frame) { return GIMH_FAIL; }
#define GIMH_TRY(env, root, frame) \
  lemfri((env)->lem, &(root));     \
  LEMTRY(&(root), &(frame))
#define GIMH_CATCH(env, root, frame) \
  LEMCATCH(&(root), &(frame))

// Records message `number` (class 2) without arguments and throws to the
// innermost frame of `root`. Returns only when there is no frame.
void gimh_throw(lem_frame *root, gimc_env *env, int number);

// Records a message with class 3 and trims the thread's stack to its newest
// GIMH_STACK_KEEP records. The typed arguments end with LSFEND.
#define GIMH_RECORD(env, number, ...)                                                   \
  do {                                                                                  \
    lempfrec()((env)->lem, (env)->fac, (number), LWEM_CLASS_RECORDED, ##__VA_ARGS__, \
               LSFEND);                                                                 \
    gimh_trim(env);                                                                     \
  } while (0)
void gimh_trim(gimc_env *env);

// After a failed create: drop the stack's barriers so that the records of the
// failed step stay visible to the error text.
void gimh_unwind(gimc_env *env);

// The process context behind an instance context, or NULL.
gimh_proc_ctx *gimh_inst_proc(const gimh_inst_ctx *inst);

// True when the mapped file carries both magics, this library's version and a
// current-record index inside the file.
bool gimh_region_ok(const volatile gimh_region *region);

// The current-record index, read once; GIMH_NRECORDS when out of range.
unsigned gimh_region_index(const volatile gimh_region *region);

// The process context of a usable query context (magic and chain), or NULL.
gimh_proc_ctx *gimh_query_proc(const gimh_query_ctx *query);

// A block of the interface's sub-heap (not zeroed), or NULL.
void *gimh_alloc(gimc_env *env, size_t size);

// Clears an OS error record before a call of the OS-dependent layer.
inline void gimh_clear_oserr(slos_error *err) {
  err->code = 0;
  err->other[0] = '\0';
}

// Pauses the calling thread.
void gimh_pause(uint32_t usec);

}  // extern "C"

#endif
