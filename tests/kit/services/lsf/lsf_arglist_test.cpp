#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "lem.h"
#include "lml.h"
#include "lpm.h"
#include "lsf.h"
#include "lxo.h"

namespace {

// Counts the live allocations of a memory handle, so that tests can see
// every copy released.
struct Counter {
  long live = 0;
};

void *count_alloc(void *user, size_t size) {
  static_cast<Counter *>(user)->live++;
  return std::malloc(size);
}

void count_free(void *user, void *p) {
  static_cast<Counter *>(user)->live--;
  std::free(p);
}

// An error-store context whose process block carries a counting handle; the
// list layer takes its memory from there.
class ArgList : public ::testing::Test {
 protected:
  void SetUp() override {
    mem_ = lmlinit(&counter_, count_alloc, count_free);
    ASSERT_NE(mem_, nullptr);
    base_ = counter_.live;  // the handle record itself
    block_.mem = mem_;
    errs_.block = &block_;
  }
  void TearDown() override {
    EXPECT_EQ(counter_.live, base_) << "list memory not released";
    lmlterm(mem_);
  }

  lsf_arglist *build(int *status, ...) {
    va_list ap;
    va_start(ap, status);
    lsf_arglist *l = lwsfdlv(&errs_, &env_, status, ap);
    va_end(ap);
    return l;
  }
  lsf_arglist *insert(lsf_arglist *l, int pos, int *status, ...) {
    va_list ap;
    va_start(ap, status);
    lsf_arglist *r = lwsfdiv(&errs_, &env_, l, pos, status, ap);
    va_end(ap);
    return r;
  }
  // A list of N text arguments "t", the last of them `last`.
  template <size_t N>
  lsf_arglist *build_texts(int *status, const char *last = "t") {
    return [&]<size_t... I>(std::index_sequence<I...>) {
      return std::apply([&](auto... a) { return build(status, a..., LSFEND); },
                        std::tuple_cat(std::make_tuple(LSFTXTP, I + 1 < N ? "t" : last)...));
    }(std::make_index_sequence<N>{});
  }
  void drop(lsf_arglist *l) {
    int st = LSFST_OK;
    ASSERT_EQ(lwsfdrm(&errs_, &env_, l, &st), 0);
  }
  int64_t val(lsf_arglist *l, int n) {
    int st = LSFST_OK;
    int64_t v = lwsfdval(l->entries, n, &st);
    EXPECT_EQ(st, LSFST_OK);
    return v;
  }

