#include <gtest/gtest.h>

#include <cstring>
#include <semaphore>
#include <string>
#include <thread>
#include <vector>

#include "lem.h"
#include "lsf.h"

namespace {

class Store : public ::testing::Test {
 protected:
  void SetUp() override {
    ctx_ = lwemist("AMERICAN_AMERICA.US7ASCII", nullptr, 1);
    ASSERT_NE(ctx_, nullptr);
    fac_ = lwemfaa(ctx_, nullptr, "RIDOR", "VUV", 600, 601);
    ASSERT_NE(fac_, nullptr);
  }
  void TearDown() override {
    lwemfaf(ctx_, fac_);
    EXPECT_EQ(lwemdst(ctx_), 0);
  }
  // Records message number n with one integer argument holding n.
  void push(int n) {
    int32_t v = n;
    ASSERT_EQ(lwemrec(ctx_, fac_, n, nullptr, 0, LWEM_CLASS_RECORDED, LSFSB4, &v, LSFEND), 0);
  }
  // Message numbers of the calling thread's records, newest first.
  std::vector<int> numbers() {
    std::vector<int> out;
    for (int i = 1; lwemget(ctx_, -i) != LWEM_KIND_NONE; i++) out.push_back(lwemgec(ctx_, -i));
    return out;
  }

  lwem_ctx *ctx_ = nullptr;
  lwem_facility *fac_ = nullptr;
};

using V = std::vector<int>;

TEST_F(Store, EmptyStore) {
  EXPECT_EQ(lwemged(ctx_), 0u);
  EXPECT_EQ(lwemget(ctx_, 1), LWEM_KIND_NONE);
  EXPECT_EQ(lwemgec(ctx_, 1), -1);
  EXPECT_EQ(lwemimk(ctx_, 1), -1);
  EXPECT_EQ(lwemgne(ctx_, 0), nullptr);
  EXPECT_EQ(lwemvep(ctx_, 1), -1);
}

TEST_F(Store, NullHandleOperationsFail) {
  EXPECT_EQ(lwemdst(nullptr), -1);
  EXPECT_EQ(lwemrec(nullptr, fac_, 1, nullptr, 0, 3, LSFEND), -1);
  EXPECT_EQ(lwemged(nullptr), 0u);
  EXPECT_EQ(lwemget(nullptr, 1), LWEM_KIND_NONE);
  EXPECT_EQ(lwemgec(nullptr, 1), -1);
  EXPECT_EQ(lwemgie(nullptr, fac_), -1);
  EXPECT_EQ(lwemgfe(ctx_, nullptr), -1);
  lwem_ctx empty{};
  EXPECT_EQ(lwemdst(&empty), -1);
  EXPECT_EQ(lwemrec(&empty, fac_, 1, nullptr, 0, 3, LSFEND), -1);
}

TEST_F(Store, RecordsAndQueries) {
  push(104);
  push(105);
  EXPECT_EQ(lwemged(ctx_), 2u);
  EXPECT_EQ(lwemgec(ctx_, 1), 105);
  EXPECT_EQ(lwemgec(ctx_, 2), 104);
  EXPECT_EQ(lwemgne(ctx_, 1), lwemgne(ctx_, -1));
  EXPECT_EQ(lwemgne(ctx_, 0), nullptr);
  EXPECT_EQ(lwemgne(ctx_, 3), nullptr);
  lwem_record *r = lwemgne(ctx_, 1);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->kind, LWEM_KIND_MSG);
  EXPECT_EQ(r->cls, LWEM_CLASS_RECORDED);
  EXPECT_EQ(lwemget(ctx_, 1), LWEM_KIND_MSG);
  lsf_arglist *args = lwemgep(ctx_, 1);
  ASSERT_NE(args, nullptr);
  EXPECT_EQ(args, lwemgpa(ctx_, r));
  EXPECT_EQ(lwsfdcnt(args), 1);
  int st = LSFST_OK;
  EXPECT_EQ(lwsfdval(args->entries, 1, &st), 105);
  EXPECT_EQ(lwemgse(ctx_, 1), nullptr);
  void *out = &st;
  EXPECT_EQ(lwemgnp(ctx_, 1, 1, &out), LSFBAD);  // fetching by this call is not supported
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(lwemgie(ctx_, fac_), 600);
  EXPECT_EQ(lwemgfe(ctx_, fac_), 601);
}

