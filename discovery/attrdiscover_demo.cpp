// attrdiscover_demo LIBRARY [ATTRIBUTE ...]
// Loads the discovery plug-in as the configuration wizard does (dlopen, then
// the three entry points by name), prints the discoverable attributes and the
// document for each ATTRIBUTE (default: Instances).
//
// The documents are printed as the plug-in returns them. A document without
// values may come from a script that could not be run at all, which the
// plug-in does not tell apart from one that printed nothing; the host then
// says on standard error which script that was and why it cannot run.
// Exit 0; 1 when the library or an entry point cannot be loaded; 2 for bad
// usage.
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "attrdiscovery_host.h"

namespace {

constexpr int kExitFail = 1;
constexpr int kExitUsage = 2;
// The search path execlp uses when PATH is unset.
constexpr const char *kDefaultSearchPath = "/bin:/usr/bin";

constexpr char kUsage[] = "usage: %s LIBRARY [ATTRIBUTE ...]\n";

[[noreturn]] void help(const char *prog) {
  std::printf(kUsage, prog);
  std::printf(
      "\n"
      "Loads the attribute-discovery plug-in LIBRARY (e.g. build/discovery/libAttrDiscovery.so)\n"
      "as the configuration wizard does, prints its discoverable attributes, then the\n"
      "document of each ATTRIBUTE (default: Instances).\n"
      "\n"
      "The plug-in runs the discovery script " QEN_ATTRSCAN_DEFAULT_SCRIPT ",\n"
      "or the executable that " QEN_ATTRSCAN_SCRIPT_ENV " names.\n");
  std::exit(0);
}

// Whether the file at path can be executed; errno-style reason when not.
int executable(const std::string &path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return EACCES;
  return access(path.c_str(), X_OK) == 0 ? 0 : errno;
}

// The script the plug-in runs and, when it cannot be executed, why (0: it
// can). A name without a slash is looked for along PATH, as execlp does.
int script_problem(std::string *script) {
  const char *named = std::getenv(QEN_ATTRSCAN_SCRIPT_ENV);
  *script = named && *named ? named : QEN_ATTRSCAN_DEFAULT_SCRIPT;
  if (script->find('/') != std::string::npos) return executable(*script);
  const char *path = std::getenv("PATH");
  std::string_view dirs = path ? path : kDefaultSearchPath;
  int why = ENOENT;
  for (;;) {
    size_t colon = dirs.find(':');
    std::string dir(dirs.substr(0, colon));
    int err = executable((dir.empty() ? std::string(".") : dir) + "/" + *script);
    if (err == 0) return 0;
    if (err != ENOENT && err != ENOTDIR) why = err;
    if (colon == std::string_view::npos) return why;
    dirs.remove_prefix(colon + 1);
  }
}

}  // namespace

int main(int argc, char **argv) {
  const char *prog = argc > 0 && argv[0] ? argv[0] : "attrdiscover_demo";
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0))
    help(prog);
  if (argc < 2 || argv[1][0] == '-') {
    if (argc >= 2) std::fprintf(stderr, "%s: unknown option %s\n", prog, argv[1]);
    std::fprintf(stderr, kUsage, prog);
    return kExitUsage;
  }
  AttrDiscoveryApi api;
  void *lib = attrdiscovery_load(argv[1], &api);
  if (!lib) {
    std::fprintf(stderr, "%s\n", dlerror());
    return kExitFail;
  }
  auto list_fn = api.list;
  auto values_fn = api.values;
  auto free_fn = api.release;
  if (!list_fn || !values_fn || !free_fn) {
    std::fprintf(stderr, "%s: missing entry point\n", argv[1]);
    return kExitFail;
  }

  int count = 0;
  char *list = list_fn(&count);
  std::printf("discoverable attributes (%d):\n%s", count, list);
  free_fn(list);

  const char *fallback[] = {"Instances"};
  char **attrs = argc > 2 ? argv + 2 : const_cast<char **>(fallback);
  int nattrs = argc > 2 ? argc - 2 : 1;
  for (int i = 0; i < nattrs; ++i) {
    char *doc = values_fn(&count, attrs[i]);
    if (!doc) {
      std::printf("\n%s: not a discoverable attribute\n", attrs[i]);
      continue;
    }
    std::printf("\n%s: %d value(s)\n%s", attrs[i], count, doc);
    free_fn(doc);
    std::string script;
    int why = count == 0 ? script_problem(&script) : 0;
    if (why != 0) {
      std::fflush(stdout);
      std::fprintf(stderr, "%s: the discovery script %s could not be run: %s (%s names another)\n",
                   prog, script.c_str(), strerror(why), QEN_ATTRSCAN_SCRIPT_ENV);
    }
  }
  dlclose(lib);
  return 0;
}
