// Bit vectors in byte arrays: bit i is bit i % 8 (value 1 << (i % 8)) of
// byte i / 8. A vector of n bits occupies (n + 7) / 8 bytes.
#ifndef QEN_KIT_CORE_LBI_H
#define QEN_KIT_CORE_LBI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Bytewise over (n + 7) / 8 bytes: dst = a AND b, a OR b, a XOR b, NOT a.
void lbivand(uint8_t *dst, const uint8_t *a, const uint8_t *b, size_t n);
void lbivor(uint8_t *dst, const uint8_t *a, const uint8_t *b, size_t n);
void lbivxor(uint8_t *dst, const uint8_t *a, const uint8_t *b, size_t n);
void lbivnot(uint8_t *dst, const uint8_t *a, size_t n);

// Index of the lowest set bit i with start <= i < end, or -1 (also when
// start >= end, without reading the vector). A negative start counts as 0.
int32_t lbivffs(const uint8_t *vec, int32_t start, int32_t end);

// Copies n bits of src from bit offset on to dst from bit 0, writing
// (n + 7) / 8 whole bytes. Reads only the source bytes that hold the copied
// bits; destination bits above n - 1 come from the source bits beyond the
// copied ones within those bytes, else 0.
void lbivncpy(uint8_t *dst, const uint8_t *src, size_t offset, size_t n);

// Packs: bit i of dst is 1 when bytes[i] has any bit of mask, for i < n.
// Whole destination bytes are rewritten; in a last partial byte only the
// low n % 8 bits change.
void lbivpk(uint8_t *dst, const uint8_t *bytes, size_t n, uint8_t mask);

// Unpacks: for i < n, bytes[i] gets the mask's bits set when bit i of vec is
// 1, cleared when it is 0; its other bits are kept.
void lbivupk(uint8_t *bytes, const uint8_t *vec, size_t n, uint8_t mask);

#ifdef __cplusplus
}
#endif

#endif
