// Where the locality-group library lies: the build puts our own next to the
// platform libraries.
#include "lgrp_user.h"

namespace {
const char *g_path = nullptr;
}

extern "C" const char *qen_lgrp_library_path(void) {
  return g_path != nullptr ? g_path : QEN_LGRP_PATH;
}

#ifdef QEN_TEST_HOOKS
extern "C" void qen_lgrp_set_library_path(const char *path) { g_path = path; }
#endif
