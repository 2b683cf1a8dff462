// NUMA placement, the OS part: the environment and the locality-group
// library's entry points, loaded with the dynamic loader.
#include "sskgsn.h"

#include <dlfcn.h>
#include <stdlib.h>

lgrp_version_fn SKGSN_lgrp_version;
lgrp_init_fn SKGSN_lgrp_init;
lgrp_fini_fn SKGSN_lgrp_fini;
lgrp_home_fn SKGSN_lgrp_home;
lgrp_nlgrps_fn SKGSN_lgrp_nlgrps;
lgrp_affinity_set_fn SKGSN_lgrp_affinity_set;
lgrp_children_fn SKGSN_lgrp_children;
lgrp_root_fn SKGSN_lgrp_root;
lgrp_mem_size_fn SKGSN_lgrp_mem_size;
lgrp_cpus_fn SKGSN_lgrp_cpus;

namespace {

constexpr char kDisable[] = "DISABLE_NUMA";
constexpr char kSimulate[] = "SIM_NUMA";

struct Entry {
  const char *name;
  void **slot;
};

const Entry kEntries[] = {
    {"lgrp_version", reinterpret_cast<void **>(&SKGSN_lgrp_version)},
    {"lgrp_init", reinterpret_cast<void **>(&SKGSN_lgrp_init)},
    {"lgrp_fini", reinterpret_cast<void **>(&SKGSN_lgrp_fini)},
    {"lgrp_home", reinterpret_cast<void **>(&SKGSN_lgrp_home)},
    {"lgrp_nlgrps", reinterpret_cast<void **>(&SKGSN_lgrp_nlgrps)},
    {"lgrp_affinity_set", reinterpret_cast<void **>(&SKGSN_lgrp_affinity_set)},
    {"lgrp_children", reinterpret_cast<void **>(&SKGSN_lgrp_children)},
    {"lgrp_root", reinterpret_cast<void **>(&SKGSN_lgrp_root)},
    {"lgrp_mem_size", reinterpret_cast<void **>(&SKGSN_lgrp_mem_size)},
    {"lgrp_cpus", reinterpret_cast<void **>(&SKGSN_lgrp_cpus)},
};

}  // namespace

extern "C" int sskgsndisabled(void) { return getenv(kDisable) != nullptr; }

extern "C" const char *sskgsnsimulated(void) { return getenv(kSimulate); }

extern "C" int sskgsnload(const skgsnsctx *ctx) {
  void *lib = dlopen(qen_lgrp_library_path(), RTLD_LAZY);
  if (lib == nullptr) return 0;
  for (const Entry &e : kEntries) {
    dlerror();
    *e.slot = dlsym(lib, e.name);
    if (*e.slot != nullptr) continue;
    const char *why = dlerror();
    if (ctx != nullptr && ctx->cbtab != nullptr && ctx->cbtab[0] != nullptr &&
        ctx->cbctx != nullptr)
      ctx->cbtab[0](ctx->cbctx, "liblgrp.so found but failed to resolved symbol %sdue to error %s",
                    e.name, why != nullptr ? why : "");
    for (const Entry &c : kEntries) *c.slot = nullptr;
    dlclose(lib);
    return 0;
  }
  return 1;
}
