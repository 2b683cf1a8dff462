// attrdiscover_demo LIBRARY [ATTRIBUTE ...]
// Loads the discovery plug-in as the configuration wizard does (dlopen, then
// the three entry points by name), prints the discoverable attributes and the
// document for each ATTRIBUTE (default: Instances).
#include <cstdio>

#include "attrdiscovery_host.h"

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s LIBRARY [ATTRIBUTE ...]\n", argv[0]);
    return 2;
  }
  AttrDiscoveryApi api;
  void *lib = attrdiscovery_load(argv[1], &api);
  if (!lib) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  auto list_fn = api.list;
  auto values_fn = api.values;
  auto free_fn = api.release;
  if (!list_fn || !values_fn || !free_fn) {
    std::fprintf(stderr, "%s: missing entry point\n", argv[1]);
    return 1;
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
  }
  dlclose(lib);
  return 0;
}
