// The kit brought up for error-manager tests: the product root, its block,
// the error manager, the calling thread's records and a VUV facility of the
// RIDOR product (messages 600 and 601).
#ifndef QEN_TESTS_COMMON_LEM_KIT_H
#define QEN_TESTS_COMMON_LEM_KIT_H

#include "lem.h"
#include "lemx.h"
#include "lpm.h"

struct LemKit {
  lpm_product *root = nullptr;
  lpm_meta *block = nullptr;
  lem_ctx *lem = nullptr;
  lwem_ctx *errs = nullptr;
  lwem_facility *vuv = nullptr;
  bool up() {
    root = lpmprinit();
    if (!root) return false;
    block = root->block;
    lem = *static_cast<lem_ctx **>(root->m.em);
    errs = block->errs;
    vuv = lemfaa(lem, nullptr, "RIDOR", "VUV", 600, 601);
    return lem && vuv;
  }
  void down() {
    lemfaf(lem, vuv);
    lpmprterm(root);
  }
};

#endif  // QEN_TESTS_COMMON_LEM_KIT_H
