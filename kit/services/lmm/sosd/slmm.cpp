// The memory manager's use of the process allocator.
#include <stdlib.h>
#include <unistd.h>

#include "lmmi.h"

void* slwmmgetmem(slts_ctx* tsctx, size_t* size) {
  if (!tsctx || !size) return nullptr;
  return calloc(1, *size);
}

int slwmmputmem(slts_ctx* tsctx, void* ptr) {
  if (!tsctx) return -1;
  free(ptr);
  return 0;
}

size_t slmmstmsr(void) {
  size_t page = lmmi_pagesize();
  return 17 * (page > 8192 ? page : 8192);
}
