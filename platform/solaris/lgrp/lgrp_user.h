// Locality groups: the types and constants of the locality-group library's
// ten calls, and where this system keeps the library.
//
// The library is opened with dlopen at run time; its calls are reached only
// through dlsym. Here it is our own shared library over
// /sys/devices/system/node: one group per memory node as leaves below a
// root (id 0); on a machine with one node the root is the only group. The
// home group comes from the processor the thread runs on (getcpu), strong
// affinity binds the thread to the group's processors.
#ifndef QEN_PLATFORM_SOLARIS_LGRP_USER_H
#define QEN_PLATFORM_SOLARIS_LGRP_USER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int lgrp_id_t;
typedef uintptr_t lgrp_cookie_t;
typedef long long lgrp_mem_size_t;

typedef enum lgrp_view { LGRP_VIEW_CALLER = 0, LGRP_VIEW_OS = 1 } lgrp_view_t;
typedef enum lgrp_content { LGRP_CONTENT_ALL = 0, LGRP_CONTENT_HIERARCHY = 0,
                            LGRP_CONTENT_DIRECT = 1 } lgrp_content_t;
typedef enum lgrp_mem_size_flag { LGRP_MEM_SZ_FREE = 0, LGRP_MEM_SZ_INSTALLED = 1 }
    lgrp_mem_size_flag_t;
typedef enum lgrp_affinity { LGRP_AFF_NONE = 0, LGRP_AFF_WEAK = 0x10, LGRP_AFF_STRONG = 0x100 }
    lgrp_affinity_t;
// The (idtype, id) pair naming the calling thread (Linux's <sys/wait.h> has
// no thread id type; its P_PID names a process).
#define P_LWPID 8
#define P_MYID (-1)

#define LGRP_VER_CURRENT 1
#define LGRP_NONE (-1)

// The library's entry points, by their names.
typedef int (*lgrp_version_fn)(int);
typedef lgrp_cookie_t (*lgrp_init_fn)(lgrp_view_t);
typedef int (*lgrp_fini_fn)(lgrp_cookie_t);
typedef lgrp_id_t (*lgrp_home_fn)(int, int);
typedef int (*lgrp_nlgrps_fn)(lgrp_cookie_t);
typedef int (*lgrp_affinity_set_fn)(int, int, lgrp_id_t, lgrp_affinity_t);
typedef int (*lgrp_children_fn)(lgrp_cookie_t, lgrp_id_t, lgrp_id_t *, unsigned);
typedef lgrp_id_t (*lgrp_root_fn)(lgrp_cookie_t);
typedef lgrp_mem_size_t (*lgrp_mem_size_fn)(lgrp_cookie_t, lgrp_id_t, lgrp_mem_size_flag_t,
                                             lgrp_content_t);
typedef int (*lgrp_cpus_fn)(lgrp_cookie_t, lgrp_id_t, int *, unsigned, lgrp_content_t);

// The path the library is opened from (of this build's width).
const char *qen_lgrp_library_path(void);
#ifdef QEN_TEST_HOOKS
// Test builds only: a test opens a library it built (or a missing path, to
// see the library absent) in place of the platform's (NULL puts the platform's
// back).
void qen_lgrp_set_library_path(const char *path);
#endif

#ifdef __cplusplus
}
#endif

#endif
