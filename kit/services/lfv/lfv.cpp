// Virtual-file layer: decides once per process whether the installation's
// files come from the data package, and serves them from it.
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "lfv.h"
#include "lpm.h"
#include "lpmpkg.h"
#include "slz.h"

extern "C" {
lfv_global lfvgbl;
}

namespace {

constexpr const char kPackage[] = "vedoz";
constexpr const char kEntrySuffix[] = "Init";

// The state is written under the static mutex and read without it. The
// context, the mode and the done flag are read and written atomically; the
// prefix, the interface and the lookup are written before the mode becomes
// LFV_MODE_PACKAGE (a release) and never change after, so a reader that sees
// that mode (an acquire) sees them whole. done is set last.
std::atomic_ref<uint8_t> done_flag() { return std::atomic_ref<uint8_t>(lfvgbl.done); }
std::atomic_ref<uint8_t> mode_byte() { return std::atomic_ref<uint8_t>(lfvgbl.mode); }
std::atomic_ref<slts_ctx *> context() { return std::atomic_ref<slts_ctx *>(lfvgbl.thr); }

// The package's lookup, the first function of its interface array.
lfv_lookup package_lookup = nullptr;

// Adds the package's descriptor to the stashed process block, which
// lpminit builds when the process has none, and loads the package. 0 with
// the interface and its lookup (both NULL when the package is not
// installed), or -1.
int load_with_lpm(const char *name, const char *lib, const char *sym, lpm_funcs **iface,
                  lfv_lookup *lookup) {
  *iface = nullptr;
  *lookup = nullptr;
  lpm_package d{};
  d.name = const_cast<char *>(name);
  d.name_len = int32_t(std::strlen(name));
  d.lib = const_cast<char *>(lib);
  d.lib_len = int32_t(std::strlen(lib));
  d.sym = const_cast<char *>(sym);
  d.sym_len = int32_t(std::strlen(sym));
  d.entry = nullptr;
  d.flags = LPM_PKG_SHLIB | LPM_PKG_ASIS;

  lpm_product *prod = lpminit();
  if (!prod) return -1;
  auto obj = reinterpret_cast<lpm_meta *>(prod);
  int dup = 0;
  const int r = lpmapd(obj, &d, 1, &dup, nullptr);
  // A descriptor left by an earlier attempt that failed later on is reused.
  if (r != 0 && r != -2) return -1;
  lpm_funcs *funcs = lpmloadpkg(obj, name);
  *iface = funcs;
  if (funcs && funcs->count >= 1) *lookup = reinterpret_cast<lfv_lookup>(funcs->funcs[0]);
  return 0;
}

#ifdef QEN_TEST_HOOKS
std::atomic<lfv_loader> test_loader{nullptr};
#endif

// Loads the data package. 0 with the interface (NULL when the package is not
// installed), or LFV_EINIT.
int load_package(lpm_funcs **iface, lfv_lookup *lookup) {
  char lib[sizeof kPackage + 8];
  char sym[sizeof kPackage + sizeof kEntrySuffix];
  slfvDirShlibName(lib, kPackage);
  std::strcpy(sym, kPackage);
  std::strcat(sym, kEntrySuffix);
  auto load = load_with_lpm;
#ifdef QEN_TEST_HOOKS
  if (lfv_loader hook = test_loader.load()) load = hook;
#endif
  return load(kPackage, lib, sym, iface, lookup) == 0 ? 0 : LFV_EINIT;
}

// The package is loaded: set up the environment and the prefix.
int adopt_package(lpm_funcs *iface, lfv_lookup lookup) {
  sl_status st{};
  char home[LFV_PREFIXMAX + 1];
  int n = slzgetevar(&st, "VIRUZE_HOME", 11, home, LFV_PREFIXMAX, 0);
  if (n < -1) return LFV_EINIT;
  if (n <= 0) {
    slzsetevar(&st, "VIRUZE_HOME", 11, ".", 1);
    home[0] = '.';
    n = 1;
  }
  std::memcpy(lfvgbl.prefix, home, size_t(n));
  lfvgbl.prefix[n] = 0;
  lfvgbl.prefix_len = n;
  lfvgbl.iface = iface;
  package_lookup = lookup;
  slzsetevar(&st, "ZUR_NLS10", 9, nullptr, 0);
  slzsetevar(&st, "ZUR_NLS_PROFILE33", 17, nullptr, 0);
  mode_byte().store(LFV_MODE_PACKAGE, std::memory_order_release);
  done_flag().store(1, std::memory_order_release);
  return 0;
}

}  // namespace

