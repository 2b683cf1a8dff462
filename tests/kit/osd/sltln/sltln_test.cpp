// Logical name translation, the VIRUZE_PATH search and path composition.
// The search list is cached in the client library's data words; every test
// starts from an empty cache.
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sltln.h"
#include "temp_dir.h"
#include "vzclient.h"

namespace {

constexpr char kHome[] = "/u01/app/viruze";

void reset_path_cache() {
  free(slorpath);
  slorpath = nullptr;
  slphinit = 0;
}

struct Result {
  int32_t code;
  std::string out;  // the buffer up to its terminator
  size_t len;
  intptr_t detail0;
};

// Runs sltln over src with a guarded output buffer of dstlen + 1 bytes.
Result translate(const std::string &src, size_t dstlen) {
  sl_status st;
  memset(&st, 0x55, sizeof st);
  std::vector<char> buf(dstlen + 1 + 8, '#');
  size_t len = 12345;
  sltln(&st, src.data(), src.size(), buf.data(), dstlen, &len);
  for (size_t i = dstlen + 1; i < buf.size(); ++i)
    EXPECT_EQ(buf[i], '#') << "written past the buffer for " << src;
  EXPECT_EQ(memchr(buf.data(), '\0', dstlen + 1) != nullptr, true) << "unterminated for " << src;
  return {st.code, std::string(buf.data()), len, st.detail[0]};
}

class Sltln : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_path_cache();
    setenv("VIRUZE_HOME", kHome, 1);
    setenv("VIRUZE_SID", "orcl", 1);
    unsetenv("VIRUZE_PATH");
    setenv("QTLN_V", "val", 1);
    setenv("QTLN_EMPTY", "", 1);
    setenv("QTLNL", "abcdefgh", 1);
    unsetenv("QTLN_UNSET");
    unsetenv("RIVEVAV_TRC");
  }
  void TearDown() override { reset_path_cache(); }
};

