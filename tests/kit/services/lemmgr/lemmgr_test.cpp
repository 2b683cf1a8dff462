// Error manager: contexts per block and product, recording, throws through
// nested try frames, throws without a frame, fatal throws, assertions by
// severity, and the ready rule.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "child.h"
#include "lem_kit.h"
#include "lem.h"
#include "lemx.h"
#include "lfv.h"
#include "lpm.h"
#include "lxz.h"

namespace {

using Kit = LemKit;

struct Rec {
  int number, cls;
  const char *facility;
};

// The calling thread's records, newest first.
std::vector<Rec> records(lwem_ctx *errs) {
  std::vector<Rec> out;
  for (int i = 1; lwemget(errs, -i) == LWEM_KIND_MSG; i++) {
    lwem_record *r = lwemgne(errs, -i);
    out.push_back({r->u.msg.number, r->cls, r->facility});
  }
  return out;
}

bool has(const std::vector<Rec> &v, std::initializer_list<Rec> want) {
  if (v.size() != want.size()) return false;
  size_t i = 0;
  for (const Rec &w : want) {
    const Rec &r = v[i++];
    if (r.number != w.number || r.cls != w.cls || std::strcmp(r.facility, w.facility) != 0)
      return false;
  }
  return true;
}

int first_int_arg(lwem_ctx *errs, int n) {
  int32_t v;
  std::memcpy(&v, lwemgep(errs, n)->entries[0].value.bytes, sizeof v);
  return v;
}

// Runs body(k, root) in a child with the kit up and a root frame set up; the
// calling thread's records are cleared and the kit is taken down afterwards.
template <class F>
int in_kit_child(F body) {
  return in_child([&body] {
    Kit k;
    CHILD_CHECK(k.up());
    lem_frame root;
    lemfri(k.lem, &root);
    body(k, root);
    lemces(k.lem);
    k.down();
  });
}

TEST(ErrorManager, ContextsOfBlockAndProducts) {
  EXPECT_EQ(0, in_child([] {
    // The NLS lock and the virtual-file layer keep their thread-services
    // references for the life of the process: set them up first.
    lxzinit();
    lfvinit(LFV_MODE_FILES);
    int base = sltsqgc ? sltsqgc->refs : 0;
    Kit k;
    CHILD_CHECK(k.up());
    if (!k.lem) return;
    auto slot = static_cast<void **>(k.block->em);
    CHILD_CHECK(slot[0] == k.lem);
    CHILD_CHECK(k.lem->slot == slot);
    CHILD_CHECK(k.lem->priv->block == k.block && k.lem->priv->store == k.errs);
    CHILD_CHECK(k.errs->block == k.block);
    CHILD_CHECK(k.lem->cache && k.lem->cache->block == k.block && k.lem->cache->lemfac);
    CHILD_CHECK(k.lem->root && k.lem->root->lem == k.lem && k.lem->root->inner == nullptr);
    // The root product has its own copy of the slot, sharing the context.
    CHILD_CHECK(k.root->m.em != k.block->em);
    lpm_product other{};
    void *out = nullptr;
    CHILD_CHECK(lemcis(k.block, &out, &other) == 0);
    CHILD_CHECK(out == k.lem && static_cast<void **>(other.m.em)[0] == k.lem);
    CHILD_CHECK(lemcit(k.block, nullptr, &other) == 0 && other.m.em == nullptr);
    CHILD_CHECK(slot[0] == k.lem);
    CHILD_CHECK(lemcit(nullptr, nullptr, &other) == -1);
    // Facilities need every name and nonzero numbers.
    CHILD_CHECK(lemfaa(k.lem, nullptr, nullptr, "X", 1, 2) == nullptr);
    CHILD_CHECK(lemfaa(k.lem, nullptr, "P", "X", 0, 2) == nullptr);
    CHILD_CHECK(lempftec() == &lemtec && lempfrec() == &lemrec && lempftas() == &lemtas);
    CHILD_CHECK(lempfric() == &lemric && lempfsec() == &lemsec && lempfsic() == &lemsic);
    CHILD_CHECK(lempfasi() == &lemasi && lempftic() == &lemtic);
    k.down();
    CHILD_CHECK((sltsqgc ? sltsqgc->refs : 0) == base);  // the kit came down completely
  }));
}

TEST(ErrorManager, ThrowLandsInTheInnermostFrame) {
  EXPECT_EQ(0, in_kit_child([](Kit &k, lem_frame &root) {
    lem_tryframe outer, inner;
    volatile int reached = 0;
    volatile int caught_inner = 0, caught_outer = 0;
    LEMTRY(&root, &outer) {
      LEMTRY(&root, &inner) {
        CHILD_CHECK(root.count == 2);
        lemtec(&root, k.vuv, 104, LWEM_CLASS_THROWN, LSFTXTP, "x", LSFEND);
        reached = 1;
      }
      LEMCATCH(&root, &inner) {
        caught_inner = lem_thrown(&root);
        CHILD_CHECK(root.count == 1 && root.inner == &outer);
        // An internal error throws its site, not its number.
        lemtic(&root, k.vuv, 77, LWEM_CLASS_THROWN, LSFEND);
        reached = 2;
      }
    }
    LEMCATCH(&root, &outer) { caught_outer = lem_thrown(&root); }
    CHILD_CHECK(reached == 0);
    CHILD_CHECK(caught_inner == 104 && caught_outer == 77);
    CHILD_CHECK(root.count == 0 && root.inner == nullptr);
    CHILD_CHECK(has(records(k.errs), {{600, 2, "VUV"}, {104, 2, "VUV"}}));
    CHILD_CHECK(first_int_arg(k.errs, 1) == 77);
    CHILD_CHECK(std::strcmp(static_cast<const char *>(lwemgep(k.errs, 2)->entries[0].value.ptr),
                            "x") == 0);
    lemces(k.lem);

    // Bad sites and classes are refused without a throw.
    lemtic(&root, k.vuv, 0, 2, LSFEND);
    lemtic(&root, k.vuv, 5, 0, LSFEND);
    CHILD_CHECK(has(records(k.errs), {{30, 3, "LEM"}, {30, 3, "LEM"}}));
  }));
}

// A caller lays its frame out as the record says, {previous frame, jump
// buffer}, with its own data right behind it: pushing, throwing to and
// popping the frame leave that data alone.
TEST(ErrorManager, FrameLaidOutAsSpecifiedGetsNothingWrittenPastIt) {
  EXPECT_EQ(0, in_kit_child([](Kit &k, lem_frame &root) {
    struct CallerFrame {
      lem_tryframe *prev;
      jmp_buf jb;
    };
    struct Caller {
      CallerFrame frame;
      unsigned char after[16];
    };
    static_assert(sizeof(CallerFrame) == sizeof(lem_tryframe));
    static Caller outer, inner;  // static: kept intact across the jumps
    std::memset(outer.after, 0xA5, sizeof outer.after);
    std::memset(inner.after, 0x5A, sizeof inner.after);
    auto *fo = reinterpret_cast<lem_tryframe *>(&outer.frame);
    auto *fi = reinterpret_cast<lem_tryframe *>(&inner.frame);
    volatile int landed = 0;
    LEMTRY(&root, fo) {
      LEMTRY(&root, fi) { lemtec(&root, k.vuv, 104, LWEM_CLASS_THROWN, LSFEND); }
      LEMCATCH(&root, fi) { landed = lem_thrown(&root); }
      lemtfe(&root, k.vuv, 105);
    }
    LEMCATCH(&root, fo) { landed = landed * 1000 + lem_thrown(&root); }
    CHILD_CHECK(landed == 104 * 1000 + 601);
    for (unsigned char c : outer.after) CHILD_CHECK(c == 0xA5);
    for (unsigned char c : inner.after) CHILD_CHECK(c == 0x5A);
  }));
}

TEST(ErrorManager, ThrowWithoutFrameRecordsAndReturns) {
  EXPECT_EQ(0, in_kit_child([](Kit &k, lem_frame &root) {
    lemtec(&root, k.vuv, 104, LWEM_CLASS_THROWN, LSFEND);
    // Still here.
    CHILD_CHECK(has(records(k.errs), {{900, 2, "LEM"}, {104, 2, "VUV"}}));
    CHILD_CHECK(first_int_arg(k.errs, 1) == LEM_SITE_NOFRAME);
    lemces(k.lem);
    // A frame that is not the innermost one is not popped.
    lem_tryframe a, b;
    lemptfs(&root, &a);
    lemptfs(&root, &b);
    lemptfr(&root, &a);
    CHILD_CHECK(root.count == 2 && root.inner == &b);
    lemptfr(&root, &b);
    lemptfr(&root, &a);
    CHILD_CHECK(root.count == 0);
    lemptfs(&root, nullptr);
    CHILD_CHECK(has(records(k.errs), {{30, 3, "LEM"}}));
  }));
}

TEST(ErrorManager, FatalThrowLandsInTheOutermostFrame) {
  EXPECT_EQ(0, in_kit_child([](Kit &k, lem_frame &root) {
    lem_tryframe f1, f2, f3;
    volatile int where = 0;
    LEMTRY(&root, &f1) {
      LEMTRY(&root, &f2) {
        LEMTRY(&root, &f3) { lemtfe(&root, k.vuv, 105); }
        LEMCATCH(&root, &f3) { where = 3; }
      }
      LEMCATCH(&root, &f2) { where = 2; }
    }
    LEMCATCH(&root, &f1) { where = 1; }
    CHILD_CHECK(where == 1 && lem_thrown(&root) == 601);
    CHILD_CHECK(root.count == 0);
    CHILD_CHECK(has(records(k.errs), {{601, 1, "VUV"}, {105, 1, "VUV"}}));
  }));
}

TEST(ErrorManager, AssertionsBySeverity) {
  struct Case {
    int severity;
    int landed;  // the value the frame saw, 0 when nothing was thrown
    std::vector<Rec> recs;
  };
  const std::vector<Case> cases = {
      {4, 0, {}},
      {5, 0, {}},
      {3, 0, {{600, 3, "VUV"}}},
      {2, 12, {{600, 2, "VUV"}}},
      {1, 601, {{601, 1, "VUV"}, {600, 3, "VUV"}}},
      {9, 901, {{901, 1, "LEM"}, {900, 3, "LEM"}}},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(0, in_kit_child([&c](Kit &k, lem_frame &root) {
      lem_tryframe outer, inner;
      volatile int landed = 0;
      LEMTRY(&root, &outer) {
        LEMTRY(&root, &inner) { lemtas(&root, k.vuv, 12, c.severity, LSFEND); }
        LEMCATCH(&root, &inner) { landed = lem_thrown(&root); }
      }
      LEMCATCH(&root, &outer) { landed = lem_thrown(&root); }
      CHILD_CHECK(landed == c.landed);
      std::vector<Rec> got = records(k.errs);
      CHILD_CHECK(got.size() == c.recs.size());
      for (size_t i = 0; i < got.size() && i < c.recs.size(); i++)
        CHILD_CHECK(got[i].number == c.recs[i].number && got[i].cls == c.recs[i].cls &&
                    std::strcmp(got[i].facility, c.recs[i].facility) == 0);
      if (c.severity == 9) CHILD_CHECK(first_int_arg(k.errs, 2) == LEM_SITE_BADSEV);
      if (c.severity == 1) CHILD_CHECK(first_int_arg(k.errs, 2) == 12);
    })) << "severity " << c.severity;
  }
}

TEST(ErrorManager, ReadyRule) {
  EXPECT_EQ(0, in_child([] {
    Kit k;
    CHILD_CHECK(k.up());
    if (!k.lem) return;
    // Ready: misuse is recorded.
    lemasi(k.lem, k.vuv, 0, 1, LSFEND);
    CHILD_CHECK(has(records(k.errs), {{30, 3, "LEM"}}));
    CHILD_CHECK(std::strcmp(static_cast<const char *>(lwemgep(k.errs, 1)->entries[1].value.ptr),
                            "lemasi") == 0);
    lemces(k.lem);
    lemrec(k.lem, k.vuv, 110, 3, LSFEND);
    CHILD_CHECK(has(records(k.errs), {{110, 3, "VUV"}}));
    lemces(k.lem);

    // Not ready (start-up): nothing stays, not even a throw's records, and an
    // older record is kept.
    lemrec(k.lem, k.vuv, 111, 3, LSFEND);
    k.block->ready = 0;
    lemasi(k.lem, k.vuv, 0, 1, LSFEND);
    lemrec(k.lem, k.vuv, 112, 3, LSFEND);
    lem_frame root;
    lemfri(k.lem, &root);
    lemtec(&root, k.vuv, 113, 2, LSFEND);  // no frame: returns
    lem_tryframe f;
    volatile int landed = 0;
    LEMTRY(&root, &f) { lemtec(&root, k.vuv, 114, 2, LSFEND); }
    LEMCATCH(&root, &f) { landed = lem_thrown(&root); }
    CHILD_CHECK(landed == 114);
    k.block->ready = 1;
    CHILD_CHECK(has(records(k.errs), {{111, 3, "VUV"}}));
    lemces(k.lem);

    // After a barrier pair the records are still visible.
    lemrec(k.lem, k.vuv, 115, 3, LSFEND);
    lempbas(k.lem);
    lempbar(k.lem);
    CHILD_CHECK(lwemvep(k.errs, 1) == 0);
    CHILD_CHECK(lemged(k.lem) >= 1);
    lemdec(k.lem, 1);
    CHILD_CHECK(records(k.errs).empty());
    CHILD_CHECK(lemged(nullptr) == 0);
    k.down();
  }));
}

// In the test process itself, so that the leak checker of the sanitizer
// build sees every argument list that throws leave behind.
TEST(ErrorManager, ThrowsLeakNothing) {
  lpm_product *root = lpmprinit();
  ASSERT_NE(root, nullptr);
  lem_ctx *lem = *static_cast<lem_ctx **>(root->m.em);
  lwem_facility *vuv = lemfaa(lem, nullptr, "RIDOR", "VUV", 600, 601);
  ASSERT_NE(vuv, nullptr);
  lem_frame fr;
  lemfri(lem, &fr);
  volatile int caught = 0;
  for (int i = 1; i <= 20; i++) {
    lem_tryframe a, b;
    LEMTRY(&fr, &a) {
      LEMTRY(&fr, &b) {
        if (i % 3 == 0)
          lemtfe(&fr, vuv, i);
        else
          lemtec(&fr, vuv, i, 2, LSFTXTP, "argument text", LSFIVALUE, int64_t(i), LSFEND);
      }
      LEMCATCH(&fr, &b) { caught = caught + 1; }
    }
    LEMCATCH(&fr, &a) { caught = caught + 1; }
  }
  EXPECT_EQ(caught, 20);
  EXPECT_GT(lemged(lem), 0u);
  lemces(lem);
  lemfaf(lem, vuv);
  EXPECT_EQ(lpmprterm(root), 0);
}

}  // namespace