extern "C" {

#ifdef QEN_TEST_HOOKS
void lfvsetloader(lfv_loader load) { test_loader.store(load); }
#endif

slts_ctx *lfvGetSlctx(void) {
  if (slts_ctx *known = context().load(std::memory_order_acquire)) return known;
  sltsima(&lfvgbl.mutex);
  slts_ctx *thr = context().load(std::memory_order_relaxed);
  if (!thr) {
    sltspin();
    thr = sltsini();
    if (thr) {
      sltstidinit(thr, &lfvgbl.owner);
      sltstan(thr, &lfvgbl.owner);
      context().store(thr, std::memory_order_release);
    }
  }
  sltsimr(&lfvgbl.mutex);
  return thr;
}

int lfvinit(uint8_t mode) {
  if (done_flag().load(std::memory_order_acquire)) return 0;
  slts_ctx *thr = lfvGetSlctx();
  if (!thr) return LFV_ENOTHR;
  // A nested call made while this thread initialises the layer.
  if (sltstcu(&lfvgbl.owner) == 1) return 0;
  sltsima(&lfvgbl.mutex);
  sltstgi(thr, &lfvgbl.owner);
  int result = 0;
  if (!done_flag().load(std::memory_order_relaxed)) {
    if (mode == LFV_MODE_PACKAGE) {
      lpm_funcs *iface = nullptr;
      lfv_lookup lookup = nullptr;
      result = load_package(&iface, &lookup);
      if (result == 0) {
        if (!iface || !lookup)
          done_flag().store(1, std::memory_order_release);  // not installed: real files
        else
          result = adopt_package(iface, lookup);
      }
    } else {
      mode_byte().store(mode, std::memory_order_release);
      done_flag().store(1, std::memory_order_release);
    }
  }
  sltstan(thr, &lfvgbl.owner);
  sltsimr(&lfvgbl.mutex);
  return result;
}

uint8_t lfvtype(void) { return mode_byte().load(std::memory_order_acquire); }

lfv_file *lfvopen(const char *path, slos_error *err) {
  if (lfvtype() != LFV_MODE_PACKAGE || !package_lookup || !path) {
    slosFillErr(err, SLOS_ERR_NOTFOUND, 0, "could not find file", "lfvopen");
    return nullptr;
  }
  const size_t plen = size_t(lfvgbl.prefix_len);
  if (std::strncmp(path, lfvgbl.prefix, plen) != 0) {
    slosFillErr(err, SLOS_ERR_BADREQ, 0, "file name does not begin with VIRUZE_HOME", "lfvopen");
    return nullptr;
  }
  // The relative name begins after the separator that follows the prefix; a
  // prefix that ends in '/' (such as "/") is its own separator.
  const char *rel = nullptr;
  if (plen > 0 && lfvgbl.prefix[plen - 1] == '/')
    rel = path + plen;
  else if (path[plen] == '/')
    rel = path + plen + 1;
  if (!rel || *rel == 0) {
    slosFillErr(err, SLOS_ERR_BADREQ, 0, "file name does not begin with VIRUZE_HOME", "lfvopen");
    return nullptr;
  }
  uint32_t size = 0;
  const void *bytes = package_lookup(rel, &size);
  if (!bytes) {
    slosFillErr(err, SLOS_ERR_NOTFOUND, 0, "could not find file", "lfvopen");
    return nullptr;
  }
  auto f = static_cast<lfv_file *>(std::malloc(sizeof(lfv_file)));
  if (!f) {
    slosFillErr(err, SLOS_ERR_OTHER, 0, "could not allocate file handle", "lfvopen");
    return nullptr;
  }
  f->size = size;
  f->pos = 0;
  f->data = static_cast<const uint8_t *>(bytes);
  return f;
}

int lfvseek(lfv_file *f, slos_error *err, long offset, uint8_t whence) {
  if (!f) return -1;
  const auto off = static_cast<uint32_t>(offset);
  if (whence == 0) {
    if (offset < 0 || static_cast<unsigned long>(offset) >= f->size) {
      slosFillErr(err, SLOS_ERR_BADREQ, 0, "offset exceeds size for SEEK_SET", "lfvseek");
      return -1;
    }
    f->pos = off;
  } else if (whence == 1) {
    const uint32_t to = f->pos + off;
    if (to >= f->size) {
      slosFillErr(err, SLOS_ERR_BADREQ, 0, "offset + curr pos exceeds size for SEEK_CUR",
                  "lfvseek");
      return -1;
    }
    f->pos = to;
  }
  return 0;
}

int32_t lfvread(lfv_file *f, void *dst, uint32_t count) {
  if (!f || !dst) return -2;
  uint32_t left = f->pos < f->size ? f->size - f->pos : 0;
  uint32_t n = count < left ? count : left;
  if (n > 0x7FFFFFFFu) n = 0x7FFFFFFFu;
  if (n == 0) return -2;
  std::memcpy(dst, f->data + f->pos, n);
  f->pos += n;
  return int32_t(n);
}

uint32_t lfvpos(const lfv_file *f) { return f ? f->pos : 0; }

int lfvclose(lfv_file *f) {
  std::free(f);
  return 0;
}

}  // extern "C"