TEST_F(Sltln, ExpansionTable) {
  const std::string home = kHome;
  const std::string name32(32, 'N');
  setenv(name32.c_str(), "x", 1);
  const std::string name31(31, 'M');
  setenv(name31.c_str(), "y", 1);
  struct Case {
    std::string src;
    size_t dstlen;
    int32_t code;
    std::string out;
    size_t len;
  } cases[] = {
      {"?/dbs", 512, 0, home + "/dbs", home.size() + 4},
      {"x?y@z", 512, 0, "x" + home + "yorclz", home.size() + 7},
      {"\\?", 512, 0, "?", 1},
      {"a\\@b\\\\", 512, 0, "a@b\\", 4},
      {"tail\\", 512, 0, "tail\\", 5},  // a final backslash stays
      {"$QTLN_V/x", 512, 0, "val/x", 5},
      {"$QTLN_V", 512, 0, "val", 3},
      {"$QTLN_V.log", 512, 0, "val.log", 7},
      {"${QTLN_V}x", 512, 0, "valx", 4},
      {"a${QTLN_V}${QTLN_V}b", 512, 0, "avalvalb", 8},
      {"$QTLN_V?", 512, 0, "val" + home, 3 + home.size()},  // "?" ends the name
      {"$QTLN_V$QTLN_V", 512, 0, "valval", 6},
      {"x}y", 512, 0, "x}y", 3},        // "}" without an open brace
      {"${QTLN_V", 512, 0, "${QTLN_V", 8},  // never closed: kept as written
      {"ab", 512, 0, "ab", 2},
      {std::string("ab\0", 3), 512, 0, "ab", 3},  // a final NUL is ordinary
      {"$" + name31, 512, 0, "y", 1},
      // Unset, empty and unnamed references: the rest of the source stays.
      {"${RIVEVAV_TRC}", 512, SLTLN_ERR_VAR, "${RIVEVAV_TRC}", 0},
      {"a/$QTLN_UNSET/b?", 512, SLTLN_ERR_VAR, "a/$QTLN_UNSET/b?", 0},
      {"a$QTLN_EMPTY", 512, SLTLN_ERR_VAR, "a$QTLN_EMPTY", 0},
      {"a$", 512, SLTLN_ERR_VAR, "a$", 0},
      {"$/x", 512, SLTLN_ERR_VAR, "$/x", 0},
      {"$" + name32, 512, SLTLN_ERR_VAR, "$" + name32, 0},
      {"${" + name32 + "}", 512, SLTLN_ERR_VAR, "${" + name32 + "}", 0},
      // A value that does not fit the rest of the buffer: 7217, the rest of
      // the source cut at the end of the buffer.
      {"ab?cdef", 5, SLTLN_ERR_VAR, "ab?cd", 0},
      {"?", 14, SLTLN_ERR_VAR, "?", 0},
      // Plain characters (a reference's name included) that do not fit: 7204,
      // the output so far.
      {"abcdef", 4, SLTLN_ERR_FULL, "abcd", 0},
      {"$QTLN_V", 2, SLTLN_ERR_FULL, "$Q", 0},
      {"$QTLNL/", 8, SLTLN_ERR_FULL, "abcdefgh", 0},  // the value fits, "/" not
      {"$QTLNL", 8, 0, "abcdefgh", 8},                // exactly fits
      {"?", 15, 0, home, 15},
      // A NUL before the last character.
      {std::string("a\0b", 3), 512, SLTLN_ERR_BADARG, "a", 0},
      {std::string("a\\\0b", 4), 512, SLTLN_ERR_BADARG, "a", 0},
  };
  for (const Case &c : cases) {
    Result r = translate(c.src, c.dstlen);
    EXPECT_EQ(r.code, c.code) << c.src;
    EXPECT_EQ(r.out, c.out) << c.src;
    EXPECT_EQ(r.len, c.len) << c.src;
    if (c.code == SLTLN_ERR_FULL) {
      EXPECT_EQ(r.detail0, static_cast<intptr_t>(c.dstlen)) << c.src;
    } else if (c.code == 0) {
      EXPECT_EQ(r.detail0, 0) << "status cleared on entry: " << c.src;
    }
  }
}

TEST_F(Sltln, EmptyHomeIsUnset) {
  setenv("VIRUZE_HOME", "", 1);
  Result r = translate("?", 512);
  EXPECT_EQ(r.code, SLTLN_ERR_VAR);
  EXPECT_EQ(r.out, "?");
  unsetenv("VIRUZE_HOME");
  r = translate("?/dbs", 512);
  EXPECT_EQ(r.code, SLTLN_ERR_VAR);
  EXPECT_EQ(r.out, "?/dbs");
  EXPECT_EQ(r.len, 0u);
}

TEST_F(Sltln, BadArguments) {
  sl_status st;
  char buf[16];
  size_t len = 7;
  sltln(&st, nullptr, 1, buf, 8, &len);
  EXPECT_EQ(st.code, SLTLN_ERR_BADARG);
  EXPECT_EQ(len, 0u);
  sltln(&st, "a", 1, nullptr, 8, &len);
  EXPECT_EQ(st.code, SLTLN_ERR_BADARG);
  sltln(&st, "a", 0, buf, 8, &len);
  EXPECT_EQ(st.code, SLTLN_ERR_BADARG);
  sltln(&st, "a", 1, buf, 0, &len);
  EXPECT_EQ(st.code, SLTLN_ERR_BADARG);
  sltln(&st, "a", 1, buf, 8, nullptr);
  EXPECT_EQ(st.code, SLTLN_ERR_BADARG);
}

