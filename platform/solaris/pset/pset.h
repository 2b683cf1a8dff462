// Processor sets: the query form of pset_bind and pset_info. Here a process
// is bound to a processor set when its affinity mask leaves out some of the
// online processors; that set (id 1) holds the processors of the mask.
#ifndef QEN_PLATFORM_SOLARIS_PSET_H
#define QEN_PLATFORM_SOLARIS_PSET_H

#ifdef __cplusplus
extern "C" {
#endif

typedef int psetid_t;
typedef int processorid_t;

#define PS_NONE (-1)   // not bound to a set
#define PS_QUERY (-2)  // pset_bind: only ask
#define PS_MYID (-3)   // the process's own set
#define PS_PRIVATE 2   // pset_info: the set's type
#define P_MYPID (-1)   // the calling process

// With PS_QUERY and the own process (idtype P_PID, id P_MYPID): stores the
// set the process is bound to, or PS_NONE, in *opset. 0, or -1 with errno.
int pset_bind(psetid_t pset, int idtype, int id, psetid_t *opset);
// The set's type and processor count (cpulist NULL: not filled). 0, or -1
// with errno EINVAL for a set that does not exist.
int pset_info(psetid_t pset, int *type, unsigned *numcpus, processorid_t *cpulist);

#ifdef __cplusplus
}
#endif

#endif