TEST_F(Store, RefusedRecords) {
  EXPECT_EQ(lwemrec(ctx_, fac_, 0, nullptr, 0, 3, LSFEND), -1);
  EXPECT_EQ(lwemrec(ctx_, fac_, 600, nullptr, 0, 3, LSFEND), -1);
  EXPECT_EQ(lwemrec(ctx_, fac_, 5, nullptr, 0, 3, 42, LSFEND), -1);  // bad type code
  EXPECT_EQ(lwemrec(ctx_, nullptr, 5, nullptr, 0, 3, LSFEND), -1);
  EXPECT_EQ(lwemged(ctx_), 0u);
  EXPECT_EQ(ctx_->store->count, 0);
}

TEST_F(Store, InternalErrorCarriesItsSiteFirst) {
  int32_t x = 7;
  ASSERT_EQ(lwemrec(ctx_, fac_, 600, nullptr, 330, 3, LSFTXTP, "text", LSFSB4, &x, LSFEND), 0);
  lsf_arglist *args = lwemgep(ctx_, 1);
  ASSERT_NE(args, nullptr);
  ASSERT_EQ(lwsfdcnt(args), 3);
  int st = LSFST_OK;
  EXPECT_EQ(args->entries[0].type, LSFSB4);
  EXPECT_EQ(lwsfdval(args->entries, 1, &st), 330);
  EXPECT_STREQ(static_cast<const char *>(args->entries[1].value.ptr), "text");
  EXPECT_EQ(lwsfdval(args->entries, 3, &st), 7);

  // A site with no other arguments still makes a list of one.
  ASSERT_EQ(lwemade(ctx_, fac_, 600, nullptr, 60, 3, nullptr), 0);
  args = lwemgep(ctx_, 1);
  ASSERT_NE(args, nullptr);
  EXPECT_EQ(lwsfdcnt(args), 1);
  EXPECT_EQ(lwsfdval(args->entries, 1, &st), 60);
}

TEST_F(Store, OsStatusRecord) {
  sl_status s{};
  s.code = 21104;
  s.oserr = 2;
  s.detail[0] = 7;
  ASSERT_EQ(lwemrec(ctx_, fac_, 0, &s, 0, 3, LSFTXTP, "ignored", LSFEND), 0);
  EXPECT_EQ(lwemget(ctx_, 1), LWEM_KIND_OS);
  sl_status *copy = lwemgse(ctx_, 1);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, &s);
  EXPECT_EQ(copy->code, 21104);
  EXPECT_EQ(copy->oserr, 2);
  EXPECT_EQ(copy->detail[0], 7);
  EXPECT_EQ(lwemgne(ctx_, 1)->cls, 0);
  EXPECT_EQ(lwemgep(ctx_, 1), nullptr);
  EXPECT_EQ(lwemgec(ctx_, 1), -1);
  void *out = nullptr;
  EXPECT_EQ(lwemgnp(ctx_, 1, 1, &out), 0);
}

TEST_F(Store, NamesCopiedOutAreTerminated) {
  push(1);
  char buf[16];
  EXPECT_EQ(lwemgef(ctx_, 1, buf, sizeof buf), 4);
  EXPECT_STREQ(buf, "VUV");
  EXPECT_EQ(lwemgpd(ctx_, 1, buf, sizeof buf), 6);
  EXPECT_STREQ(buf, "RIDOR");
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(lwemgpd(ctx_, 1, buf, 4), 4);  // cut to fit: three bytes and the NUL
  EXPECT_STREQ(buf, "RID");
  EXPECT_EQ(buf[4], 'x');
  EXPECT_EQ(lwemgef(ctx_, 1, buf, 1), 1);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(lwemgef(ctx_, 1, buf, 0), -1);
  EXPECT_EQ(lwemgef(ctx_, 2, buf, sizeof buf), -1);
}