TEST_F(Sltln, RelativeResultSearchedAlongViruzePath) {
  TempDir t;
  ASSERT_FALSE(t.path().empty());
  t.write("b/orcl", "");
  setenv("VIRUZE_PATH", (t.path() + "/a:" + t.path() + "/b").c_str(), 1);
  Result r = translate("@", 512);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, t.path() + "/b/orcl");
  EXPECT_EQ(r.len, r.out.size());

  r = translate("orcl2", 512);  // no such file anywhere: unchanged
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "orcl2");
  EXPECT_EQ(r.len, 5u);

  r = translate("?/dbs", 512);  // absolute: never searched
  EXPECT_EQ(r.out, std::string(kHome) + "/dbs");
}

TEST_F(Sltln, NoSearchAfterFailedExpansion) {
  TempDir t;
  t.write("a/?", "");
  setenv("VIRUZE_PATH", (t.path() + "/a").c_str(), 1);
  unsetenv("VIRUZE_HOME");
  Result r = translate("?", 512);
  EXPECT_EQ(r.code, SLTLN_ERR_VAR);
  EXPECT_EQ(r.out, "?");
  EXPECT_EQ(slphinit, 0) << "the path search did not run";
}

// --- the search itself ----------------------------------------------------

struct Search {
  int32_t code;
  std::string name;
  size_t len;
  intptr_t detail0, detail1;
};

Search search_cached(const std::string &name, size_t dstlen) {
  sl_status st{};
  std::vector<char> buf(dstlen + 600, '\0');
  memcpy(buf.data(), name.c_str(), name.size() + 1);
  size_t len = 99;
  sslpath(&st, "VIRUZE_PATH", buf.data(), dstlen, &len);
  return {st.code, std::string(buf.data()), len, st.detail[0], st.detail[1]};
}

class Slpath : public Sltln {};

TEST_F(Slpath, EntriesInOrderEmptyEntryIsCurrentDirectory) {
  TempDir t;
  t.write("b/f", "");
  t.write("c/f", "");
  t.write("f", "");
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(t.path().c_str()), 0);

  struct Case {
    std::string list;
    int32_t code;
    std::string name;
    size_t len;
  } cases[] = {
      {"/nonexistent:" + t.path() + "/b:" + t.path() + "/c", 0, t.path() + "/b/f", 0},
      {t.path() + "/c:" + t.path() + "/b", 0, t.path() + "/c/f", 0},
      {"/nonexistent::" + t.path() + "/b", 0, "f", 1},  // empty entry between colons
      {":" + t.path() + "/b", 0, "f", 1},              // empty entry at the start
      {"/nonexistent:", 0, "f", 99},                   // a final colon adds nothing
      {"/nonexistent", 0, "f", 99},
      {"", 0, "f", 99},
  };
  for (const Case &c : cases) {
    reset_path_cache();
    setenv("VIRUZE_PATH", c.list.c_str(), 1);
    Search s = search_cached("f", 512);
    size_t len = c.len == 0 ? c.name.size() : c.len;
    EXPECT_EQ(s.code, c.code) << c.list;
    EXPECT_EQ(s.name, c.name) << c.list;
    EXPECT_EQ(s.len, len) << c.list;
  }
  ASSERT_EQ(chdir(cwd), 0);
}

TEST_F(Slpath, ListReadOnceThenCached) {
  TempDir t;
  t.write("b/f", "");
  setenv("VIRUZE_PATH", (t.path() + "/a").c_str(), 1);
  Search s = search_cached("f", 512);
  EXPECT_EQ(s.name, "f");
  EXPECT_EQ(slphinit, 1);
  setenv("VIRUZE_PATH", (t.path() + "/b").c_str(), 1);
  s = search_cached("f", 512);
  EXPECT_EQ(s.name, "f") << "a later change of VIRUZE_PATH is not seen";

  // sslpath2 reads the variable at every call.
  sl_status st{};
  char name[600] = "f";
  size_t len = 1;
  sslpath2(&st, "VIRUZE_PATH", name, sizeof name, &len);
  EXPECT_EQ(st.code, 0);
  EXPECT_EQ(std::string(name), t.path() + "/b/f");
  EXPECT_EQ(len, strlen(name));
}

