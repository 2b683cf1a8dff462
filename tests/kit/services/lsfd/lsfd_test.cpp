#include <gtest/gtest.h>

#include <pthread.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "child.h"
#include "lem.h"
#include "lml.h"
#include "lpm.h"
#include "lsf.h"
#include "lsf_ctx.h"
#include "lsf_ctx_int.h"

namespace {

// The memory handle of the product: counts live blocks, can fail the n-th
// allocation from now, and can run a hook inside an allocation (standing for
// a memory service that records its own error, or watching the lock).
struct Memory {
  long live = 0;
  int fail_in = 0;  // 0: never; n: the n-th allocation from now fails
  std::function<void()> hook;
};

void *mem_alloc(void *user, size_t size) {
  auto m = static_cast<Memory *>(user);
  if (m->hook) {
    auto h = std::move(m->hook);
    m->hook = nullptr;
    h();
  }
  if (m->fail_in > 0 && --m->fail_in == 0) return nullptr;
  m->live++;
  return std::malloc(size);
}

void mem_free(void *user, void *p) {
  static_cast<Memory *>(user)->live--;
  std::free(p);
}

// Handle cells, watched.
std::set<void *> g_cells;
bool g_cell_fail = false;

void *cell_alloc(size_t size) {
  if (g_cell_fail) return nullptr;
  void *p = std::malloc(size);
  g_cells.insert(p);
  return p;
}

void cell_free(void *p) {
  EXPECT_EQ(g_cells.erase(p), 1u) << "not a handle cell";
  std::free(p);
}

// One typed argument of an error record, as the tests expect it.
struct Arg {
  int type;
  int64_t value;
  std::string text;
  Arg(int t, int64_t v) : type(t), value(v) {}
  Arg(int t, const char *s) : type(t), value(0), text(s) {}
};

// A formatting context built by hand over a product whose error store and
// memory handle are the test's, as the formatting service will build it.
// The parameter is the context's creation flags (locking, recording).
class Context : public ::testing::TestWithParam<int> {
 public:
  void SetUp() override {
    mem_ = lmlinit(&memory_, mem_alloc, mem_free);
    ASSERT_NE(mem_, nullptr);
    base_ = memory_.live;
    errs_ = lwemist("AMERICAN_AMERICA.US7ASCII", nullptr, 1);
    ASSERT_NE(errs_, nullptr);
    block_.mem = mem_;
    block_.errs = errs_;
    errs_->block = &block_;
    product_.m = block_;
    product_.block = &block_;
    area_.product = &product_;
    fac_ = lwemfaa(errs_, nullptr, "VODUDED", "LSF", LSF_INTERNAL, LSF_FATAL);
    ASSERT_NE(fac_, nullptr);
    other_ = lwemfaa(errs_, nullptr, "VODUDED", "LMM", 3, 4);
    ASSERT_NE(other_, nullptr);

    int flags = GetParam();
    priv_.area = &area_;
    priv_.fac = fac_;
    priv_.thr = sltsini();
    ASSERT_NE(priv_.thr, nullptr);
    ASSERT_EQ(sltsmxi(priv_.thr, &priv_.mutex), 0);
    // An error-checking OS mutex: a second lock by its owner fails at once
    // instead of hanging the test.
    pthread_mutex_t *os = &priv_.mutex.blk->os;
    pthread_mutex_destroy(os);
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_ERRORCHECK);
    ASSERT_EQ(pthread_mutex_init(os, &attr), 0);
    pthread_mutexattr_destroy(&attr);
    ASSERT_EQ(sltstidinit(priv_.thr, &priv_.owner), 0);
    sltstan(priv_.thr, &priv_.owner);
    priv_.lock = (flags & LSF_FLAG_NOLOCK) ? 0 : 1;
    priv_.record = (flags & LSF_FLAG_RECORD) ? 1 : 0;
    priv_.utf16 = (flags & LSF_FLAG_UTF16) ? 1 : 0;
    ctx_.priv = &priv_;

