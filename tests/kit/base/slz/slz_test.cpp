#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include <gtest/gtest.h>

#include "slz.h"

namespace {

// Variable names unique to this process, so the tests do not meet anything
// else in the environment.
std::string var(const char* tag) {
  return "QSLZ" + std::to_string(getpid()) + "_" + tag;
}

struct Got {
  int rc;
  int32_t code;
  std::string value;
};

Got get(const std::string& name, size_t buflen, uint32_t flags = 0) {
  sl_status st;
  memset(&st, 0x55, sizeof st);
  std::string buf(buflen + 4, '#');
  int rc = slzgetevar(&st, name.data(), name.size(), buf.data(), buflen, flags);
  Got g{rc, st.code, {}};
  if (rc > 0) {
    g.value = buf.substr(0, static_cast<size_t>(rc));
    EXPECT_EQ(buf[static_cast<size_t>(rc)], '#') << "no terminator is written";
  }
  return g;
}

}  // namespace

TEST(Slzgetevar, ValuesAndErrors) {
  const std::string abc = var("ABC"), abcd = var("ABCD"), empty = var("EMPTY"),
                    unset = var("UNSET"), big = var("BIG"), max = var("MAX");
  setenv(abc.c_str(), "abc", 1);
  setenv(abcd.c_str(), "abcd", 1);
  setenv(empty.c_str(), "", 1);
  unsetenv(unset.c_str());
  setenv(big.c_str(), std::string(1024, 'v').c_str(), 1);
  setenv(max.c_str(), std::string(1023, 'm').c_str(), 1);

  struct Case {
    std::string name;
    size_t buflen;
    int rc;
    int32_t code;
    std::string value;
  } cases[] = {
      {abc, 3, 3, 0, "abc"},  // exactly fits, no terminator
      {abc, 100, 3, 0, "abc"},
      {abcd, 3, -2, SL_STATUS_TOOLONG, ""},
      {empty, 10, -1, SL_STATUS_UNSET, ""},
      {unset, 10, -1, SL_STATUS_UNSET, ""},
      {big, 2000, -2, SL_STATUS_TOOLONG, ""},
      {max, 2000, 1023, 0, std::string(1023, 'm')},
  };
  for (const Case& c : cases) {
    Got g = get(c.name, c.buflen);
    EXPECT_EQ(g.rc, c.rc) << c.name << " / " << c.buflen;
    EXPECT_EQ(g.code, c.code) << c.name;
    EXPECT_EQ(g.value, c.value) << c.name;
  }
}

TEST(Slzgetevar, BadArguments) {
  const std::string name = var("ARGS");
  setenv(name.c_str(), "x", 1);
  char buf[8];
  sl_status st;
  EXPECT_EQ(slzgetevar(nullptr, name.data(), name.size(), buf, sizeof buf, 0), -2);

  struct Case {
    const char* name;
    size_t namelen;
    char* buf;
    size_t buflen;
    int32_t code;
  } cases[] = {
      {nullptr, 3, buf, sizeof buf, SL_STATUS_BADARG},
      {"", 0, buf, sizeof buf, SL_STATUS_BADARG},
      {name.c_str(), 0, buf, sizeof buf, SL_STATUS_BADARG},
      {name.c_str(), name.size(), nullptr, sizeof buf, SL_STATUS_BADARG},
      {name.c_str(), name.size(), buf, 0, SL_STATUS_BADARG},
  };
  for (const Case& c : cases) {
    memset(&st, 0x55, sizeof st);
    EXPECT_EQ(slzgetevar(&st, c.name, c.namelen, c.buf, c.buflen, 0), -2);
    EXPECT_EQ(st.code, c.code);
  }
}

TEST(Slzgetevar, NameLengthLimit) {
  // 31 characters is the longest name; the name is taken by its length, not
  // up to a NUL.
  std::string n31 = var("");
  n31 += std::string(31 - n31.size(), 'N');
  ASSERT_EQ(n31.size(), 31u);
  setenv(n31.c_str(), "ok", 1);
  Got g = get(n31, 8);
  EXPECT_EQ(g.rc, 2);
  EXPECT_EQ(g.value, "ok");

  std::string n32 = n31 + "X";
  setenv(n32.c_str(), "no", 1);
  g = get(n32, 8);
  EXPECT_EQ(g.rc, -2);
  EXPECT_EQ(g.code, SL_STATUS_TOOLONG);

  sl_status st;
  char buf[8];
  std::string withtail = n31 + "TAIL";
  EXPECT_EQ(slzgetevar(&st, withtail.data(), 31, buf, sizeof buf, 0), 2);
}

