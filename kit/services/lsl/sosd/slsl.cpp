#include "slsl.h"

#include <cstdlib>

#include "lpm.h"

extern "C" {

lpm_meta *sslslstash = nullptr;

lpm_meta **sslslgmp(void) { return &sslslstash; }

lpm_meta *slslgetmeta(void) { return *sslslgmp(); }

const char *sslslged(void) { return slpmgged(); }

void sslslini(void *slot, slsl_header *header) {
  header->slot = slot;
  header->four = 4;
  header->exedesc = sslslged;
  header->stash = sslslgmp;
  header->reserved[0] = header->reserved[1] = 0;
  *static_cast<slsl_header **>(slot) = header;
}

int slslameta(size_t size, lpm_meta **block, void **slot) {
  constexpr size_t word = sizeof(void *);
  size_t rounded = (size + word - 1) / word * word;
  if (rounded < size) return -1;
  size_t total = rounded + sizeof(slsl_header) + word;
  auto p = static_cast<unsigned char *>(std::calloc(1, total));
  if (!p) return -1;
  auto header = reinterpret_cast<slsl_header *>(p + rounded);
  void *s = header + 1;
  sslslini(s, header);
  *reinterpret_cast<size_t *>(p) = size;
  *block = reinterpret_cast<lpm_meta *>(p);
  *slot = s;
  return 0;
}

void slslfmeta(lpm_meta *block) { std::free(block); }

int slslini(void *slot, lpm_meta *block) {
  auto header = *static_cast<slsl_header **>(slot);
  block->hdr = header;
  header->slot = slot;
  return 0;
}

}  // extern "C"