  Counter counter_;
  long base_ = 0;
  lml_ctx *mem_ = nullptr;
  lpm_meta block_{};
  lwem_ctx errs_{};
  lsf_env env_{};
};

TEST_F(ArgList, EndAloneGivesEmptyList) {
  int st = LSFST_OK;
  lsf_arglist *l = build(&st, LSFEND);
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(st, LSFST_OK);
  EXPECT_EQ(lwsfdcnt(l), 0);
  EXPECT_EQ(l->entries[0].type, LSFEND);
  drop(l);
}

void some_function() {}

// Every accepted code, with doubles and 64-bit integers interleaved with
// smaller arguments so that each is read by its own type.
TEST_F(ArgList, EveryTypeCodeKeepsItsValue) {
  uint8_t ub1 = 200;
  uint16_t ub2 = 60000;
  uint32_t ub4 = 4000000000u;
  int8_t sb1 = -5;
  int16_t sb2 = -300;
  int32_t sb4 = -70000;
  int8_t eb1 = -1;
  int16_t eb2 = -2;
  int32_t eb4 = -3;
  unsigned uw = 0xFFFFFFF0u;
  int sw = -9;
  int ew = 17;
  size_t sz = 123456;
  float f = 1.5f;
  double d = 2.25;
  char c = 'x';
  int dummy = 0;
  uint64_t buflen = 4;
  int64_t bigbuflen = 3;
  uint64_t txtlen = 10;
  uint64_t cols = 2;
  int64_t bigtxtlen = 5;
  int64_t big = -(int64_t(1) << 40);
  uint64_t ubig = uint64_t(1) << 63;
  int64_t sb8 = (int64_t(1) << 32) + 5;
  uint64_t ub8 = (uint64_t(7) << 32) | 0xFFFFFFFFu;
  unsigned char number[3] = {0xC1, 2, 0};

  int st = LSFST_OK;
  lsf_arglist *l = build(&st, LSFIVALUE, int64_t(-(int64_t(1) << 35)), LSFFVALUE, 3.75,
                         LSFUB1, &ub1, LSFUB2, &ub2, LSFUB4, &ub4, LSFSB1, &sb1, LSFSB2, &sb2,
                         LSFSB4, &sb4, LSFEB1, &eb1, LSFEB2, &eb2, LSFEB4, &eb4, LSFUWORD, &uw,
                         LSFSWORD, &sw, LSFEWORD, &ew, LSFSIZET, &sz, LSFFLTP, &f, LSFDBLP, &d,
                         LSFTXT, &c, LSFDVOID, static_cast<void *>(&dummy), LSFTXTP, "hello",
                         LSFBUFLN, "ab\0cd", &buflen, LSFBIGBUFLN, "xyz", &bigbuflen, LSFTXTLN,
                         "abc", &txtlen, LSFTXTDP, "wxyz", &cols, LSFBIGTXTLN, "12345678",
                         &bigtxtlen, LSFFUNCP, &some_function, LSFSBIG_ZUR, &big, LSFUBIG_ZUR,
                         &ubig, LSFSB8, &sb8, LSFUB8, &ub8, LSFEND);
  ASSERT_NE(l, nullptr) << "status " << st;
  ASSERT_EQ(lwsfdcnt(l), 30);

  struct Want {
    int type;
    int64_t value;
  };
  const Want want[] = {
      {LSFIVALUE, -(int64_t(1) << 35)},
      {LSFFVALUE, 0},
      {LSFUB1, 200},
      {LSFUB2, 60000},
      {LSFUB4, 4000000000},
      {LSFSB1, -5},
      {LSFSB2, -300},
      {LSFSB4, -70000},
      {LSFEB1, -1},
      {LSFEB2, -2},
      {LSFEB4, -3},
      {LSFUWORD, 0xFFFFFFF0},
      {LSFSWORD, -9},
      {LSFEWORD, 17},
      {LSFSIZET, 123456},
      {LSFFLOAT, 0},
      {LSFDOUBLE, 0},
      {LSFTXT, 'x'},
      {LSFDVOID, 0},
      {LSFTXTP, 0},
      {LSFBUFLN, 0},
      {LSFBIGBUFLN, 0},
      {LSFTXTLN, 0},
      {LSFTXTDP, 0},
      {LSFBIGTXTLN, 0},
      {LSFFUNCP, 0},
      {LSFSBIG_ZUR, -(int64_t(1) << 40)},
      {LSFUBIG_ZUR, int64_t(uint64_t(1) << 63)},
      {LSFSB8, 5},
      {LSFUB8, 0xFFFFFFFF},
  };
  for (int i = 0; i < 30; i++) {
    SCOPED_TRACE(i + 1);
    EXPECT_EQ(l->entries[i].type, want[i].type);
    EXPECT_EQ(val(l, i + 1), want[i].value);
  }
  const lsf_entry *e = l->entries;
  EXPECT_EQ(e[1].value.dbl, 3.75);
  EXPECT_EQ(e[15].value.flt, 1.5f);
  EXPECT_EQ(e[16].value.dbl, 2.25);
  EXPECT_EQ(e[18].value.ptr, &dummy);
  EXPECT_STREQ(static_cast<const char *>(e[19].value.ptr), "hello");
  EXPECT_EQ(e[19].length, 6u);
  EXPECT_EQ(e[20].length, 4u);
  EXPECT_EQ(std::memcmp(e[20].value.ptr, "ab\0c", 4), 0);  // four bytes and a NUL
  EXPECT_EQ(static_cast<const char *>(e[20].value.ptr)[4], 0);
  EXPECT_STREQ(static_cast<const char *>(e[21].value.ptr), "xyz");
  EXPECT_STREQ(static_cast<const char *>(e[22].value.ptr), "abc");
  EXPECT_EQ(e[22].length, 3u);
  EXPECT_STREQ(static_cast<const char *>(e[23].value.ptr), "wx");
  EXPECT_EQ(e[23].length, 2u);
  EXPECT_EQ(e[24].length, 5u);
  EXPECT_EQ(std::memcmp(e[24].value.ptr, "12345", 5), 0);
  EXPECT_EQ(e[25].value.fn, &some_function);
  EXPECT_EQ(e[29].value.u64, ub8);
  EXPECT_EQ(e[30].type, LSFEND);
  drop(l);

  // LSFORANUM reads the number's first byte.
  l = build(&st, LSFORANUM, static_cast<void *>(number), 3, LSFEND);
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->entries[0].value.ptr, number);
  EXPECT_EQ(l->entries[0].length, 3u);
  EXPECT_EQ(val(l, 1), 0xC1);
  drop(l);
}