TEST(Slzgetevar, Indirection) {
  const std::string x = var("X"), y = var("Y"), z = var("Z");
  setenv(x.c_str(), y.c_str(), 1);
  setenv(y.c_str(), z.c_str(), 1);
  unsetenv(z.c_str());

  Got g = get(x, 64, SLZ_INDIRECT);
  EXPECT_EQ(g.rc, static_cast<int>(z.size()));
  EXPECT_EQ(g.value, z);  // the last name, which is not set
  g = get(x, 64, 0);
  EXPECT_EQ(g.value, y);  // without the flag the value is taken as it is

  setenv(z.c_str(), "end", 1);
  EXPECT_EQ(get(x, 64, SLZ_INDIRECT).value, "end");

  // A miss on the first lookup is the only unset error.
  g = get(var("NOPE"), 64, SLZ_INDIRECT);
  EXPECT_EQ(g.rc, -1);
  EXPECT_EQ(g.code, SL_STATUS_UNSET);

  // A chain into an empty value ends empty.
  setenv(z.c_str(), "", 1);
  g = get(x, 64, SLZ_INDIRECT);
  EXPECT_EQ(g.rc, -1);
  EXPECT_EQ(g.code, SL_STATUS_UNSET);
}

TEST(Slzgetevar, IndirectionLimit) {
  // A cycle never ends by itself.
  const std::string a = var("CA"), b = var("CB");
  setenv(a.c_str(), b.c_str(), 1);
  setenv(b.c_str(), a.c_str(), 1);
  Got g = get(a, 64, SLZ_INDIRECT);
  EXPECT_EQ(g.rc, -2);
  EXPECT_EQ(g.code, SL_STATUS_BADARG);

  // 255 indirections are followed, 256 are too many.
  auto link = [](int i) { return var(("L" + std::to_string(i)).c_str()); };
  for (int i = 0; i < 256; ++i) setenv(link(i).c_str(), link(i + 1).c_str(), 1);
  unsetenv(link(256).c_str());
  setenv(link(256).c_str(), "last", 1);  // reached after 256 indirections from L0
  g = get(link(0), 64, SLZ_INDIRECT);
  EXPECT_EQ(g.rc, -2);
  EXPECT_EQ(g.code, SL_STATUS_BADARG);
  g = get(link(1), 64, SLZ_INDIRECT);  // 255 indirections
  EXPECT_EQ(g.value, "last");
  for (int i = 0; i <= 256; ++i) unsetenv(link(i).c_str());
}

TEST(Slzsetevar, SetsReplacesAndEmpties) {
  const std::string name = var("SET");
  sl_status st;
  memset(&st, 0x55, sizeof st);
  const char value[] = "one-and-more";
  EXPECT_EQ(slzsetevar(&st, name.data(), name.size(), value, 3), 1);
  EXPECT_EQ(st.code, 0);
  EXPECT_STREQ(getenv(name.c_str()), "one");

  EXPECT_EQ(slzsetevar(&st, name.data(), name.size(), "two", 3), 1);
  EXPECT_STREQ(getenv(name.c_str()), "two");

  EXPECT_EQ(slzsetevar(&st, name.data(), name.size(), nullptr, 5), 1);
  ASSERT_NE(getenv(name.c_str()), nullptr);
  EXPECT_STREQ(getenv(name.c_str()), "");

  // Only namelen bytes of the name count.
  std::string longer = name + "EXTRA";
  EXPECT_EQ(slzsetevar(&st, longer.data(), name.size(), "three", 5), 1);
  EXPECT_STREQ(getenv(name.c_str()), "three");
  EXPECT_EQ(getenv(longer.c_str()), nullptr);
}

TEST(Slzsetevar, RefusesBadNames) {
  sl_status st;
  for (const char* name : {"", "A=B"}) {
    memset(&st, 0x55, sizeof st);
    EXPECT_EQ(slzsetevar(&st, name, strlen(name), "v", 1), 0) << name;
    EXPECT_EQ(st.code, SL_STATUS_BADARG);
  }
  EXPECT_EQ(slzsetevar(&st, nullptr, 3, "v", 1), 0);
  EXPECT_EQ(st.code, SL_STATUS_BADARG);
}

TEST(Slzerrstr, SystemTextCutAndUnknown) {
  char buf[256];
  EXPECT_EQ(slzerrstr(EACCES, buf, sizeof buf), buf);
  EXPECT_STREQ(buf, strerror(EACCES));

  char small[6];
  memset(small, '#', sizeof small);
  EXPECT_EQ(slzerrstr(EACCES, small, 4), small);
  EXPECT_EQ(std::string(small), std::string(strerror(EACCES)).substr(0, 3));
  EXPECT_EQ(small[4], '#');

  EXPECT_EQ(slzerrstr(-1, buf, sizeof buf), nullptr);
  EXPECT_EQ(slzerrstr(99999, buf, sizeof buf), nullptr);
  EXPECT_EQ(slzerrstr(EACCES, buf, 0), nullptr);
}