    g_cells.clear();
    g_cell_fail = false;
    lsfd_cell_alloc = cell_alloc;
    lsfd_cell_free = cell_free;
  }

  void TearDown() override {
    lsfd_cell_alloc = std::malloc;
    lsfd_cell_free = std::free;
    EXPECT_TRUE(g_cells.empty()) << "handle cell not freed";
    EXPECT_TRUE(sltsThrIsNull(&priv_.owner)) << "owner left set";
    if (priv_.mutex.blk) {
      EXPECT_EQ(sltsmnt(priv_.thr, &priv_.mutex), 0) << "context lock left held";
      sltsmnr(priv_.thr, &priv_.mutex);
      sltsmxd(priv_.thr, &priv_.mutex);
    }
    sltstiddestroy(priv_.thr, &priv_.owner);
    lwemces(errs_);
    EXPECT_EQ(memory_.live, base_) << "list memory not released";
    lwemfaf(errs_, fac_);
    lwemfaf(errs_, other_);
    lwemdst(errs_);
    sltster(priv_.thr);
    lmlterm(mem_);
  }

  bool records() const { return priv_.record != 0; }
  bool locks() const { return priv_.lock != 0; }

  // Pushes a record of another facility, as an earlier call would have left.
  void push_other(int number, bool mark) {
    ASSERT_EQ(lwemrec(errs_, other_, number, nullptr, 0, LWEM_CLASS_RECORDED, LSFEND), 0);
    if (mark) lwemmrk(errs_);
  }

  // The argument list of the newest record, as Args.
  std::vector<Arg> newest_args() {
    std::vector<Arg> out;
    lsf_arglist *l = lwemgep(errs_, 1);
    if (!l) return out;
    for (int i = 0; l->entries[i].type != LSFEND; i++) {
      const lsf_entry &e = l->entries[i];
      if (e.type == LSFTXTP)
        out.emplace_back(e.type, static_cast<const char *>(e.value.ptr));
      else {
        int st = LSFST_OK;
        out.emplace_back(e.type, e.type == LSFIVALUE ? e.value.i64 : lwsfdval(l->entries, i + 1, &st));
      }
    }
    return out;
  }

  // Checks that the newest record is LSF `number` with `args`, marked, and
  // that it is the only record the call left.
  void expect_lsf(unsigned depth_before, int number, const std::vector<Arg> &args) {
    if (!records()) {
      EXPECT_EQ(lwemged(errs_), depth_before) << "a context that does not record left records";
      return;
    }
    ASSERT_EQ(lwemged(errs_), depth_before + 1);
    EXPECT_EQ(lwemgec(errs_, 1), number);
    char fac[10] = {};
    lwemgef(errs_, 1, fac, sizeof fac);
    EXPECT_STREQ(fac, "LSF");
    EXPECT_EQ(lwemgne(errs_, 1)->cls, LWEM_CLASS_RECORDED);
    EXPECT_EQ(lwemimk(errs_, 1), 1) << "record not marked";
    auto got = newest_args();
    ASSERT_EQ(got.size(), args.size());
    for (size_t i = 0; i < args.size(); i++) {
      EXPECT_EQ(got[i].type, args[i].type) << "argument " << i + 1;
      EXPECT_EQ(got[i].value, args[i].value) << "argument " << i + 1;
      EXPECT_EQ(got[i].text, args[i].text) << "argument " << i + 1;
    }
  }

  // A list of n LSFSB4 arguments 1..n.
  lsf_handle *list_of(int n) {
    static int32_t v[LSF_MAXARGS + 1];
    for (int i = 0; i <= LSF_MAXARGS; i++) v[i] = i + 1;
    lsf_handle *h = lsfdl(&ctx_, LSFEND);
    for (int i = 0; h && i < n; i++) h = lsfdi(&ctx_, h, -1, LSFSB4, &v[i], LSFEND);
    return h;
  }

