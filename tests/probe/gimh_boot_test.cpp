// Failures while the process context is built: the kit bootstrap, the VUV
// facility and the process services are replaced at link time (--wrap) by
// versions that fail on request.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "child.h"
#include "gimh.h"

namespace {

bool fail_boot, fail_facility, fail_services;

}  // namespace

extern "C" {
lpm_product *__real_lpmprinit(void);
lpm_product *__wrap_lpmprinit(void) { return fail_boot ? nullptr : __real_lpmprinit(); }

lwem_facility *__real_lemfaa(lem_ctx *, void **, const char *, const char *, int, int);
lwem_facility *__wrap_lemfaa(lem_ctx *lem, void **cb, const char *product, const char *facility,
                             int internal, int fatal) {
  if (fail_facility) return nullptr;
  return __real_lemfaa(lem, cb, product, facility, internal, fatal);
}

int __real_skgpinit(slos_error *, skgp_ctx *, skgp_ops *, void *, uint32_t);
int __wrap_skgpinit(slos_error *err, skgp_ctx *ctx, skgp_ops *ops, void *ops_ctx,
                    uint32_t flags) {
  if (!fail_services) return __real_skgpinit(err, ctx, ops, ops_ctx, flags);
  slosFillErr(err, 27143, EMFILE, "setrlimit", "skgpinit2");
  return 0;
}
}

namespace {

std::string error_text(gimh_proc_ctx *proc) {
  char buf[2000];
  buf[0] = '\0';
  gimh_error(proc, buf, sizeof buf);
  return buf;
}

}  // namespace

TEST(GimhBoot, FailedBootstrapLeavesNoContext) {
  IN_CHILD({
    fail_boot = true;
    gimh_proc_ctx *proc = reinterpret_cast<gimh_proc_ctx *>(1);
    CHILD_CHECK(gimh_init_proc_ctx(&proc, 0) == GIMH_FAIL && proc == nullptr);
    CHILD_CHECK(error_text(proc) == "Error: process context is not initialized\n");
  });
}

TEST(GimhBoot, RefusedFacilityLeavesNoContext) {
  IN_CHILD({
    fail_facility = true;
    gimh_proc_ctx *proc = reinterpret_cast<gimh_proc_ctx *>(1);
    CHILD_CHECK(gimh_init_proc_ctx(&proc, 0) == GIMH_FAIL && proc == nullptr);
  });
}

TEST(GimhBoot, FailedServicesLeaveAHalfBuiltContext) {
  IN_CHILD({
    fail_services = true;
    gimh_proc_ctx *proc = nullptr;
    CHILD_CHECK(gimh_init_proc_ctx(&proc, 0) == GIMH_FAIL && proc != nullptr);
    CHILD_CHECK(proc->magic == 0 && !(proc->flags & GIMH_PROC_SKGP));
    CHILD_CHECK(error_text(proc) == "Error: process context is not initialized\n");
    CHILD_CHECK(gimh_dest_proc_ctx(proc) == GIMH_FAIL);
    // the records stay on the stack: 100, then 90, 91, 92 from the OS record
    proc->magic = GIMH_PROC_MAGIC;
    std::string text = error_text(proc);
    CHILD_CHECK(text.rfind("VUV-00100: ", 0) == 0);
    size_t a = text.find("\nVUV-00090: "), b = text.find("\nVUV-00091: "),
           c = text.find("\nVUV-00092: ");
    CHILD_CHECK(a != std::string::npos && a < b && b < c && c != std::string::npos);
    CHILD_CHECK(text.find("[setrlimit]") != std::string::npos);
    CHILD_CHECK(text.find("[skgpinit2]") != std::string::npos);
    CHILD_CHECK(text.find("VUV-00093") == std::string::npos);
  });
}
