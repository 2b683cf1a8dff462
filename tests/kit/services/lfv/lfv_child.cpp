// Runs the virtual-file layer once in this process and checks what it did.
// argv[1] names the case: "present" (the data package's library is on the
// search path; VIRUZE_HOME as the parent set it), "absent", or "threads"
// (threads start the layer at once through a loader of the test's own).
// Exits 0 when every check held.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "lfv.h"
#include "lpm.h"
#include "slf.h"
#include "slsl.h"

namespace {

int failures = 0;

#define CHECK(cond)                                                                     \
  do {                                                                                  \
    if (!(cond)) {                                                                      \
      std::fprintf(stderr, "lfv_child:%d: check failed: %s\n", __LINE__, #cond);        \
      failures++;                                                                       \
    }                                                                                   \
  } while (0)

std::string env(const char *name) {
  const char *v = std::getenv(name);
  return v ? v : "<unset>";
}

// Opens path and reads the whole file.
std::string slurp(const char *path, slos_error *err) {
  lfv_file *f = lfvopen(path, err);
  if (!f) return "<null>";
  std::string s(f->size, '\0');
  int32_t n = lfvread(f, s.data(), f->size);
  CHECK(n == int32_t(f->size) || (f->size == 0 && n == -2));
  lfvclose(f);
  return s;
}

void present() {
  const std::string before = env("VIRUZE_HOME");
  CHECK(lfvtype() == 0);
  CHECK(slslgetmeta() == nullptr);
  // The process's first kit call: the layer builds the stashed block itself.
  CHECK(lfvinit(LFV_MODE_PACKAGE) == 0);
  CHECK(lfvtype() == LFV_MODE_PACKAGE);
  CHECK(slslgetmeta() != nullptr);  // the stashed block holds the package
  CHECK(lpminit() != nullptr);
  const std::string home = env("VIRUZE_HOME");
  if (before == "<unset>" || before.empty())
    CHECK(home == ".");
  else
    CHECK(home == before);
  CHECK(std::string(lfvgbl.prefix) == home);
  CHECK(env("ZUR_NLS10").empty());
  CHECK(env("ZUR_NLS_PROFILE33").empty());

  slos_error err{};
  std::string sep = home.back() == '/' ? "" : "/";
  CHECK(slurp((home + sep + "nls/data/x").c_str(), &err) == "0123456789");
  CHECK(slurp((home + sep + "rdbms/mesg/vuvus.msb").c_str(), &err) ==
        "message file of facility VUV");
  // A name that is missing from the package.
  CHECK(lfvopen((home + sep + "nls/data/none").c_str(), &err) == nullptr);
  CHECK(err.code == -5 && std::strcmp(err.call, "could not find file") == 0);
  CHECK(std::strcmp(err.location, "lfvopen") == 0 && err.oserr == 0);
  // Not under the prefix, or not at a path boundary after it.
  for (std::string bad : {home + "x/nls/data/x", std::string("/elsewhere/nls/data/x"), home,
                          home + sep}) {
    // Under the root every absolute path is inside the prefix.
    if (home == "/" && bad != home) continue;
    err = slos_error{};
    CHECK(lfvopen(bad.c_str(), &err) == nullptr);
    CHECK(err.code == -9);
  }
  err = slos_error{};
  CHECK(lfvopen("/opt/x", &err) == nullptr || home == "/");

  // The OS file opener takes the virtual file when asked to.
  std::string dir = home + sep + "nls/data";
  slf_handle *h = SlfFopen("x", dir.c_str(), 0, 0, 0, &err, SLF_VIRTUAL);
  CHECK(h != nullptr && h->kind == SLF_KIND_VIRTUAL);
  if (h) {
    lfvclose(static_cast<lfv_file *>(h->stream));
    std::free(h);
  }
  // A second initialisation changes nothing.
  CHECK(lfvinit(LFV_MODE_PACKAGE) == 0);
  CHECK(lfvtype() == LFV_MODE_PACKAGE);
}

void absent() {
  const std::string before = env("VIRUZE_HOME");
  CHECK(lfvinit(LFV_MODE_PACKAGE) == 0);
  CHECK(lfvtype() == 0);
  CHECK(slslgetmeta() != nullptr);  // the block was built to look for the package
  // Decided once: a block coming up later changes nothing.
  CHECK(lpminit() != nullptr);
  CHECK(lfvinit(LFV_MODE_PACKAGE) == 0);
  CHECK(lfvtype() == 0);
  CHECK(env("VIRUZE_HOME") == before);
  CHECK(env("ZUR_NLS10") == "<unset>");
  slos_error err{};
  CHECK(lfvopen("./nls/data/x", &err) == nullptr);
  CHECK(err.code == -5);
  CHECK(lfvinit(LFV_MODE_PACKAGE) == 0);
  CHECK(lfvtype() == 0);
  // The OS file opener falls back to real files.
  slf_handle *h = SlfFopen("nosuchfile", "/nonexistent", 0, 0, 0, &err, SLF_VIRTUAL);
  CHECK(h == nullptr && err.code == -5 && err.oserr == ENOENT);
}

// A loader of the test's own: slow, so that the other threads arrive while
// it runs, and counted.
std::atomic<int> loads{0};
const char kFile[] = "served by the test loader";

const void *test_lookup(const char *name, uint32_t *size) {
  if (std::strcmp(name, "f") != 0) return nullptr;
  *size = sizeof kFile - 1;
  return kFile;
}

int test_loader(const char *name, const char *, const char *, lpm_funcs **iface,
                lfv_lookup *lookup) {
  static int array;  // the layer only keeps the interface array's address
  loads++;
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  *iface = std::strcmp(name, "vedoz") == 0 ? reinterpret_cast<lpm_funcs *>(&array) : nullptr;
  *lookup = test_lookup;
  return 0;
}

// Threads that start the layer together: the package is loaded once, and
// every thread then finds the layer in package mode with its prefix and
// lookup in place.
void threads() {
  lfvsetloader(test_loader);
  constexpr int kThreads = 8;
  std::atomic<int> ready{0};
  std::atomic<int> good{0};
  std::vector<std::thread> pool;
  for (int i = 0; i < kThreads; i++)
    pool.emplace_back([&] {
      ready++;
      while (ready.load() < kThreads) std::this_thread::yield();
      slos_error err{};
      if (lfvinit(LFV_MODE_PACKAGE) != 0 || lfvtype() != LFV_MODE_PACKAGE) return;
      if (slurp((env("VIRUZE_HOME") + "/f").c_str(), &err) == kFile) good++;
    });
  for (auto &t : pool) t.join();
  CHECK(loads.load() == 1);
  CHECK(good.load() == kThreads);
  CHECK(lfvGetSlctx() != nullptr);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) return 2;
  std::string what = argv[1];
  if (what == "present")
    present();
  else if (what == "absent")
    absent();
  else if (what == "threads")
    threads();
  else
    return 2;
  return failures == 0 ? 0 : 1;
}