  // Whether the context lock is held (by anyone), without disturbing it.
  bool lock_held() {
    if (sltsmnt(priv_.thr, &priv_.mutex) != 0) return true;
    sltsmnr(priv_.thr, &priv_.mutex);
    return false;
  }

  Memory memory_;
  long base_ = 0;
  lml_ctx *mem_ = nullptr;
  lwem_ctx *errs_ = nullptr;
  lpm_meta block_{};
  lpm_product product_{};
  lsf_pkgarea area_{};
  lwem_facility *fac_ = nullptr;
  lwem_facility *other_ = nullptr;
  lsf_priv priv_{};
  lsf_ctx ctx_{};
};

std::string flag_name(const ::testing::TestParamInfo<int> &info) {
  std::string s = (info.param & LSF_FLAG_NOLOCK) ? "NoLock" : "Lock";
  s += (info.param & LSF_FLAG_RECORD) ? "Record" : "NoRecord";
  return s;
}

INSTANTIATE_TEST_SUITE_P(Flags, Context,
                         ::testing::Values(0, LSF_FLAG_RECORD, LSF_FLAG_NOLOCK,
                                           LSF_FLAG_NOLOCK | LSF_FLAG_RECORD),
                         flag_name);

TEST_P(Context, BuildInsertReadAndDestroy) {
  int32_t v = -7;
  uint8_t b = 200;
  lsf_handle *h = lsfdl(&ctx_, LSFTXTP, "abc", LSFSB4, &v, LSFEND);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(g_cells.count(h), 1u);
  ASSERT_NE(*h, nullptr);
  EXPECT_EQ(lsfdcnt(&ctx_, h), 2);
  EXPECT_STREQ(static_cast<const char *>((*h)->entries[0].value.ptr), "abc");
  EXPECT_EQ(lsfdval(&ctx_, (*h)->entries, 2), -7);

  lsf_arglist *list = *h;
  EXPECT_EQ(lsfdi(&ctx_, h, 0, LSFUB1, &b, LSFEND), h);
  EXPECT_EQ(*h, list) << "insertion keeps the list record";
  EXPECT_EQ(lsfdcnt(&ctx_, h), 3);
  EXPECT_EQ(lsfdval(&ctx_, (*h)->entries, 1), 200);
  EXPECT_EQ(lsfdval(&ctx_, (*h)->entries, 3), -7);

  EXPECT_EQ(lsfdrm(&ctx_, h), 0);
  EXPECT_TRUE(g_cells.empty()) << "lsfdrm frees the handle cell";
  EXPECT_EQ(lwemged(errs_), 0u);
}