TEST_F(ArgList, ValuesPassedByPointerAreCopiedAtBuild) {
  int32_t v = 1;
  char text[] = "abc";
  int st = LSFST_OK;
  lsf_arglist *l = build(&st, LSFSB4, &v, LSFTXTP, text, LSFEND);
  ASSERT_NE(l, nullptr);
  v = 2;
  text[0] = 'z';
  EXPECT_EQ(val(l, 1), 1);
  EXPECT_STREQ(static_cast<const char *>(l->entries[1].value.ptr), "abc");
  drop(l);
}

TEST_F(ArgList, ThirtyArgumentsBuildThirtyOneAreRefusedAndReleased) {
  int st = LSFST_OK;
  lsf_arglist *l = build_texts<30>(&st);
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(lwsfdcnt(l), 30);
  drop(l);

  long before = counter_.live;
  l = build_texts<31>(&st);
  EXPECT_EQ(l, nullptr);
  EXPECT_EQ(st, LSFST_TOOMANY);
  EXPECT_EQ(counter_.live, before);
}

// A build that fails part-way releases the copies made before the failure.
TEST_F(ArgList, FailedBuildReleasesEarlierCopies) {
  int64_t neg = -1;
  struct Case {
    const char *what;
    int code;
    int status;
  };
  const Case cases[] = {{"code 18", 18, LSFST_BADTYPE},
                        {"code 42", 42, LSFST_BADTYPE},
                        {"code 16", LSFFLOAT, LSFST_BADTYPE},
                        {"code 38", LSFBAD, LSFST_BADTYPE}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    int st = LSFST_OK;
    EXPECT_EQ(build(&st, LSFTXTP, "one", LSFTXTP, "two", c.code, 0, LSFEND), nullptr);
    EXPECT_EQ(st, c.status);
    EXPECT_EQ(counter_.live, base_);
  }
  int st = LSFST_OK;
  EXPECT_EQ(build(&st, LSFTXTP, "one", LSFBIGBUFLN, "x", &neg, LSFEND), nullptr);
  EXPECT_EQ(st, LSFST_NEGLEN);
  EXPECT_EQ(build(&st, LSFTXTP, "one", LSFBIGTXTLN, "x", &neg, LSFEND), nullptr);
  EXPECT_EQ(st, LSFST_NEGLEN);
  EXPECT_EQ(counter_.live, base_);
}

TEST_F(ArgList, ReaderReportsWhatItRead) {
  int32_t a = 1, b = 2;
  lsf_entry buf[4];
  int st = LSFST_OK, count = -1;
  auto read = [&](int max, ...) {
    va_list ap;
    va_start(ap, max);
    int r = lwsfdsev(&errs_, &env_, buf, &st, max, &count, ap);
    va_end(ap);
    return r;
  };
  EXPECT_EQ(read(4, LSFSB4, &a, LSFUB4, &b, LSFEND), 0);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(buf[2].type, LSFEND);
  EXPECT_EQ(read(1, LSFUB4, &b, LSFEND), LSFUB4);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(read(4, LSFSB4, &a, 18, LSFEND), LSFBAD);
  EXPECT_EQ(st, LSFST_BADTYPE);
  EXPECT_EQ(buf[1].type, LSFBAD);
}

