// Package manager: descriptors, the static "lsf" package, real shared
// libraries chosen by version, entry routines that break the contract, and
// the counts that loads and unloads keep.
#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "child.h"
#include "lem.h"
#include "lpm.h"

namespace fs = std::filesystem;

namespace {

const std::string kPkgDir = QEN_PKG_DIR;

std::string lib_file(const char *name) { return kPkgDir + "/lib" + name + ".so"; }

lpm_package descriptor(const char *name, const char *lib, const char *sym, uint16_t flags) {
  lpm_package d{};
  d.name = const_cast<char *>(name);
  d.name_len = int32_t(std::strlen(name));
  d.lib = const_cast<char *>(lib);
  d.lib_len = lib ? int32_t(std::strlen(lib)) : 0;
  d.sym = const_cast<char *>(sym);
  d.sym_len = sym ? int32_t(std::strlen(sym)) : 0;
  d.flags = flags;
  return d;
}

int list_length(const lpm_list &l) {
  int n = 0;
  for (const lpm_lelem *e = l.head.next; e && e != &l.tail; e = e->next) n++;
  return n;
}

const char *text_arg(lwem_ctx *errs, int n, int i) {
  lsf_arglist *l = lwemgep(errs, n);
  return l ? static_cast<const char *>(l->entries[i].value.ptr) : "";
}

// A fresh private block, ready, whose block records its errors.
struct Kit {
  lpm_product *root = nullptr;
  lpm_meta *block = nullptr;
  lpm_ctx *ctx = nullptr;
  lwem_ctx *errs = nullptr;
  bool up() {
    root = lpmprinit();
    if (!root) return false;
    block = root->block;
    ctx = lpm_context(block);
    errs = block->errs;
    return true;
  }
  // Adds the descriptor of the test package "tpkg".
  bool add_tpkg(const char *lib, const char *sym, uint16_t flags) {
    lpm_package d = descriptor("tpkg", lib, sym, flags);
    int dup = 0;
    return lpmapd(block, &d, 1, &dup, nullptr) == 0;
  }
};

// A scratch installation: <home>/lib with versions of the test package.
struct Home {
  fs::path dir;
  Home() {
    char tmpl[] = "/tmp/lpmpkgXXXXXX";
    dir = mkdtemp(tmpl);
    fs::create_directories(dir / "lib");
  }
  ~Home() { fs::remove_all(dir); }
  void install(const char *build, const char *as) {
    fs::copy_file(lib_file(build), dir / "lib" / as);
  }
};

int call_version(lpm_funcs *iface) {
  return reinterpret_cast<int (*)()>(iface->funcs[0])();
}

TEST(Packages, StaticLsfIsLoadedOnceAndCounted) {
  EXPECT_EQ(0, in_child([] {
    Kit k;
    CHILD_CHECK(k.up());
    if (!k.block) return;
    lpm_funcs *a = lpmloadpkg(k.block, "lsf");
    lpm_funcs *b = lpmloadpkg(k.block, "lsf");
    CHILD_CHECK(a != nullptr && a == b);
    if (!a) return;
    CHILD_CHECK(a->count == 0);
    // The entry routine stored its product and the array in its private area.
    auto words = static_cast<void **>(a->priv);
    auto prod = static_cast<lpm_product *>(words[0]);
    CHILD_CHECK(words[1] == a);
    CHILD_CHECK(prod->m.ready == 1);
    lpm_node *node = prod->m.pm->node;
    CHILD_CHECK(node->refcnt == 2 && node->pkg->refcnt == 2);
    CHILD_CHECK(node->flags & LPM_NODE_PACKAGE);
    CHILD_CHECK((node->pkg->flags & (LPM_PKGN_LOCATED | LPM_PKGN_INIT | LPM_PKGN_CALLED)) ==
                (LPM_PKGN_LOCATED | LPM_PKGN_INIT | LPM_PKGN_CALLED));
    // A second private area is refused.
    CHILD_CHECK(lpmmkpri(prod, 16) == nullptr);
    // A second registration returns the first array.
    CHILD_CHECK(lpmarrfuncs(prod, nullptr, 0, nullptr) == a);

    CHILD_CHECK(lpmdelete(k.block, "lsf") == 0);
    CHILD_CHECK(list_length(k.ctx->prods) == 1 && list_length(k.ctx->pkgs) == 1);
    CHILD_CHECK(lpmloadpkg(k.block, "lsf") == a);  // still there: no second entry call
    CHILD_CHECK(lpmdelete(k.block, "lsf") == 0);
    CHILD_CHECK(lpmdelete(k.block, "lsf") == 0);
    CHILD_CHECK(list_length(k.ctx->prods) == 0 && list_length(k.ctx->pkgs) == 0);
    // One more is an error: no such package.
    CHILD_CHECK(lpmdelete(k.block, "lsf") == -1);
    CHILD_CHECK(lwemgec(k.errs, 1) == LPM_NOPKG);
    CHILD_CHECK(std::strcmp(text_arg(k.errs, 1, 0), "lsf") == 0);
    CHILD_CHECK(lpmprterm(k.root) == 0);
  }));
}

TEST(Packages, NamesMatchDescriptorsIgnoringCaseAndProductsExactly) {
  EXPECT_EQ(0, in_child([] {
    Kit k;
    CHILD_CHECK(k.up());
    if (!k.block) return;
    lpm_funcs *lower = lpmloadpkg(k.block, "lsf");
    lpm_funcs *upper = lpmloadpkg(k.block, "LSF");
    CHILD_CHECK(lower && upper && lower != upper);
    CHILD_CHECK(list_length(k.ctx->prods) == 2 && list_length(k.ctx->pkgs) == 2);
    CHILD_CHECK(lpmdelete(k.block, "LSF") == 0);
    CHILD_CHECK(lpmdelete(k.block, "lsf") == 0);
    CHILD_CHECK(list_length(k.ctx->prods) == 0 && list_length(k.ctx->pkgs) == 0);
    CHILD_CHECK(lpmprterm(k.root) == 0);
  }));
}

TEST(Packages, MissingDescriptorLeavesNothingBehind) {
  EXPECT_EQ(0, in_child([] {
    Kit k;
    CHILD_CHECK(k.up());
    if (!k.block) return;
    CHILD_CHECK(lpmloadpkg(k.block, "nosuch") == nullptr);
    CHILD_CHECK(lwemgec(k.errs, 1) == LPM_NOPKGLIB);
    CHILD_CHECK(std::strcmp(text_arg(k.errs, 1, 0), "nosuch") == 0);
    CHILD_CHECK(lwemimk(k.errs, 1) == 1);
    CHILD_CHECK(list_length(k.ctx->prods) == 0 && list_length(k.ctx->pkgs) == 0);
    CHILD_CHECK(list_length(k.ctx->table.recs) == 1);  // the root product's record only
    lwemces(k.errs);
    // The root product is not ready: its loads record nothing.
    CHILD_CHECK(lpmloadpkg(&k.root->m, "nosuch") == nullptr);
    CHILD_CHECK(lwemged(k.errs) == 0);
    CHILD_CHECK(lpmprterm(k.root) == 0);
  }));
}

TEST(Packages, DescriptorTableRefusesDuplicatesAndTheHundredAndFirst) {
  EXPECT_EQ(0, in_child([] {
    Kit k;
    CHILD_CHECK(k.up());
    if (!k.block) return;
    slpm_table &t = k.ctx->table;
    CHILD_CHECK(t.count == 1 && std::strcmp(t.pkgs[0].name, "lsf") == 0);
    CHILD_CHECK(t.pkgs[0].lib == nullptr && t.pkgs[0].sym == nullptr);

    // A duplicate (ignoring case) at index 1 of the caller's array.
    lpm_package two[] = {descriptor("aaa", "liba.so", "aInit", LPM_PKG_SHLIB),
                         descriptor("LsF", nullptr, nullptr, LPM_PKG_STATIC)};
    int dup = -1;
    CHILD_CHECK(lpmapd(k.block, two, 2, &dup, nullptr) == -2);
    CHILD_CHECK(dup == 1);
    CHILD_CHECK(t.count == 1);
    // A duplicate within the same call.
    lpm_package same[] = {descriptor("bbb", "x", "y", LPM_PKG_SHLIB),
                          descriptor("BBB", "x", "y", LPM_PKG_SHLIB)};
    CHILD_CHECK(lpmapd(k.block, same, 2, &dup, nullptr) == -2);
    CHILD_CHECK(dup == 1 && t.count == 1);
    CHILD_CHECK(lpmapd(nullptr, two, 1, &dup, nullptr) == -1);
    CHILD_CHECK(lpmapd(k.block, nullptr, 1, &dup, nullptr) == -1);

    // 99 more fill the table; the next one is refused and the 100 stay.
    static char names[100][16];
    lpm_package many[100];
    for (int i = 0; i < 100; i++) {
      std::snprintf(names[i], sizeof names[i], "p%03d", i);
      many[i] = descriptor(names[i], "libp.so", "pInit", LPM_PKG_SHLIB);
    }
    CHILD_CHECK(lpmapd(k.block, many, 99, &dup, nullptr) == 0);
    CHILD_CHECK(t.count == 100);
    CHILD_CHECK(std::strcmp(t.pkgs[99].name, "p098") == 0);
    CHILD_CHECK(t.pkgs[99].name != names[98]);  // a copy
    CHILD_CHECK(lpmapd(k.block, &many[99], 1, &dup, nullptr) == -3);
    CHILD_CHECK(t.count == 100);
    // A call that overflows half way adds nothing.
    CHILD_CHECK(lpmprterm(k.root) == 0);
    Kit k2;
    CHILD_CHECK(k2.up());
    CHILD_CHECK(lpmapd(k2.block, many, 100, &dup, nullptr) == -3);
    CHILD_CHECK(k2.ctx->table.count == 1);
    CHILD_CHECK(lpmprterm(k2.root) == 0);
  }));
}

TEST(Packages, InstalledVersionSearch) {
  struct Case {
    std::vector<const char *> entries;
    const char *stem;
    int result;
    const char *file;
  };
  const Case cases[] = {
      {{"libx.so.10"}, "libx.so.10", 2, "libx.so.10"},
      {{"libx.so.10", "libx.so.10.2"}, "libx.so.10", 2, "libx.so.10.2"},
      {{"libx.so.9.1"}, "libx.so.10", 1, nullptr},
      {{"libx.so.10.3", "libx.so.10.7", "libx.so.11.0"}, "libx.so.10.1", 2, "libx.so.10.7"},
      {{"libx.so.10.12", "libx.so.10.7", "liby.so.10.20"}, "libx.so.10", 2, "libx.so.10.12"},
      {{}, "libx.so.10", 0, nullptr},
      {{"libx.so.10"}, "libx.so", 0, nullptr},
      {{"libx.so.10"}, "libx.so.", 0, nullptr},
      {{"libx.so.10"}, "lib", 0, nullptr},
  };
  for (const Case &c : cases) {
    Home h;
    for (const char *e : c.entries) {
      std::FILE *f = std::fopen((h.dir / e).c_str(), "w");
      if (f) std::fclose(f);
    }
    char path[SLPM_PATHMAX] = "";
    EXPECT_EQ(slpmlocfver(h.dir.c_str(), c.stem, path), c.result) << c.stem;
    if (c.file) {
      EXPECT_EQ(std::string(path), (h.dir / c.file).string());
    }
  }
  // A path that would not fit is refused rather than cut.
  Home h;
  fs::path deep = h.dir;
  while (deep.string().size() < SLPM_PATHMAX - 12) deep /= std::string(200, 'd');
  fs::create_directories(deep);
  std::FILE *f = std::fopen((deep / "libx.so.10.2").c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  char path[SLPM_PATHMAX];
  EXPECT_EQ(slpmlocfver(deep.c_str(), "libx.so.10", path), -1);
}

TEST(Packages, SharedLibraryUnderHomeTakesTheHighestMinorOfItsMajor) {
  EXPECT_EQ(0, in_child([] {
    Home h;
    h.install("tpkg_v103", "libtpkg.so.10.3");
    h.install("tpkg_v107", "libtpkg.so.10.7");
    h.install("tpkg_v110", "libtpkg.so.11.0");
    setenv("VIRUZE_HOME", h.dir.c_str(), 1);
    Kit k;
    CHILD_CHECK(k.up());
    if (!k.block) return;
    CHILD_CHECK(k.add_tpkg("lib/libtpkg.so.10.1", "tpkgInit", LPM_PKG_SHLIB));
    lpm_funcs *iface = lpmloadpkg(k.block, "tpkg");
    CHILD_CHECK(iface != nullptr);
    if (!iface) return;
    CHILD_CHECK(iface->count == 1 && call_version(iface) == 107);
    // Hold the library so that its counters can be read after the unload.
    std::string chosen = (h.dir / "lib" / "libtpkg.so.10.7").string();
    void *held = dlopen(chosen.c_str(), RTLD_NOW | RTLD_NOLOAD);
    CHILD_CHECK(held != nullptr);
    if (!held) return;
    int *inits = static_cast<int *>(dlsym(held, "tpkg_inits"));
    int *terms = static_cast<int *>(dlsym(held, "tpkg_terms"));
    CHILD_CHECK(lpmloadpkg(k.block, "tpkg") == iface);
    CHILD_CHECK(*inits == 1 && *terms == 0);
    CHILD_CHECK(lpmdelete(k.block, "tpkg") == 0);
    CHILD_CHECK(*terms == 0);
    CHILD_CHECK(lpmdelete(k.block, "tpkg") == 0);
    CHILD_CHECK(*terms == 1);
    dlclose(held);
    // The package manager closed its handle: nothing holds the library now.
    CHILD_CHECK(dlopen(chosen.c_str(), RTLD_NOW | RTLD_NOLOAD) == nullptr);
    CHILD_CHECK(lpmprterm(k.root) == 0);
  }));
}

TEST(Packages, HomePathsAreBounded) {
  EXPECT_EQ(0, in_child([] {
    Kit k;
    CHILD_CHECK(k.up());
    if (!k.block) return;
    lpm_package d = descriptor("tpkg", "lib/libtpkg.so.10", "tpkgInit", LPM_PKG_SHLIB);
    int dup = 0;
    CHILD_CHECK(lpmapd(k.block, &d, 1, &dup, nullptr) == 0);
    // home + '/' + library + NUL one byte past the bound.
    std::string home = "/" + std::string(SLPM_PATHMAX - 2 - d.lib_len, 'h');
    setenv("VIRUZE_HOME", home.c_str(), 1);
    CHILD_CHECK(lpmloadpkg(k.block, "tpkg") == nullptr);
    CHILD_CHECK(lwemgec(k.errs, 1) == LPM_NOPKGLIB);
    unsetenv("VIRUZE_HOME");
    lwemces(k.errs);
    CHILD_CHECK(lpmloadpkg(k.block, "tpkg") == nullptr);
    CHILD_CHECK(lwemgec(k.errs, 1) == LPM_NOPKGLIB);
    CHILD_CHECK(list_length(k.ctx->prods) == 0 && list_length(k.ctx->pkgs) == 0);
    CHILD_CHECK(lpmprterm(k.root) == 0);
  }));
}

TEST(Packages, MissingEntrySymbolGivesLpm31AndClosesTheLibrary) {
  EXPECT_EQ(0, in_child([] {
    Kit k;
    CHILD_CHECK(k.up());
    if (!k.block) return;
    std::string lib = lib_file("tpkg_v103");
    CHILD_CHECK(k.add_tpkg(lib.c_str(), "noSuchInit", LPM_PKG_SHLIB | LPM_PKG_ASIS));
    CHILD_CHECK(lpmloadpkg(k.block, "tpkg") == nullptr);
    CHILD_CHECK(lwemgec(k.errs, 1) == LPM_NOPKGLIB);
    CHILD_CHECK(std::strcmp(text_arg(k.errs, 1, 0), "tpkg") == 0);
    CHILD_CHECK(list_length(k.ctx->prods) == 0 && list_length(k.ctx->pkgs) == 0);
    CHILD_CHECK(dlopen(lib.c_str(), RTLD_NOW | RTLD_NOLOAD) == nullptr);
    CHILD_CHECK(lpmprterm(k.root) == 0);
  }));
}

TEST(Packages, FailingEntryKeepsTheCountsAndIsCalledAgain) {
  EXPECT_EQ(0, in_child([] {
    Kit k;
    CHILD_CHECK(k.up());
    if (!k.block) return;
    std::string lib = lib_file("tpkg_fail");
    CHILD_CHECK(k.add_tpkg(lib.c_str(), "tpkgInit", LPM_PKG_SHLIB | LPM_PKG_ASIS));
    CHILD_CHECK(lpmloadpkg(k.block, "tpkg") == nullptr);
    void *held = dlopen(lib.c_str(), RTLD_NOW | RTLD_NOLOAD);
    CHILD_CHECK(held != nullptr);
    if (!held) return;
    int *inits = static_cast<int *>(dlsym(held, "tpkg_inits"));
    int *terms = static_cast<int *>(dlsym(held, "tpkg_terms"));
    CHILD_CHECK(*inits == 1);
    // The product stays listed with its counts raised.
    CHILD_CHECK(list_length(k.ctx->prods) == 1 && list_length(k.ctx->pkgs) == 1);
    auto node = reinterpret_cast<lpm_node *>(k.ctx->prods.head.next);
    CHILD_CHECK(node->refcnt == 1 && node->pkg->refcnt == 1);
    CHILD_CHECK(lpmloadpkg(k.block, "tpkg") == nullptr);
    CHILD_CHECK(*inits == 2);
    CHILD_CHECK(node->refcnt == 2 && node->pkg->refcnt == 2);
    CHILD_CHECK(lpmdelete(k.block, "tpkg") == 0);
    CHILD_CHECK(lpmdelete(k.block, "tpkg") == 0);
    CHILD_CHECK(*terms == 0);  // never initialised: no mode-2 call
    CHILD_CHECK(list_length(k.ctx->prods) == 0 && list_length(k.ctx->pkgs) == 0);
    dlclose(held);
    CHILD_CHECK(lpmprterm(k.root) == 0);
  }));
}

TEST(Packages, EntryWithoutPrivateAreaOrInterfaceIsUndone) {
  struct Case {
    const char *build;
    int number;
    int terms;
  };
  for (const Case &c : {Case{"tpkg_nopriv", LPM_NOPRIV, 0}, Case{"tpkg_noiface", LPM_NOIFACE, 1}}) {
    EXPECT_EQ(0, in_child([&c] {
      Kit k;
      CHILD_CHECK(k.up());
      if (!k.block) return;
      std::string lib = lib_file(c.build);
      void *held = dlopen(lib.c_str(), RTLD_NOW);
      CHILD_CHECK(held != nullptr);
      if (!held) return;
      CHILD_CHECK(k.add_tpkg(lib.c_str(), "tpkgInit", LPM_PKG_SHLIB | LPM_PKG_ASIS));
      CHILD_CHECK(lpmloadpkg(k.block, "tpkg") == nullptr);
      CHILD_CHECK(lwemgec(k.errs, 1) == c.number);
      CHILD_CHECK(std::strcmp(text_arg(k.errs, 1, 0), "tpkg") == 0);
      CHILD_CHECK(list_length(k.ctx->prods) == 0 && list_length(k.ctx->pkgs) == 0);
      CHILD_CHECK(*static_cast<int *>(dlsym(held, "tpkg_inits")) == 1);
      CHILD_CHECK(*static_cast<int *>(dlsym(held, "tpkg_terms")) == c.terms);
      dlclose(held);
      CHILD_CHECK(lpmprterm(k.root) == 0);
    }));
  }
}

TEST(Packages, ListAndCallStackOperations) {
  EXPECT_EQ(0, in_child([] {
    Kit k;
    CHILD_CHECK(k.up());
    if (!k.block) return;
    int flag = 0;
    lpm_list l;
    CHILD_CHECK(lpmllil(k.block, &l, &flag) == 0);
    lpm_lelem a{}, b{}, c{};
    CHILD_CHECK(lpmllae(k.block, &l, &a, &flag) == 0);
    CHILD_CHECK(lpmllae(k.block, &l, &b, &flag) == 0);
    void *next = nullptr;
    CHILD_CHECK(lpmllne(k.block, &l, nullptr, &next, &flag) == 0 && next == &a);
    CHILD_CHECK(lpmllne(k.block, &l, &a, &next, &flag) == 0 && next == &b);
    CHILD_CHECK(lpmllne(k.block, &l, &b, &next, &flag) == 0 && next == nullptr);
    CHILD_CHECK(lpmllmem(k.block, &l, &b, &flag) == 1);
    CHILD_CHECK(lpmllmem(k.block, &l, &c, &flag) == 2);
    CHILD_CHECK(lwemged(k.errs) == 0);
    CHILD_CHECK(lpmllre(k.block, &l, &c, &flag) == -1);
    CHILD_CHECK(lwemgec(k.errs, 1) == LPM_INTERNAL);
    CHILD_CHECK(std::strcmp(text_arg(k.errs, 1, 1), "List element not found.") == 0);
    CHILD_CHECK(lpmllre(k.block, &l, &a, &flag) == 0);
    CHILD_CHECK(lpmllae(k.block, nullptr, &a, &flag) == -1);
    CHILD_CHECK(std::strcmp(text_arg(k.errs, 1, 0), "lpmllae().") == 0);
    sltsmxd(nullptr, &l.mutex);

    lpm_list cs;
    CHILD_CHECK(lpmcsin(k.block, &cs, &flag) == 0);
    lpm_csentry e{};
    lpm_csentry *out = nullptr;
    CHILD_CHECK(lpmcsmem(k.block, &cs, &out, &flag) == 2);
    CHILD_CHECK(lpmcspu(k.block, &cs, &e, &flag) == 0);
    CHILD_CHECK(lpmcsmem(k.block, &cs, &out, &flag) == 1 && out == &e);
    CHILD_CHECK(lpmcste(k.block, &cs, &flag) == -1);  // not empty
    CHILD_CHECK(std::strcmp(text_arg(k.errs, 1, 0), "lpmcste().the stack is not empty") == 0);
    CHILD_CHECK(lpmcspo(k.block, &cs, &out, 1, &flag) == 0 && out == &e);
    CHILD_CHECK(lpmcspo(k.block, &cs, &out, 1, &flag) == -1);
    CHILD_CHECK(std::strcmp(text_arg(k.errs, 1, 1), "Stack element not found.") == 0);
    CHILD_CHECK(lpmcste(k.block, &cs, &flag) == 0);
    lwemces(k.errs);
    CHILD_CHECK(lpmprterm(k.root) == 0);
  }));
}

TEST(Packages, OsRecordLinkFailuresAreRecorded) {
  EXPECT_EQ(0, in_child([] {
    Kit k;
    CHILD_CHECK(k.up());
    if (!k.block) return;
    lpm_node node{};
    struct Case {
      int (*fn)(lpm_meta *, slpm_table *, lpm_node *, int *);
      slpm_table *table;
      lpm_node *node;
      int number;
      const char *text;
    } cases[] = {
        {slpmali, &k.ctx->table, nullptr, LPM_BADARG, "slpmali()"},
        {slpmali, nullptr, &node, LPM_BADARG, "slpmali()"},
        {slpmfin, &k.ctx->table, nullptr, LPM_BADARG, "slpmfin()"},
        {slpmfin, &k.ctx->table, &node, LPM_STEPFAIL, "slpmfin()"},  // never linked
    };
    for (const Case &c : cases) {
      int flag = 0;
      CHILD_CHECK(c.fn(k.block, c.table, c.node, &flag) == -1);
      CHILD_CHECK(flag == 1);
      CHILD_CHECK(lwemgec(k.errs, 1) == c.number);
      CHILD_CHECK(std::strcmp(text_arg(k.errs, 1, 0), c.text) == 0);
      lwemces(k.errs);
    }
    // Linked once, unlinked once; the second unlink is a failure.
    int flag = 0;
    CHILD_CHECK(slpmali(k.block, &k.ctx->table, &node, &flag) == 0);
    CHILD_CHECK(slpmfin(k.block, &k.ctx->table, &node, &flag) == 0);
    CHILD_CHECK(lwemged(k.errs) == 0);
    CHILD_CHECK(slpmfin(k.block, &k.ctx->table, &node, &flag) == -1);
    lwemces(k.errs);
    CHILD_CHECK(lpmprterm(k.root) == 0);
  }));
}

}  // namespace