// Every failing status of the list layer becomes its LSF record with its
// arguments; a context that does not record leaves the stack as it was.
TEST_P(Context, FailuresBecomeLsfRecords) {
  int32_t bad_len_target = 0;
  int64_t neg = -1;
  struct Case {
    const char *name;
    std::function<void(Context *)> call;
    int number;
    std::vector<Arg> args;
  };
  const std::vector<Case> cases = {
      {"31 arguments",
       [](Context *t) {
         int32_t v = 1;
         EXPECT_EQ(lsfdl(&t->ctx_, LSFSB4, &v, LSFSB4, &v, LSFSB4, &v, LSFSB4, &v, LSFSB4, &v,
                         LSFSB4, &v, LSFSB4, &v, LSFSB4, &v, LSFSB4, &v, LSFSB4, &v, LSFSB4, &v,
                         LSFSB4, &v, LSFSB4, &v, LSFSB4, &v, LSFSB4, &v, LSFSB4, &v, LSFSB4, &v,
                         LSFSB4, &v, LSFSB4, &v, LSFSB4, &v, LSFSB4, &v, LSFSB4, &v, LSFSB4, &v,
                         LSFSB4, &v, LSFSB4, &v, LSFSB4, &v, LSFSB4, &v, LSFSB4, &v, LSFSB4, &v,
                         LSFSB4, &v, LSFTXTP, "x", LSFEND),
                   nullptr);
       },
       LSF_TOOMANY,
       {Arg(LSFIVALUE, 31)}},
      {"code not accepted",
       [](Context *t) { EXPECT_EQ(lsfdl(&t->ctx_, LSFTXTP, "x", 42, LSFEND), nullptr); },
       LSF_NOTACCEPTED,
       {}},
      {"negative length",
       [&](Context *t) {
         EXPECT_EQ(lsfdl(&t->ctx_, LSFBIGBUFLN, &bad_len_target, &neg, LSFEND), nullptr);
       },
       LSF_NEGLEN,
       {}},
      {"list memory exhausted",
       [](Context *t) {
         t->memory_.fail_in = 2;  // the copy of "abc" succeeds, the list record fails
         EXPECT_EQ(lsfdl(&t->ctx_, LSFTXTP, "abc", LSFEND), nullptr);
         t->memory_.fail_in = 0;
       },
       LSF_NOMEM,
       {Arg(LSFTXTP, ""), Arg(LSFSB4, int64_t{0})}},
      {"text copy memory exhausted",
       [](Context *t) {
         t->memory_.fail_in = 1;
         EXPECT_EQ(lsfdl(&t->ctx_, LSFSB4, &t->priv_.lock, LSFTXTP, "abc", LSFEND), nullptr);
         t->memory_.fail_in = 0;
       },
       LSF_NOMEM,
       {Arg(LSFTXTP, ""), Arg(LSFSB4, int64_t{0})}},
      {"handle cell not allocated",
       [](Context *t) {
         g_cell_fail = true;
         EXPECT_EQ(lsfdl(&t->ctx_, LSFTXTP, "abc", LSFEND), nullptr);
         g_cell_fail = false;
       },
       LSF_NOMEM,
       {Arg(LSFTXTP, "lsfdlv() failed to allocate memory")}},
      {"insertion below -1",
       [](Context *t) {
         lsf_handle *h = t->list_of(2);
         int32_t v = 5;
         EXPECT_EQ(lsfdi(&t->ctx_, h, -2, LSFSB4, &v, LSFEND), nullptr);
         EXPECT_EQ(lsfdcnt(&t->ctx_, h), 2) << "the list stays as it was";
         EXPECT_EQ(lsfdrm(&t->ctx_, h), 0);
       },
       LSF_BADINSPOS,
       {Arg(LSFSB4, -2)}},
      {"end entry inserted",
       [](Context *t) {
         lsf_handle *h = t->list_of(1);
         EXPECT_EQ(lsfdi(&t->ctx_, h, 1, LSFEND), nullptr);
         EXPECT_EQ(lsfdrm(&t->ctx_, h), 0);
       },
       LSF_ENDINSERT,
       {}},
      {"insertion into 30 arguments",
       [](Context *t) {
         lsf_handle *h = t->list_of(30);
         ASSERT_NE(h, nullptr);
         EXPECT_EQ(lsfdi(&t->ctx_, h, 0, LSFTXTP, "one too many", LSFEND), nullptr);
         EXPECT_EQ(lsfdcnt(&t->ctx_, h), 30);
         EXPECT_EQ(lsfdval(&t->ctx_, (*h)->entries, 30), 30);
         EXPECT_EQ(lsfdrm(&t->ctx_, h), 0);
       },
       LSF_TOOMANY,
       {Arg(LSFIVALUE, 31)}},
      {"insertion into a NULL handle",
       [](Context *t) {
         int32_t v = 1;
         EXPECT_EQ(lsfdi(&t->ctx_, nullptr, 0, LSFSB4, &v, LSFEND), nullptr);
       },
       LSF_NOHANDLE,
       {}},
      {"destroying a NULL handle",
       [](Context *t) { EXPECT_EQ(lsfdrm(&t->ctx_, nullptr), -17); },
       LSF_NOHANDLE,
       {}},
      {"counting a NULL handle",
       [](Context *t) { EXPECT_EQ(lsfdcnt(&t->ctx_, nullptr), -1); },
       LSF_NOHANDLE,
       {}},
      {"value of argument 0",
       [](Context *t) {
         lsf_handle *h = t->list_of(1);
         EXPECT_EQ(lsfdval(&t->ctx_, (*h)->entries, 0), 0);
         EXPECT_EQ(lsfdrm(&t->ctx_, h), 0);
       },
       LSF_ARGZERO,
       {Arg(LSFUWORD, int64_t{0})}},
      {"descriptor without end entry",
       [](Context *t) { lsfohwf(&t->ctx_, LSFST_NOEND, nullptr); },
       LSF_INTERNAL,
       {Arg(LSFSB4, LSF_SITE_ARGLIST), Arg(LSFTXTP, "LSF Internal Error."),
        Arg(LSFTXTP, "Descriptor Overflow"), Arg(LSFTXTP, "Maximum descriptor size is: "),
        Arg(LSFIVALUE, 31)}},
      {"no argument list for the engine",
       [](Context *t) { lsfohwf(&t->ctx_, LSFST_NOARGLIST, nullptr); },
       LSF_NOARGLIST,
       {}},
  };
  // An earlier, unmarked record of another service must survive every call.
  push_other(77, false);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    unsigned depth = lwemged(errs_);
    c.call(this);
    expect_lsf(depth, c.number, c.args);
    while (lwemged(errs_) > depth) lwemdec(errs_, 1);
    ASSERT_EQ(lwemgec(errs_, 1), 77);
  }
  EXPECT_EQ(lwemged(errs_), 1u);
}