TEST_F(ArgList, TextLengthCodes) {
  uint64_t ten = 10, zero = 0;
  int64_t szero = 0, big = 10;
  int st = LSFST_OK;
  lsf_arglist *l = build(&st, LSFTXTLN, "abc", &ten, LSFTXTLN, "abc", &zero, LSFBUFLN, "abc",
                         &zero, LSFBIGBUFLN, "abc", &szero, LSFBIGDPTXT, "abc", &big, LSFTXTDP,
                         "abc", &zero, LSFBIGTXTLN, static_cast<const char *>(nullptr), &szero,
                         LSFEND);
  ASSERT_NE(l, nullptr);
  const lsf_entry *e = l->entries;
  EXPECT_STREQ(static_cast<const char *>(e[0].value.ptr), "abc");
  EXPECT_EQ(e[0].length, 3u);
  EXPECT_EQ(e[1].value.ptr, nullptr);
  EXPECT_EQ(e[1].length, 0u);
  EXPECT_EQ(e[2].value.ptr, nullptr);
  ASSERT_NE(e[3].value.ptr, nullptr);  // one byte, the NUL
  EXPECT_EQ(static_cast<const char *>(e[3].value.ptr)[0], 0);
  EXPECT_EQ(e[3].length, 0u);
  EXPECT_EQ(e[4].length, 3u);  // cut at the NUL, no terminator kept
  EXPECT_EQ(std::memcmp(e[4].value.ptr, "abc", 3), 0);
  EXPECT_EQ(e[5].value.ptr, nullptr);
  EXPECT_EQ(e[6].type, LSFBIGTXTLN);  // no text: no copy, length 0
  EXPECT_EQ(e[6].value.ptr, nullptr);
  EXPECT_EQ(e[6].length, 0u);
  drop(l);
}

TEST_F(ArgList, InsertionPlacesTheArgument) {
  int32_t a = 1, b = 2, c = 3, x = 99;
  struct Case {
    int position;
    int becomes;
  };
  const Case cases[] = {{0, 1}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {9, 4}, {-1, 4}};
  for (const Case &k : cases) {
    SCOPED_TRACE(k.position);
    int st = LSFST_OK;
    lsf_arglist *l = build(&st, LSFSB4, &a, LSFSB4, &b, LSFSB4, &c, LSFEND);
    ASSERT_NE(l, nullptr);
    ASSERT_EQ(insert(l, k.position, &st, LSFTXTP, "new", LSFEND), l);
    ASSERT_EQ(lwsfdcnt(l), 4);
    EXPECT_EQ(l->entries[k.becomes - 1].type, LSFTXTP);
    EXPECT_STREQ(static_cast<const char *>(l->entries[k.becomes - 1].value.ptr), "new");
    int64_t rest[3];
    int j = 0;
    for (int i = 1; i <= 4; i++)
      if (i != k.becomes) rest[j++] = val(l, i);
    EXPECT_EQ(rest[0], 1);
    EXPECT_EQ(rest[1], 2);
    EXPECT_EQ(rest[2], 3);
    EXPECT_EQ(l->entries[4].type, LSFEND);
    drop(l);
  }
  int st = LSFST_OK;
  lsf_arglist *l = build(&st, LSFEND);
  ASSERT_EQ(insert(l, 5, &st, LSFSB4, &x, LSFEND), l);
  EXPECT_EQ(lwsfdcnt(l), 1);
  EXPECT_EQ(val(l, 1), 99);
  drop(l);
}

TEST_F(ArgList, InsertionRefusals) {
  int32_t a = 1;
  int st = LSFST_OK;
  lsf_arglist *l = build(&st, LSFSB4, &a, LSFEND);
  ASSERT_NE(l, nullptr);
  lsf_entry *old = l->entries;

  st = LSFST_OK;
  EXPECT_EQ(insert(l, -2, &st, LSFSB4, &a, LSFEND), nullptr);
  EXPECT_EQ(st, LSFST_BADPOS);
  st = LSFST_OK;
  EXPECT_EQ(insert(l, 0, &st, LSFEND), nullptr);
  EXPECT_EQ(st, LSFST_ENDINSERT);
  st = LSFST_OK;
  EXPECT_EQ(insert(nullptr, 0, &st, LSFSB4, &a, LSFEND), nullptr);
  EXPECT_EQ(st, LSFST_NOLIST);
  st = LSFST_OK;
  EXPECT_EQ(insert(l, 0, &st, 42, LSFEND), nullptr);
  EXPECT_EQ(st, LSFST_BADTYPE);
  EXPECT_EQ(l->entries, old);
  EXPECT_EQ(lwsfdcnt(l), 1);
  drop(l);
}