TEST_F(Slpath, AbsoluteNameAndUnsetVariableUnchanged) {
  TempDir t;
  t.write("b/f", "");
  setenv("VIRUZE_PATH", (t.path() + "/b").c_str(), 1);
  Search s = search_cached("/f", 512);
  EXPECT_EQ(s.code, 0);
  EXPECT_EQ(s.name, "/f");
  EXPECT_EQ(s.len, 99u);

  sl_status st;
  st.code = 77;
  char name[16] = "f";
  size_t len = 42;
  sslpath2(&st, "QTLN_UNSET", name, sizeof name, &len);
  EXPECT_EQ(st.code, 0);
  EXPECT_STREQ(name, "f");
  EXPECT_EQ(len, 42u);
}

TEST_F(Slpath, FoundPathTooLongAndCandidateTooLong) {
  TempDir t;
  t.write("b/f", "");
  setenv("VIRUZE_PATH", (t.path() + "/b").c_str(), 1);
  const std::string found = t.path() + "/b/f";
  Search s = search_cached("f", found.size());  // must be below dstlen
  EXPECT_EQ(s.code, SLPATH_ERR_FOUNDLONG);
  EXPECT_EQ(s.name, "f");
  EXPECT_EQ(s.len, 0u);
  EXPECT_EQ(s.detail0, static_cast<intptr_t>(found.size()));
  EXPECT_EQ(s.detail1, static_cast<intptr_t>(found.size()));
  s = search_cached("f", found.size() + 1);
  EXPECT_EQ(s.code, 0);
  EXPECT_EQ(s.name, found);

  // A candidate that does not fit 512 bytes stops the search.
  reset_path_cache();
  setenv("VIRUZE_PATH", (std::string(300, 'd') + ":" + t.path() + "/b").c_str(), 1);
  s = search_cached(std::string(210, 'n'), 1024);
  EXPECT_EQ(s.code, 0) << "300 + 1 + 210 characters and the terminator fit 512 bytes";
  reset_path_cache();
  s = search_cached(std::string(211, 'n'), 1024);
  EXPECT_EQ(s.code, SLPATH_ERR_COMPOSE);
  EXPECT_EQ(s.len, 0u);
  reset_path_cache();
  setenv("VIRUZE_PATH", std::string(600, 'd').c_str(), 1);
  s = search_cached("f", 1024);
  EXPECT_EQ(s.code, SLPATH_ERR_COMPOSE);
}

// --- composition ----------------------------------------------------------

TEST(Slgfn, CompositionTable) {
  struct Case {
    const char *dir, *name, *ext;
    size_t dstlen;
    int32_t code;
    std::string out;
  } cases[] = {
      {"/d/", "f", "", 64, 0, "/d/f"},
      {"", "f", "", 64, 0, "f"},
      {nullptr, "f", nullptr, 64, 0, "f"},
      {"/d", "f", "log", 64, 0, "/d/f.log"},
      {"/", "f", "x", 64, 0, "/f.x"},
      {"d", "", "", 64, 0, "d/"},
      {"/d", "f", "log", 9, 0, "/d/f.log"},  // exactly fits with its terminator
      {"/d", "f", "log", 8, SLPATH_ERR_COMPOSE, "untouched"},
      {"", "", "", 1, 0, ""},
      {"/d", nullptr, "", 64, SLTLN_ERR_BADARG, "untouched"},
  };
  for (const Case &c : cases) {
    sl_status st;
    memset(&st, 0x55, sizeof st);
    char buf[80];
    strcpy(buf, "untouched");
    slgfn(&st, c.dir, c.name, c.ext, "ignored", buf, c.dstlen);
    EXPECT_EQ(st.code, c.code) << c.out;
    EXPECT_EQ(std::string(buf), c.out);
    EXPECT_EQ(st.oserr, 0) << "whole record cleared";
  }
}

}  // namespace
