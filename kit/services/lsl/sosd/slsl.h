// OS side of the process bootstrap: the header allocated with a process
// block, and the process-wide stash that holds one block.
#ifndef QEN_KIT_CORE_SLSL_H
#define QEN_KIT_CORE_SLSL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct lpm_meta lpm_meta;

// Six words after the block; a one-word slot follows that points back here.
typedef struct slsl_header {
  void *slot;
  uintptr_t four;                    // the constant 4
  const char *(*exedesc)(void);      // the executable descriptor ("core")
  lpm_meta **(*stash)(void);         // address of the process-wide stash
  uintptr_t reserved[2];
} slsl_header;

extern lpm_meta *sslslstash;

int slslameta(size_t size, lpm_meta **block, void **slot);
void slslfmeta(lpm_meta *block);
int slslini(void *slot, lpm_meta *block);
lpm_meta *slslgetmeta(void);
lpm_meta **sslslgmp(void);
void sslslini(void *slot, slsl_header *header);
const char *sslslged(void);

#ifdef __cplusplus
}
#endif

#endif