TEST_P(Context, StatusesThatRecordNothing) {
  for (int st : {int{LSFST_UNSUPPORTED}, int{LSFST_OK}, 12, 38, -1}) {
    lsfohwf(&ctx_, st, nullptr);
    EXPECT_EQ(lwemged(errs_), 0u) << "status " << st;
  }
}

// Records that a service pushes during a call stay only when the context
// records errors; without, the stack goes back to its depth at entry and
// keeps every record it had before, marked or not.
TEST_P(Context, CalleeRecordsTrimmedUnlessRecording) {
  push_other(70, true);
  push_other(71, false);
  unsigned depth = lwemged(errs_);
  // The service records its error, unmarked, and the allocation fails.
  memory_.hook = [this] {
    lwemrec(errs_, other_, 2, nullptr, 0, LWEM_CLASS_RECORDED, LSFEND);
    memory_.fail_in = 1;
  };
  EXPECT_EQ(lsfdl(&ctx_, LSFTXTP, "abc", LSFEND), nullptr);
  memory_.fail_in = 0;
  if (records()) {
    ASSERT_EQ(lwemged(errs_), depth + 2);
    EXPECT_EQ(lwemgec(errs_, 1), LSF_NOMEM);
    EXPECT_EQ(lwemgec(errs_, 2), 2);
    EXPECT_EQ(lwemgec(errs_, 3), 71);
  } else {
    ASSERT_EQ(lwemged(errs_), depth);
    EXPECT_EQ(lwemgec(errs_, 1), 71);
    EXPECT_EQ(lwemgec(errs_, 2), 70);
    EXPECT_EQ(lwemimk(errs_, 2), 1);
  }
}

// While the list layer works, the context lock is held by the calling thread
// when locking is on, and not taken at all when it is off.
TEST_P(Context, LockHeldDuringTheCall) {
  bool held = false, owner = false;
  memory_.hook = [&] {
    held = lock_held();
    owner = sltstcu(&priv_.owner) == 1;
  };
  lsf_handle *h = lsfdl(&ctx_, LSFTXTP, "abc", LSFEND);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(held, locks());
  EXPECT_EQ(owner, locks());
  EXPECT_FALSE(lock_held());
  EXPECT_TRUE(sltsThrIsNull(&priv_.owner));

  memory_.hook = [&] { held = lock_held(); };
  held = !locks();
  EXPECT_EQ(lsfdi(&ctx_, h, -1, LSFTXTP, "def", LSFEND), h);
  EXPECT_EQ(held, locks());
  EXPECT_EQ(lsfdrm(&ctx_, h), 0);
}