TEST_F(ArgList, InsertionIntoAFullListKeepsIt) {
  int st = LSFST_OK;
  lsf_arglist *l = build_texts<30>(&st, "last");
  ASSERT_NE(l, nullptr);
  long before = counter_.live;
  EXPECT_EQ(insert(l, 0, &st, LSFTXTP, "extra", LSFEND), nullptr);
  EXPECT_EQ(st, LSFST_TOOMANY);
  EXPECT_EQ(counter_.live, before);
  EXPECT_EQ(lwsfdcnt(l), 30);
  EXPECT_STREQ(static_cast<const char *>(l->entries[29].value.ptr), "last");
  drop(l);
}

TEST_F(ArgList, QueriesAndReleaseErrors) {
  int st = LSFST_OK;
  lsf_entry e{};
  EXPECT_EQ(lwsfdval(&e, 0, &st), 0);
  EXPECT_EQ(st, LSFST_ARGZERO);

  st = LSFST_OK;
  EXPECT_EQ(lwsfdrm(&errs_, &env_, nullptr, &st), -17);
  EXPECT_EQ(st, LSFST_NOLIST);

  e.type = 18;
  st = LSFST_OK;
  EXPECT_EQ(lwsfder(&errs_, &env_, &e, &st), LSFBAD);
  EXPECT_EQ(st, LSFST_BADTYPE);

  void *o1 = &e, *o2 = &e;
  st = LSFST_OK;
  EXPECT_EQ(lwsfdg(&errs_, &env_, &o1, &o2, &st), LSFBAD);
  EXPECT_EQ(st, LSFST_UNSUPPORTED);
  EXPECT_EQ(o1, nullptr);
  EXPECT_EQ(o2, nullptr);
  EXPECT_EQ(lwsfdcnt(nullptr), 0);
}

TEST_F(ArgList, ListLockAndUnlock) {
  int st = LSFST_OK;
  lsf_arglist *l = build(&st, LSFEND);
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(lwsfdal(nullptr, l), 0);
  EXPECT_EQ(lwsfdrl(nullptr, l), 0);
  drop(l);
}

TEST_F(ArgList, Utf16TextsArriveAsUtf8) {
  // "hé" and U+1F600 as a surrogate pair, in host order, ending with a
  // two-byte NUL.
  const uint16_t text[] = {u'h', 0x00E9, 0xD83D, 0xDE00, 0};
  env_.utf16 = 1;
  int st = LSFST_OK;
  lsf_arglist *l = build(&st, LSFTXTP, text, LSFEND);
  ASSERT_NE(l, nullptr);
  EXPECT_STREQ(static_cast<const char *>(l->entries[0].value.ptr), "h\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(l->entries[0].length, 8u);
  drop(l);
}

TEST_F(ArgList, Utf16LoneSurrogatesBecomeTheReplacement) {
  struct Case {
    std::vector<uint16_t> units;  // without the ending NUL
    const char *utf8;
  };
  const Case cases[] = {
      {{0xD83D, u'a'}, "\xEF\xBF\xBD" "a"},         // high surrogate, no low one
      {{u'a', 0xDE00}, "a\xEF\xBF\xBD"},             // low surrogate alone
      {{0xD83D}, "\xEF\xBF\xBD"},                    // high surrogate at the end
      {{0x07FF, 0x0800, 0xFFFF}, "\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
  };
  env_.utf16 = 1;
  for (const Case &c : cases) {
    std::vector<uint16_t> text = c.units;
    text.push_back(0);
    int st = LSFST_OK;
    lsf_arglist *l = build(&st, LSFTXTP, text.data(), LSFEND);
    ASSERT_NE(l, nullptr);
    EXPECT_STREQ(static_cast<const char *>(l->entries[0].value.ptr), c.utf8);
    EXPECT_EQ(l->entries[0].length, std::strlen(c.utf8) + 1);
    drop(l);
  }
}

TEST(Lxsulen, CountsBytesBeforeTheTwoByteNul) {
  const unsigned char empty[] = {0, 0};
  const unsigned char two[] = {'a', 0, 0, 'b', 0, 0};  // a zero byte inside a unit
  EXPECT_EQ(lxsulen(empty), 0u);
  EXPECT_EQ(lxsulen(two), 4u);
}

}  // namespace
