// The locality-group library over Linux's memory nodes
// (/sys/devices/system/node): a root group (id 0) above one leaf per online
// node (id node + 1), or the root alone on a machine with one node.
#include <errno.h>
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "lgrp_user.h"

namespace {

constexpr char kNodeDir[] = "/sys/devices/system/node";
constexpr lgrp_id_t kRoot = 0;
constexpr lgrp_cookie_t kCookie = 0x4C475250;  // any non-zero value

std::string read_file(const std::string &path) {
  std::string text;
  if (FILE *f = fopen(path.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    fclose(f);
  }
  return text;
}

// A kernel list such as "0-3,8,10-11".
std::vector<int> parse_list(const std::string &text) {
  std::vector<int> out;
  const char *p = text.c_str();
  while (*p != '\0' && *p != '\n') {
    char *end;
    long a = strtol(p, &end, 10);
    if (end == p) break;
    long b = a;
    p = end;
    if (*p == '-') {
      b = strtol(p + 1, &end, 10);
      p = end;
    }
    for (long i = a; i <= b && i - a < 4096; ++i) out.push_back(static_cast<int>(i));
    if (*p == ',') ++p;
  }
  return out;
}

std::vector<int> nodes() {
  std::vector<int> n = parse_list(read_file(std::string(kNodeDir) + "/online"));
  if (n.empty()) n.push_back(0);
  return n;
}

bool single() { return nodes().size() <= 1; }

// The node of a leaf, or -1.
int node_of(lgrp_id_t id) {
  if (single()) return id == kRoot ? 0 : -1;
  for (int n : nodes())
    if (n + 1 == id) return n;
  return -1;
}

std::vector<int> node_cpus(int node) {
  std::vector<int> cpus =
      parse_list(read_file(std::string(kNodeDir) + "/node" + std::to_string(node) + "/cpulist"));
  if (cpus.empty() && single()) {
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    for (long i = 0; i < n; ++i) cpus.push_back(static_cast<int>(i));
  }
  return cpus;
}

long long node_mem(int node) {
  std::string text = read_file(std::string(kNodeDir) + "/node" + std::to_string(node) + "/meminfo");
  if (text.empty()) text = read_file("/proc/meminfo");
  const char *p = strstr(text.c_str(), "MemTotal:");
  if (p == nullptr) return 0;
  return atoll(p + strlen("MemTotal:")) * 1024;
}

bool valid(lgrp_id_t id) { return id == kRoot || node_of(id) >= 0; }

}  // namespace

extern "C" {

int lgrp_version(int version) { return version == LGRP_VER_CURRENT ? version : LGRP_VER_CURRENT; }

lgrp_cookie_t lgrp_init(lgrp_view_t view) {
  if (view != LGRP_VIEW_CALLER && view != LGRP_VIEW_OS) {
    errno = EINVAL;
    return 0;
  }
  return kCookie;
}

int lgrp_fini(lgrp_cookie_t cookie) {
  if (cookie != kCookie) {
    errno = EINVAL;
    return -1;
  }
  return 0;
}

int lgrp_nlgrps(lgrp_cookie_t cookie) {
  if (cookie != kCookie) {
    errno = EINVAL;
    return -1;
  }
  size_t n = nodes().size();
  return static_cast<int>(n <= 1 ? 1 : n + 1);
}

lgrp_id_t lgrp_root(lgrp_cookie_t cookie) {
  if (cookie != kCookie) {
    errno = EINVAL;
    return -1;
  }
  return kRoot;
}

int lgrp_children(lgrp_cookie_t cookie, lgrp_id_t parent, lgrp_id_t *children, unsigned count) {
  if (cookie != kCookie || !valid(parent)) {
    errno = EINVAL;
    return -1;
  }
  if (parent != kRoot || single()) return 0;
  std::vector<int> n = nodes();
  for (size_t i = 0; i < n.size() && i < count && children != nullptr; ++i)
    children[i] = n[i] + 1;
  return static_cast<int>(n.size());
}

int lgrp_cpus(lgrp_cookie_t cookie, lgrp_id_t id, int *cpuids, unsigned count,
              lgrp_content_t content) {
  if (cookie != kCookie || !valid(id)) {
    errno = EINVAL;
    return -1;
  }
  std::vector<int> cpus;
  if (node_of(id) >= 0) {
    cpus = node_cpus(node_of(id));
  } else if (content != LGRP_CONTENT_DIRECT) {
    for (int n : nodes())
      for (int c : node_cpus(n)) cpus.push_back(c);
  }
  for (size_t i = 0; i < cpus.size() && i < count && cpuids != nullptr; ++i) cpuids[i] = cpus[i];
  return static_cast<int>(cpus.size());
}

lgrp_mem_size_t lgrp_mem_size(lgrp_cookie_t cookie, lgrp_id_t id, lgrp_mem_size_flag_t type,
                              lgrp_content_t content) {
  (void)type;
  if (cookie != kCookie || !valid(id)) {
    errno = EINVAL;
    return -1;
  }
  if (node_of(id) >= 0) return node_mem(node_of(id));
  if (content == LGRP_CONTENT_DIRECT) return 0;
  long long sum = 0;
  for (int n : nodes()) sum += node_mem(n);
  return sum;
}

lgrp_id_t lgrp_home(int idtype, int id) {
  if (idtype != P_LWPID || id != P_MYID) {
    errno = EINVAL;
    return -1;
  }
  unsigned cpu = 0, node = 0;
  if (getcpu(&cpu, &node) != 0) return -1;
  return single() ? kRoot : static_cast<lgrp_id_t>(node) + 1;
}

int lgrp_affinity_set(int idtype, int id, lgrp_id_t lgrp, lgrp_affinity_t affinity) {
  if (idtype != P_LWPID || id != P_MYID || !valid(lgrp)) {
    errno = EINVAL;
    return -1;
  }
  if (affinity != LGRP_AFF_STRONG) return 0;  // no binding to undo or to ask for
  cpu_set_t set;
  CPU_ZERO(&set);
  std::vector<int> cpus;
  if (node_of(lgrp) >= 0) {
    cpus = node_cpus(node_of(lgrp));
  } else {
    for (int n : nodes())
      for (int c : node_cpus(n)) cpus.push_back(c);
  }
  for (int c : cpus)
    if (c >= 0 && c < CPU_SETSIZE) CPU_SET(c, &set);
  return sched_setaffinity(0, sizeof set, &set);
}

}  // extern "C"