// A formatting call made from inside another on the same thread goes on
// without taking the lock again, and leaves the outer call's lock alone.
TEST_P(Context, OwnerDoesNotLockTwice) {
  pthread_mutex_t *os = &priv_.mutex.blk->os;

  lsf_handle *inner = nullptr;
  int inner_count = -2;
  bool held_after_inner = false;
  memory_.hook = [&] {
    inner = lsfdl(&ctx_, LSFTXTP, "inner", LSFEND);
    inner_count = lsfdcnt(&ctx_, inner);
    // Still ours: an error-checking mutex refuses a try by its owner.
    held_after_inner = pthread_mutex_trylock(os) == EBUSY;
    if (!held_after_inner) pthread_mutex_unlock(os);
  };
  lsf_handle *outer = lsfdl(&ctx_, LSFTXTP, "outer", LSFEND);
  ASSERT_NE(outer, nullptr);
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner_count, 1);
  EXPECT_EQ(held_after_inner, locks()) << "the inner call gave back the outer call's lock";
  EXPECT_EQ(lwemged(errs_), 0u);
  EXPECT_EQ(lsfdrm(&ctx_, inner), 0);
  EXPECT_EQ(lsfdrm(&ctx_, outer), 0);
}

// The owner check compares threads: a lock held by another thread makes the
// call wait, so it is taken by the call only after the other thread lets go.
TEST_P(Context, OtherThreadWaitsForTheLock) {
  int taken = -1;
  ASSERT_EQ(lsf_ctx_lock(&ctx_, &taken), 0);
  if (!locks()) {
    EXPECT_EQ(taken, 0);
    EXPECT_FALSE(lock_held());
    return;
  }
  ASSERT_EQ(taken, 1);
  int again = 1;
  ASSERT_EQ(lsf_ctx_lock(&ctx_, &again), 0);
  EXPECT_EQ(again, 0) << "owner locked twice";

  struct Shared {
    Context *t;
    lsf_handle *h = nullptr;
    bool owned_by_it = false;
  } sh{this};
  pthread_t th;
  ASSERT_EQ(pthread_create(
                &th, nullptr,
                [](void *p) -> void * {
                  auto s = static_cast<Shared *>(p);
                  s->t->memory_.hook = [s] {
                    s->owned_by_it = sltstcu(&s->t->priv_.owner) == 1;
                  };
                  s->h = lsfdl(&s->t->ctx_, LSFTXTP, "x", LSFEND);
                  return nullptr;
                },
                &sh),
            0);
  // The other thread cannot get in while we hold the lock; letting go lets
  // it finish.
  lsf_ctx_unlock(&ctx_, taken);
  pthread_join(th, nullptr);
  ASSERT_NE(sh.h, nullptr);
  EXPECT_TRUE(sh.owned_by_it) << "the other thread ran without owning the lock";
  EXPECT_EQ(lsfdrm(&ctx_, sh.h), 0);
}

TEST_P(Context, ListLockThroughTheContext) {
  lsf_handle *h = list_of(1);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(lsfdal(&ctx_, h), 0);
  EXPECT_EQ(sltsmnt(priv_.thr, &(*h)->mutex), -1);
  EXPECT_EQ(lsfdrl(&ctx_, h), 0);
  EXPECT_EQ(sltsmnt(priv_.thr, &(*h)->mutex), 0);
  sltsmnr(priv_.thr, &(*h)->mutex);
  EXPECT_EQ(lsfdal(&ctx_, nullptr), -1);
  EXPECT_EQ(lsfdrl(&ctx_, nullptr), -1);
  EXPECT_EQ(lsfdrm(&ctx_, h), 0);
}

