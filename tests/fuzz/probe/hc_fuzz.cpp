// Fuzz target of the health-file reader: the bytes are an instance's health
// file; the instance and query contexts, a snapshot, every check, the
// registrations and the error text run over it. The ready wait does not pause.
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "gimh.h"

namespace {

struct Fixture {
  gimh_proc_ctx *proc = nullptr;
  std::string home;
  std::string path;
};

Fixture &fixture() {
  static Fixture f = [] {
    Fixture x;
    char tmpl[] = "/tmp/qen_hcfuzz_XXXXXX";
    x.home = mkdtemp(tmpl);
    mkdir((x.home + "/dbs").c_str(), 0700);
    x.path = x.home + "/dbs/hc_fuzz.dat";
    gimh_test_set_pause([](uint32_t) {});
    if (gimh_init_proc_ctx(&x.proc, 0) != GIMH_OK) abort();
    return x;
  }();
  static bool cleanup = [] {
    atexit([] {
      unlink(fixture().path.c_str());
      rmdir((fixture().home + "/dbs").c_str());
      rmdir(fixture().home.c_str());
    });
    return true;
  }();
  (void)cleanup;
  return f;
}

void read_everything(gimh_proc_ctx *proc, gimh_query_ctx *q) {
  int flag = 0;
  for (int round = 0; round < 2; ++round) {
    if (gimh_get(q) != GIMH_OK) return;
    for (int event : {0, 1, 8, 9, 10, 14, 15, -1, GIMH_ANY_STATE})
      for (int kind = 0; kind <= 4; ++kind) gimh_check(q, event, kind, &flag);
  }
  gimh_add_par(q, GIMH_ANY_STATE, 1);
  gimh_add_par(q, GIMH_ANY_STATE, 2);
  gimh_add_par(q, 9, 3);
  if (gimh_get(q) == GIMH_OK) {
    gimh_event ev;
    for (int i = 0; i < 3 * GIMH_NEVENTS + 1 && gimh_next(q, &ev) == GIMH_OK; ++i) {
      if (!ev.name) abort();
    }
  }
  gimh_block(q, 1);
  gimh_res_all(q);
  (void)proc;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Fixture &f = fixture();
  int fd = open(f.path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) return 0;
  if (write(fd, data, size) != static_cast<ssize_t>(size)) {
    close(fd);
    return 0;
  }
  close(fd);
  gimh_inst_ctx *inst = nullptr;
  if (gimh_init_inst_ctx(&inst, f.proc, f.home.c_str(), "fuzz") == GIMH_OK) {
    gimh_query_ctx *q = nullptr;
    if (gimh_init_query_ctx(&q, inst) == GIMH_OK) {
      read_everything(f.proc, q);
      gimh_dest_query_ctx(q);
    }
    gimh_dest_inst_ctx(inst);
  }
  char text[2000];
  gimh_error(f.proc, text, sizeof text);
  if (strnlen(text, sizeof text) == sizeof text) abort();
  return 0;
}
