// How a host finds the plug-in's entry points: dlopen the library (local
// symbols), then each of the three by name, as the configuration wizard
// does. Header only; the host links the dl library.
#ifndef QEN_ATTRDISCOVERY_HOST_H
#define QEN_ATTRDISCOVERY_HOST_H

#include <dlfcn.h>

#include "attrdiscovery.h"

struct AttrDiscoveryApi {
  decltype(&QEN_GetDiscoverableAttributes) list = nullptr;
  decltype(&QEN_GetPossibleValues) values = nullptr;
  decltype(&QEN_FreeDiscoveryMem) release = nullptr;
};

// The library's handle with *api filled from it (an entry point that is
// missing stays NULL), or NULL when the library does not load: dlerror()
// then says why.
inline void *attrdiscovery_load(const char *library, AttrDiscoveryApi *api) {
  void *lib = dlopen(library, RTLD_NOW | RTLD_LOCAL);
  if (!lib) return nullptr;
  api->list = reinterpret_cast<decltype(api->list)>(dlsym(lib, "QEN_GetDiscoverableAttributes"));
  api->values = reinterpret_cast<decltype(api->values)>(dlsym(lib, "QEN_GetPossibleValues"));
  api->release = reinterpret_cast<decltype(api->release)>(dlsym(lib, "QEN_FreeDiscoveryMem"));
  return lib;
}

#endif
