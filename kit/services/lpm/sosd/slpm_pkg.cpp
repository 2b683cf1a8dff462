// OS side of the package manager: the descriptor table, locating a package's
// entry routine in the executable or in a shared library, and closing it.
#include <dirent.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstring>

#include "lem.h"
#include "lpm.h"
#include "lpm_int.h"
#include "lst.h"
#include "slz.h"

// The version search reads whole directories: readdir must be readdir64, or in
// the 32-bit build a 64-bit inode number or directory offset ends it early
// with EOVERFLOW and the installed library is not found.
static_assert(sizeof(ino_t) == 8 && sizeof(off_t) == 8, "built without large-file interfaces");

extern "C" {

const lpm_package slpmgprodstabcore[] = {
    {const_cast<char *>("lsf"), 3, nullptr, 0, nullptr, 0,
     reinterpret_cast<void *>(&lsfmai), LPM_PKG_STATIC},
    {nullptr, 0, nullptr, 0, nullptr, 0, nullptr, LPM_PKG_END},
};

const lpm_package *const slpmgpr = slpmgprodstabcore;

const lpm_package *slpmggpt(void) { return slpmgpr; }

const lpm_package *slpmgpt(void) { return slpmggpt(); }

}  // extern "C"

namespace {

// A NUL-terminated copy of len bytes; NULL for an empty text.
bool copy_text(lpm_meta *owner, const char *text, int32_t len, char **out) {
  *out = nullptr;
  if (len <= 0) return true;
  if (!text) return false;
  auto p = static_cast<char *>(lpm_calloc(owner, size_t(len) + 1));
  if (!p) return false;
  std::memcpy(p, text, size_t(len));
  *out = p;
  return true;
}

void free_descriptor(lpm_meta *owner, lpm_package *d) {
  lpm_free(owner, d->name);
  lpm_free(owner, d->lib);
  lpm_free(owner, d->sym);
  *d = lpm_package{};
}

// Frees the descriptors from index `from` on and sets the count to it.
void truncate_table(slpm_table *table, int32_t from) {
  for (int32_t i = from; i < table->count; i++) free_descriptor(table->owner, &table->pkgs[i]);
  table->count = from;
}

bool same_name(const lpm_package &a, const char *name, int32_t len) {
  return len > 0 && a.name_len == len && a.name && name &&
         lstmclo(a.name, name, size_t(len)) == 0;
}

}  // namespace

