// A scripted locality-group library for tests, opened in place of the real
// one. The tree comes from QEN_LGRP_TREE: entries "id:children:cpus:memory"
// separated by ';', children a ','-list, the first entry the root. Also:
//   QEN_LGRP_N        what lgrp_nlgrps answers (default: the entries)
//   QEN_LGRP_VERSION  what lgrp_version answers (default 1)
//   QEN_LGRP_HOME     the calling thread's home group
//   QEN_LGRP_FAIL     the name of one call that fails
// Built once with every call and once without lgrp_cpus.
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "lgrp_user.h"

namespace {

struct Group {
  std::vector<int> kids;
  int cpus = 0;
  long long mem = 0;
};

struct Tree {
  int root = -1;
  std::map<int, Group> groups;
};

Tree load() {
  Tree t;
  const char *text = getenv("QEN_LGRP_TREE");
  std::stringstream all(text != nullptr ? text : "");
  std::string entry;
  while (std::getline(all, entry, ';')) {
    std::stringstream f(entry);
    std::string id, kids, cpus, mem;
    std::getline(f, id, ':');
    std::getline(f, kids, ':');
    std::getline(f, cpus, ':');
    std::getline(f, mem, ':');
    Group g;
    std::stringstream k(kids);
    for (std::string kid; std::getline(k, kid, ',');)
      if (!kid.empty()) g.kids.push_back(atoi(kid.c_str()));
    g.cpus = atoi(cpus.c_str());
    g.mem = atoll(mem.c_str());
    if (t.root < 0) t.root = atoi(id.c_str());
    t.groups[atoi(id.c_str())] = g;
  }
  return t;
}

bool fails(const char *name) {
  const char *f = getenv("QEN_LGRP_FAIL");
  if (f != nullptr && strcmp(f, name) == 0) {
    errno = EINVAL;
    return true;
  }
  return false;
}

int env_int(const char *name, int dflt) {
  const char *v = getenv(name);
  return v != nullptr ? atoi(v) : dflt;
}

}  // namespace

extern "C" {

// Calls made so far, read by the tests.
int qen_lgrp_script_calls;

int lgrp_version(int) {
  ++qen_lgrp_script_calls;
  return env_int("QEN_LGRP_VERSION", 1);
}
lgrp_cookie_t lgrp_init(lgrp_view_t) {
  ++qen_lgrp_script_calls;
  return fails("lgrp_init") ? 0 : 1;
}
int lgrp_fini(lgrp_cookie_t) {
  ++qen_lgrp_script_calls;
  return fails("lgrp_fini") ? -1 : 0;
}
int lgrp_nlgrps(lgrp_cookie_t) {
  ++qen_lgrp_script_calls;
  return fails("lgrp_nlgrps") ? -1 : env_int("QEN_LGRP_N", static_cast<int>(load().groups.size()));
}
lgrp_id_t lgrp_root(lgrp_cookie_t) {
  ++qen_lgrp_script_calls;
  return fails("lgrp_root") ? -1 : load().root;
}
int lgrp_children(lgrp_cookie_t, lgrp_id_t parent, lgrp_id_t *out, unsigned count) {
  ++qen_lgrp_script_calls;
  if (fails("lgrp_children")) return -1;
  Tree t = load();
  const std::vector<int> &kids = t.groups[parent].kids;
  for (size_t i = 0; i < kids.size() && i < count; ++i) out[i] = kids[i];
  return static_cast<int>(kids.size());
}
#ifndef QEN_LGRP_OMIT_CPUS
int lgrp_cpus(lgrp_cookie_t, lgrp_id_t id, int *, unsigned, lgrp_content_t) {
  ++qen_lgrp_script_calls;
  return fails("lgrp_cpus") ? -1 : load().groups[id].cpus;
}
#endif
lgrp_mem_size_t lgrp_mem_size(lgrp_cookie_t, lgrp_id_t id, lgrp_mem_size_flag_t, lgrp_content_t) {
  ++qen_lgrp_script_calls;
  return fails("lgrp_mem_size") ? -1 : load().groups[id].mem;
}
lgrp_id_t lgrp_home(int, int) {
  ++qen_lgrp_script_calls;
  return fails("lgrp_home") ? -1 : env_int("QEN_LGRP_HOME", 0);
}
int lgrp_affinity_set(int, int, lgrp_id_t, lgrp_affinity_t) {
  ++qen_lgrp_script_calls;
  return fails("lgrp_affinity_set") ? -1 : 0;
}

}  // extern "C"