TEST_F(Store, FacilityRegistration) {
  struct Case {
    const char *what;
    const char *product;
    const char *facility;
    int internal, fatal;
    bool ok;
  };
  const Case cases[] = {
      {"nine characters", "VODUDED", "ABCDEFGHI", 3, 4, true},
      {"ten-character facility", "VODUDED", "ABCDEFGHIJ", 3, 4, false},
      {"ten-character product", "ABCDEFGHIJ", "LPM", 3, 4, false},
      {"null product", nullptr, "LPM", 3, 4, false},
      {"null facility", "VODUDED", nullptr, 3, 4, false},
      {"internal 0", "VODUDED", "LPM", 0, 4, false},
      {"fatal 0", "VODUDED", "LPM", 3, 0, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    lwem_facility *f = lwemfaa(ctx_, nullptr, c.product, c.facility, c.internal, c.fatal);
    EXPECT_EQ(f != nullptr, c.ok);
    if (f) {
      EXPECT_STREQ(f->facility, c.facility);
      EXPECT_STREQ(f->product, c.product);
    }
    lwemfaf(ctx_, f);
  }
}

// A facility may go before its records: they hold copies of its names.
TEST_F(Store, RecordsOutliveTheirFacility) {
  lwem_facility *f = lwemfaa(ctx_, nullptr, "VODUDED", "LSF", 500, 501);
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(lwemrec(ctx_, f, 8, nullptr, 0, 3, LSFEND), 0);
  lwemfaf(ctx_, f);
  char buf[10];
  EXPECT_EQ(lwemgef(ctx_, 1, buf, sizeof buf), 4);
  EXPECT_STREQ(buf, "LSF");
}

TEST_F(Store, DeletingKeepsCreationDepths) {
  push(1);
  push(2);
  push(3);
  lwemdec(ctx_, 2);
  EXPECT_EQ(numbers(), (V{3, 1}));
  EXPECT_EQ(lwemged(ctx_), 3u);
  EXPECT_EQ(lwemgne(ctx_, 3), nullptr);
  EXPECT_EQ(ctx_->store->count, 2);
  lwemces(ctx_);
  EXPECT_EQ(lwemged(ctx_), 0u);
  EXPECT_EQ(ctx_->store->count, 0);
}

TEST_F(Store, BarriersLimitPositiveIndexes) {
  push(1);
  lwembas(ctx_);
  push(2);
  EXPECT_EQ(lwemvep(ctx_, 2), 0);
  EXPECT_EQ(lwemgec(ctx_, 2), 1);
  lwembas(ctx_);
  push(3);
  EXPECT_EQ(lwemvep(ctx_, 2), 0);
  EXPECT_EQ(lwemvep(ctx_, 3), -1);
  EXPECT_EQ(lwemgne(ctx_, 3), nullptr);
  EXPECT_EQ(lwemgec(ctx_, -3), 1);
  // Dropping the inner barrier shows record 1 again.
  lwembar(ctx_);
  EXPECT_EQ(lwemvep(ctx_, 3), 0);
}

TEST_F(Store, BarrierSetAndDroppedLeavesLevelsAsTheyWere) {
  push(1);
  push(2);
  lwembas(ctx_);
  push(3);
  std::vector<std::pair<unsigned, unsigned>> before;
  for (int i = 1; i <= 3; i++) before.push_back({lwemgne(ctx_, -i)->base, lwemgne(ctx_, -i)->barrier});
  lwembas(ctx_);
  lwembar(ctx_);
  for (int i = 1; i <= 3; i++) {
    SCOPED_TRACE(i);
    EXPECT_EQ(lwemgne(ctx_, -i)->base, before[size_t(i - 1)].first);
    EXPECT_EQ(lwemgne(ctx_, -i)->barrier, before[size_t(i - 1)].second);
  }
  lwembar(ctx_);
  for (int i = 1; i <= 3; i++) {
    EXPECT_EQ(lwemgne(ctx_, -i)->base, 0u);
    EXPECT_EQ(lwemgne(ctx_, -i)->barrier, 0u);
  }
}

TEST_F(Store, DeleteToMark) {
  // Marks on R2 and R4: R5 and R4 go.
  for (int i = 1; i <= 5; i++) {
    push(i);
    if (i == 2 || i == 4) lwemmrk(ctx_);
  }
  EXPECT_EQ(lwemimk(ctx_, 2), 1);
  EXPECT_EQ(lwemimk(ctx_, 1), 0);
  lwemdtm(ctx_);
  EXPECT_EQ(numbers(), (V{3, 2, 1}));
  lwemces(ctx_);

  // No mark, a barrier set while R3 was the newest: R5 and R4 go.
  for (int i = 1; i <= 5; i++) {
    push(i);
    if (i == 3) lwembas(ctx_);
  }
  lwemdtm(ctx_);
  EXPECT_EQ(numbers(), (V{3, 2, 1}));
  lwemces(ctx_);

  // No mark, no barrier: everything goes.
  push(1);
  push(2);
  lwemdtm(ctx_);
  EXPECT_EQ(numbers(), V{});
}

TEST_F(Store, ClearMarkTakesTheNewestMarked) {
  push(1);
  lwemmrk(ctx_);
  push(2);
  lwemmrk(ctx_);
  push(3);
  lwemcmk(ctx_);
  EXPECT_EQ(lwemimk(ctx_, 2), 0);
  EXPECT_EQ(lwemimk(ctx_, 3), 1);
  lwemnmk(ctx_, 1);
  EXPECT_EQ(lwemimk(ctx_, 1), 1);
  EXPECT_EQ(lwemimk(ctx_, 4), -1);
}

// The mark protocol: each service keeps a flag, marks its first own record,
// adopts a callee's mark when it has none yet and clears it otherwise. One
// mark per outermost call remains, and deleting back to it removes exactly
// that call's records.
struct Service {
  lwem_ctx *ctx;
  lwem_facility *fac;

  void record(int *flag, int n) {
    int32_t v = n;
    if (lwemrec(ctx, fac, n, nullptr, 0, 3, LSFSB4, &v, LSFEND) == 0 && *flag == 0) {
      lwemmrk(ctx);
      *flag = 1;
    }
  }
  void after_callee(int *flag, unsigned before) {
    if (lwemged(ctx) <= before) return;
    if (*flag == 0)
      *flag = 1;
    else
      lwemcmk(ctx);
  }
  void inner(int n) {
    int flag = 0;
    record(&flag, n);
    record(&flag, n + 1);
  }
  void middle(int n, bool own_first) {
    int flag = 0;
    if (own_first) record(&flag, n);
    unsigned d = lwemged(ctx);
    inner(n + 10);
    after_callee(&flag, d);
    record(&flag, n + 1);
  }
  void outer(bool own_first) {
    int flag = 0;
    if (own_first) record(&flag, 100);
    unsigned d = lwemged(ctx);
    middle(200, own_first);
    after_callee(&flag, d);
    d = lwemged(ctx);
    inner(300);
    after_callee(&flag, d);
  }
};

TEST_F(Store, MarkProtocolThroughNestedCalls) {
  Service s{ctx_, fac_};
  for (bool own_first : {true, false}) {
    SCOPED_TRACE(own_first);
    push(1);
    lwemmrk(ctx_);  // an earlier call's mark
    push(2);
    s.outer(own_first);
    int marks = 0;
    for (int i = 1; lwemget(ctx_, -i) != LWEM_KIND_NONE; i++) marks += lwemimk(ctx_, -i);
    EXPECT_EQ(marks, 2);  // the earlier call's and this call's
    lwemdtm(ctx_);
    EXPECT_EQ(numbers(), (V{2, 1}));
    lwemces(ctx_);
  }
}

// Two threads record alternately: each sees only its own records, depths
// 1, 2, 3, and deletes only its own.
TEST_F(Store, TwoThreadsRecordingAlternately) {
  std::binary_semaphore turn_a(1), turn_b(0);
  std::vector<unsigned> depth_a, depth_b;
  std::vector<int> seen_a, seen_b;
  auto run = [&](std::binary_semaphore &mine, std::binary_semaphore &other, int base,
                 std::vector<unsigned> &depths, std::vector<int> &seen) {
    for (int i = 1; i <= 3; i++) {
      mine.acquire();
      int32_t v = base + i;
      lwemrec(ctx_, fac_, base + i, nullptr, 0, 3, LSFSB4, &v, LSFEND);
      depths.push_back(lwemged(ctx_));
      other.release();
    }
    mine.acquire();
    for (int i = 1; lwemget(ctx_, -i) != LWEM_KIND_NONE; i++) seen.push_back(lwemgec(ctx_, -i));
    lwemces(ctx_);
    other.release();
  };
  std::thread a([&] { run(turn_a, turn_b, 10, depth_a, seen_a); });
  std::thread b([&] { run(turn_b, turn_a, 20, depth_b, seen_b); });
  a.join();
  b.join();
  EXPECT_EQ(depth_a, (std::vector<unsigned>{1, 2, 3}));
  EXPECT_EQ(depth_b, (std::vector<unsigned>{1, 2, 3}));
  EXPECT_EQ(seen_a, (V{13, 12, 11}));
  EXPECT_EQ(seen_b, (V{23, 22, 21}));
  EXPECT_EQ(ctx_->store->count, 0);
}

TEST_F(Store, OtherThreadsRecordsAreNotTouched) {
  push(1);
  std::thread t([&] {
    EXPECT_EQ(lwemged(ctx_), 0u);
    EXPECT_EQ(lwemget(ctx_, 1), LWEM_KIND_NONE);
    lwemces(ctx_);
    lwemdtm(ctx_);
  });
  t.join();
  EXPECT_EQ(numbers(), V{1});
}

TEST_F(Store, LanguageNameAndCode) {
  char buf[40];
  EXPECT_EQ(lwemgfl(ctx_, buf, sizeof buf), 26);
  EXPECT_STREQ(buf, "AMERICAN_AMERICA.US7ASCII");
  EXPECT_EQ(lwemgfl(ctx_, buf, 9), 9);
  EXPECT_STREQ(buf, "AMERICAN");
  lwemcln(ctx_, "US\0\0");
  std::memset(buf, 'x', sizeof buf);
  EXPECT_EQ(lwemgin(ctx_, buf, sizeof buf), 2);
  EXPECT_STREQ(buf, "US");
  lwemcln(ctx_, "ABCD");  // four bytes, no terminator
  EXPECT_EQ(lwemgin(ctx_, buf, 4), 4);
  EXPECT_EQ(std::memcmp(buf, "ABCD", 4), 0);
}

TEST(StoreBare, WithoutLanguageNameOrNls) {
  lwem_ctx *ctx = lwemist(nullptr, nullptr, 0);
  ASSERT_NE(ctx, nullptr);
  char buf[8] = "keep";
  EXPECT_EQ(lwemgfl(ctx, buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "keep");
  lwem_facility *f = lwemfaa(ctx, nullptr, "VODUDED", "LPM", 3, 4);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(lwemrec(ctx, f, 6, nullptr, 0, 3, LSFTXTP, "lpmpali().", LSFEND), 0);
  EXPECT_EQ(lwemged(ctx), 1u);
  lwemfaf(ctx, f);
  EXPECT_EQ(lwemdst(ctx), 0);
}

TEST(StoreMutex, OwnerPassesThrough) {
  slts_ctx *thr = sltsini();
  slts_mutex m;
  slts_tid owner;
  ASSERT_EQ(lwemmxi(thr, &m, &owner), 0);
  int outer = lwemmxa(thr, &m, &owner);
  EXPECT_EQ(outer, 1);
  EXPECT_EQ(lwemmxa(thr, &m, &owner), 0);  // no second lock: would deadlock otherwise
  lwemmxr(thr, &m, &owner, 0);
  std::thread t([&] {
    EXPECT_EQ(sltsmnt(thr, &m), -1);  // still held by the outer acquire
  });
  t.join();
  lwemmxr(thr, &m, &owner, outer);
  std::thread u([&] {
    EXPECT_EQ(sltsmnt(thr, &m), 0);
    sltsmnr(thr, &m);
  });
  u.join();
  sltsmxd(thr, &m);
  sltstiddestroy(thr, &owner);
  sltster(thr);
}

}  // namespace