extern "C" {

int slpmini(lpm_meta *obj, slpm_table *table, lpm_link *link, int mode) {
  if (!table) return -1;
  lpm_ctx *ctx = lpm_context(obj);
  slts_ctx *thr = ctx ? ctx->thr : nullptr;
  if (mode == 0) {
    if (lpm_list_init(thr, &table->recs) != 0) return -1;
    table->owner = obj;
    table->statics = slpmgpt();
    table->link = link;
    table->count = 0;
    if (slpmadp(obj, table, table->statics, 0, nullptr, nullptr, 0, 1) != 0) {
      lpm_list_fini(thr, &table->recs);
      return -1;
    }
    return 0;
  }
  if (mode == 1) {
    slpmadp(obj, table, nullptr, 0, nullptr, nullptr, 0, 0);
    lpm_list_fini(thr, &table->recs);
    return 0;
  }
  return -1;
}

int slpmadp(lpm_meta *obj, slpm_table *table, const lpm_package *pkgs, int count,
            int *dup_index, void *ignored, uint8_t check, uint8_t add) {
  (void)obj;
  (void)ignored;
  if (!table) return -1;
  if (!add) {
    truncate_table(table, 0);
    return 0;
  }
  if (!pkgs || count < 0) return -1;
  const int32_t before = table->count;
  for (int i = 0; count == 0 || i < count; i++) {
    const lpm_package &d = pkgs[i];
    if (count == 0 && d.flags >= LPM_PKG_END) break;
    if (check) {
      for (int32_t j = 0; j < table->count; j++) {
        if (same_name(table->pkgs[j], d.name, d.name_len)) {
          if (dup_index) *dup_index = i;
          truncate_table(table, before);
          return -2;
        }
      }
    }
    if (table->count >= SLPM_MAXPKG) {
      truncate_table(table, before);
      return -3;
    }
    lpm_package &c = table->pkgs[table->count];
    c = lpm_package{};
    if (!copy_text(table->owner, d.name, d.name_len, &c.name) ||
        !copy_text(table->owner, d.lib, d.lib_len, &c.lib) ||
        !copy_text(table->owner, d.sym, d.sym_len, &c.sym)) {
      free_descriptor(table->owner, &c);
      truncate_table(table, before);
      return -1;
    }
    c.name_len = c.name ? d.name_len : 0;
    c.lib_len = c.lib ? d.lib_len : 0;
    c.sym_len = c.sym ? d.sym_len : 0;
    c.entry = d.entry;
    c.flags = d.flags;
    table->count++;
  }
  return 0;
}

int slpmlocfver(const char *dir, const char *stem, char path[SLPM_PATHMAX]) {
  if (!dir || !stem || !path) return 0;
  const size_t stem_len = std::strlen(stem);
  if (stem_len <= 3) return 0;
  const char *so = std::strstr(stem, ".so.");
  if (!so || so[4] == 0) return 0;
  int major = 0;
  if (std::sscanf(so + 4, "%d.", &major) != 1) return 0;
  const size_t plen = size_t(so + 4 - stem);

  DIR *d = opendir(dir);
  if (!d) return 0;
  int result = 0;
  int best_minor = -1;
  while (dirent *e = readdir(d)) {
    if (std::strncmp(e->d_name, stem, plen) != 0) continue;
    int a = 0, b = 0;
    int k = std::sscanf(e->d_name + plen, "%d.%d", &a, &b);
    if (k < 1) continue;
    if (a == major) {
      result = 2;
      if (k == 2 && b > best_minor) best_minor = b;
    } else if (result == 0) {
      result = 1;
    }
  }
  closedir(d);
  if (result != 2) return result;

  int n = best_minor >= 0
              ? std::snprintf(path, SLPM_PATHMAX, "%s/%.*s%d.%d", dir, int(plen), stem, major,
                              best_minor)
              : std::snprintf(path, SLPM_PATHMAX, "%s/%.*s%d", dir, int(plen), stem, major);
  // A path that does not fit is refused rather than cut.
  if (n < 0 || n >= SLPM_PATHMAX) {
    path[0] = 0;
    return -1;
  }
  return 2;
}

int slpmloc(lpm_meta *obj, slpm_oslib *lib, const char *name, int len, lpm_entry *entry) {
  (void)obj;
  if (!lib || !lib->table || !name || len <= 0 || !entry) return -1;
  slpm_table *table = lib->table;
  const lpm_package *d = nullptr;
  for (int32_t i = 0; i < table->count; i++) {
    if (same_name(table->pkgs[i], name, len)) {
      d = &table->pkgs[i];
      break;
    }
  }
  if (!d) return -1;
  if (d->flags & LPM_PKG_STATIC) {
    *entry = reinterpret_cast<lpm_entry>(d->entry);
    return *entry ? 0 : -1;
  }
  if (!(d->flags & LPM_PKG_SHLIB) || !d->lib) return -1;

  void *h = nullptr;
  if (d->flags & LPM_PKG_ASIS) {
    h = dlopen(d->lib, RTLD_LAZY);
  } else {
    char full[SLPM_PATHMAX];
    sl_status st{};
    int n = slzgetevar(&st, "VIRUZE_HOME", 11, full, sizeof full, 0);
    if (n < 1) return -1;
    if (size_t(n) + size_t(d->lib_len) + 2 > SLPM_PATHMAX) return -1;
    full[n] = '/';
    std::memcpy(full + n + 1, d->lib, size_t(d->lib_len));
    full[n + 1 + d->lib_len] = 0;
    char *slash = std::strrchr(full, '/');
    *slash = 0;
    char path[SLPM_PATHMAX];
    if (slpmlocfver(full, slash + 1, path) != 2) return -1;
    h = dlopen(path, RTLD_LAZY);
  }
  if (!h) return -1;
  lib->handle = h;
  void *sym = d->sym ? dlsym(h, d->sym) : nullptr;
  if (!sym) {
    dlclose(h);
    lib->handle = nullptr;
    return -1;
  }
  *entry = reinterpret_cast<lpm_entry>(sym);
  return 0;
}

int slpmapb(lpm_meta *obj, slpm_oslib *lib) {
  lpm_ctx *ctx = lpm_context(obj);
  if (!lib || !ctx) return -1;
  lib->table = &ctx->table;
  lib->name = nullptr;
  lib->handle = nullptr;
  lib->reserved = nullptr;
  return 0;
}

int slpmfpb(lpm_meta *obj, slpm_oslib *lib, int *call_flag) {
  if (!lib) {
    lpmprec(obj, nullptr, call_flag, LPM_BADARG, 0, LSFTXTP, "slpmfpb()", LSFEND);
    return -1;
  }
  if (!lib->handle) return 0;
  int r = dlclose(lib->handle);
  lib->handle = nullptr;
  if (r != 0) {
    lpmprec(obj, nullptr, call_flag, LPM_DLCLOSE, 0, LSFTXTP, lib->name ? lib->name : "",
            LSFEND);
    return -1;
  }
  return 0;
}

}  // extern "C"