// The list layer gets the context's environment: its UTF-16 flag decides how
// LSFTXTP texts arrive.
TEST_P(Context, EnvironmentComesFromTheContext) {
  lsf_env env{};
  lsf_ctx_env(&ctx_, &env);
  EXPECT_EQ(env.thr, priv_.thr);
  EXPECT_EQ(env.fmt, &ctx_);
  EXPECT_EQ(env.glo, priv_.glo);
  EXPECT_EQ(env.lang, lsf_ctx_lang(&priv_));

  priv_.utf16 = 1;
  const char16_t text[] = u"h\u00e9";
  lsf_handle *h = lsfdl(&ctx_, LSFTXTP, text, LSFEND);
  ASSERT_NE(h, nullptr);
  EXPECT_STREQ(static_cast<const char *>((*h)->entries[0].value.ptr), "h\xc3\xa9");
  EXPECT_EQ(lsfdrm(&ctx_, h), 0);
}

// A context over the real "lsf" package of a process block: its private
// area leads to the package's product, and the context layer works on that
// product's error store and memory.
TEST(ContextLayer, OverTheLsfPackage) {
  int rc = in_child([] {
    lpm_product *root = lpmprinit();
    CHILD_CHECK(root != nullptr);
    lpm_meta *block = root->block;
    lpm_funcs *pkg = lpmloadpkg(block, "lsf");
    CHILD_CHECK(pkg != nullptr);
    auto area = static_cast<lsf_pkgarea *>(pkg->priv);
    CHILD_CHECK(area->iface == pkg && area->product != nullptr);

    lsf_priv priv{};
    lsf_ctx ctx{pkg, &priv};
    priv.area = area;
    priv.thr = sltsini();
    CHILD_CHECK(sltsmxi(priv.thr, &priv.mutex) == 0);
    CHILD_CHECK(sltstidinit(priv.thr, &priv.owner) == 0);
    sltstan(priv.thr, &priv.owner);
    priv.lock = 1;
    priv.record = 1;
    lwem_ctx *errs = lsf_ctx_errs(&ctx);
    CHILD_CHECK(errs != nullptr && errs == block->errs);
    priv.fac = lwemfaa(errs, nullptr, "VODUDED", "LSF", LSF_INTERNAL, LSF_FATAL);
    CHILD_CHECK(priv.fac != nullptr);

    unsigned depth = lwemged(errs);
    lsf_handle *h = lsfdl(&ctx, LSFTXTP, "abc", LSFEND);
    CHILD_CHECK(h != nullptr && lsfdcnt(&ctx, h) == 1);
    CHILD_CHECK(lsfdi(&ctx, h, -5, LSFTXTP, "x", LSFEND) == nullptr);
    CHILD_CHECK(lwemged(errs) == depth + 1);
    CHILD_CHECK(lwemgec(errs, 1) == LSF_BADINSPOS);
    CHILD_CHECK(lsfdrm(&ctx, h) == 0);
    lwemdec(errs, 1);
    lwemfaf(errs, priv.fac);
  });
  EXPECT_EQ(rc, 0);
}

TEST(ContextLayer, NullContext) {
  int32_t v = 1;
  EXPECT_EQ(lsfdl(nullptr, LSFSB4, &v, LSFEND), nullptr);
  lsf_ctx empty{};
  EXPECT_EQ(lsfdl(&empty, LSFSB4, &v, LSFEND), nullptr);
  EXPECT_EQ(lsfdi(nullptr, nullptr, 0, LSFSB4, &v, LSFEND), nullptr);
  EXPECT_EQ(lsfdrm(nullptr, nullptr), -17);
  EXPECT_EQ(lsfdcnt(nullptr, nullptr), -1);
  EXPECT_EQ(lsfdal(nullptr, nullptr), -1);
  lsfohwf(nullptr, LSFST_NOMEM, nullptr);
  lsforec(nullptr, LSF_NOMEM, 0, nullptr, LSFEND);
  lsfocdtm(nullptr, 0);
  lsf_entry e[2] = {};
  e[0].type = LSFSB4;
  e[0].value.i64 = 9;
  EXPECT_EQ(lsfdval(nullptr, e, 1), 9);
  EXPECT_EQ(lsfdval(nullptr, nullptr, 1), 0);
}

}  // namespace
