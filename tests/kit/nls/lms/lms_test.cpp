// The message-file service over files written by Python's struct from the
// format's tables (msbpy.py) and by msbw: the two-level index, fallback
// languages and the second file, conversion, not-found texts, cache areas
// and thread-safe handles. Every test runs in a child.
#include <gtest/gtest.h>

#include <pthread.h>

#include <cstring>
#include <string>
#include <vector>

#include "lfv.h"
#include "lms_fixture.h"
#include "lpm.h"
#include "msbw.h"
#include "temp_dir.h"

using namespace lmsfix;

namespace {

std::string py(const char *rel) { return std::string(PYMSB) + "/" + rel; }

class Lms : public Installed {};

}  // namespace

TEST_F(Lms, EveryMessageOfSeveralLevel2Blocks) {
  child([] {
    Lang l("AMERICAN_AMERICA.UTF8");
    lmshnd h;
    size_t mc = 0, cc = 0;
    lmsaicmt(&h, nullptr, "TEST", "TST", 0, &l.h, &l.e.glo, &mc, &cc, nullptr, 0, nullptr);
    ASSERT_EQ(h.status, LMS_FOUND);
    EXPECT_EQ(h.l, 2u);             // 301 data blocks: two level-2 blocks
    EXPECT_EQ(h.d, 301u);
    EXPECT_EQ(h.single, 1);         // "us" itself: no second file
    EXPECT_EQ(mc, 301 * LMSC_BLOCKBUF + sizeof(lmscache));
    EXPECT_EQ(cc, 2 * LMSC_BLOCKBUF);
    for (const Expect &x : kUs) {
      int attr = -1, st = -1;
      char buf[600];
      lmsagbcmt(&h, x.number, buf, sizeof buf, nullptr, nullptr, 0, &attr, &st);
      ASSERT_EQ(std::string(buf), x.text) << x.number;
      EXPECT_EQ(attr, x.attr) << x.number;
      EXPECT_EQ(st, LMS_FOUND) << x.number;
      EXPECT_EQ(h.attr, x.attr);
    }
    // between, below and above the numbers: misses, the trailing 0 entries
    // of the second level-2 block included
    for (int n : {1, 2, 4, 899, 901, 1000, 65535, 0, -1, 70000}) {
      int st = -1;
      char buf[600];
      lmsagbcmt(&h, n, buf, sizeof buf, nullptr, nullptr, 0, nullptr, &st);
      EXPECT_EQ(st, LMS_NOTFOUND) << n;
      EXPECT_EQ(h.attr, 0);
      EXPECT_EQ(std::string(buf), "Message " + std::to_string(n) +
                                      " not found;  product=TEST; facility=TST\n");
    }
    lmsatrm(&h);
    EXPECT_EQ(h.product, nullptr);
  });
}

TEST_F(Lms, CommentsAndTheirAttributes) {
  child([] {
    Lang l("AMERICAN_AMERICA.UTF8");
    lmshnd h;
    lmsaicmt(&h, nullptr, "test", "tst", 0, &l.h, &l.e.glo, nullptr, nullptr, nullptr, 0, nullptr);
    struct {
      int n;
      int cattr;
      const char *comment;
    } cases[] = {{3, 11, "cause of 3"}, {6, 12, "cause of 6"}, {104, 13, "cause of 104"},
                 {9, 0, ""}};
    for (auto &c : cases) {
      char msg[100], cmt[100];
      int cattr = -1;
      lmsagbcmt(&h, c.n, msg, sizeof msg, &cattr, cmt, sizeof cmt, nullptr, nullptr);
      EXPECT_EQ(cattr, c.cattr) << c.n;
      EXPECT_STREQ(cmt, c.comment) << c.n;
    }
    // cut to the comment buffer size - 1
    char cmt[6];
    int cattr = 0;
    lmsagbcmt(&h, 3, nullptr, 0, &cattr, cmt, sizeof cmt, nullptr, nullptr);
    EXPECT_STREQ(cmt, "cause");
    lmsatrm(&h);
  });
}

TEST_F(Lms, SecondFileInAnotherCharacterSet) {
  child([] {
    // GERMAN: its own "d" file (WE8ISO8859P1) and "us" (UTF8) as second
    Lang l("GERMAN_AMERICA.WE8ISO8859P1");
    lmshnd h;
    lmsaicmt(&h, nullptr, "TEST", "TST", 0, &l.h, &l.e.glo, nullptr, nullptr, nullptr, 0, nullptr);
    ASSERT_EQ(h.status, LMS_FOUND);
    EXPECT_EQ(h.single, 0);
    int st = -1;
    char buf[100];
    lmsagbcmt(&h, 6, buf, sizeof buf, nullptr, nullptr, 0, nullptr, &st);
    EXPECT_EQ(st, LMS_FOUND);
    EXPECT_EQ(std::string(buf), "deutsch 6 \xe4");
    lmsagbcmt(&h, 104, buf, sizeof buf, nullptr, nullptr, 0, nullptr, &st);
    EXPECT_EQ(st, LMS_FOUND2);
    EXPECT_EQ(h.status, LMS_FOUND2);
    EXPECT_EQ(std::string(buf), "second file caf\xe9");  // converted from UTF8
    // a comment follows its message into the second file
    char cmt[50];
    int cattr = 0;
    lmsagbcmt(&h, 104, buf, sizeof buf, &cattr, cmt, sizeof cmt, nullptr, nullptr);
    EXPECT_STREQ(cmt, "cause of 104");
    lmsagbcmt(&h, 6, buf, sizeof buf, &cattr, cmt, sizeof cmt, nullptr, nullptr);
    EXPECT_STREQ(cmt, "ursache 6");
    lmsagbcmt(&h, 3, buf, sizeof buf, &cattr, cmt, sizeof cmt, nullptr, nullptr);
    EXPECT_STREQ(cmt, "");  // the "d" file has no comment 3; "us" is not asked
    EXPECT_EQ(cattr, 0);
    lmsagbcmt(&h, 7, buf, sizeof buf, nullptr, nullptr, 0, nullptr, &st);
    EXPECT_EQ(st, LMS_NOTFOUND);
    lmsatrm(&h);
  });
}

TEST_F(Lms, FallbackLanguageThenUs) {
  TempDir home;
  msbw::Desc e;
  e.charset = "WE8ISO8859P1";
  e.messages[5] = {1, "espa\xf1ol"};
  std::vector<uint8_t> bytes;
  std::string err;
  ASSERT_TRUE(msbw::build(e, bytes, err)) << err;
  home.write("test/mesg/tste.msb", std::string(bytes.begin(), bytes.end()), 0644);
  msbw::Desc us;
  us.messages[6] = {2, "english six"};
  ASSERT_TRUE(msbw::build(us, bytes, err)) << err;
  home.write("test/mesg/tstus.msb", std::string(bytes.begin(), bytes.end()), 0644);
  child(
      [] {
        Lang l("XSPANISH_AMERICA.UTF8");
        lmshnd h;
        lmsaicmt(&h, nullptr, "TEST", "TST", 0, &l.h, &l.e.glo, nullptr, nullptr, nullptr, 0,
                 nullptr);
        ASSERT_EQ(h.status, LMS_FOUND);
        EXPECT_EQ(h.single, 0);  // "esa" missing: "e", then "us" as second
        EXPECT_EQ(fetch(&h, 5), "espa\xc3\xb1ol");
        EXPECT_EQ(fetch(&h, 6), "english six");
        EXPECT_EQ(h.status, LMS_FOUND2);
        lmsatrm(&h);
      },
      home.path());
}

TEST_F(Lms, NoFileAnywhere) {
  child([] {
    Lang l("GERMAN_AMERICA.WE8ISO8859P1");
    lmshnd h;
    size_t mc = 7;
    lmsaicmt(&h, nullptr, "RIDOR", "VUV", 0, &l.h, &l.e.glo, &mc, nullptr, nullptr, 0, nullptr);
    EXPECT_EQ(h.status, LMS_NOFILE);
    EXPECT_EQ(h.msg_state, LMS_PNOFILE);
    EXPECT_EQ(mc, 0u);
    int st = -1;
    char buf[300];
    lmsagbcmt(&h, 104, buf, sizeof buf, nullptr, nullptr, 0, nullptr, &st);
    EXPECT_EQ(st, LMS_NOTFOUND);
    EXPECT_STREQ(buf, "Message 104 not found; No message file for product=RIDOR, facility=VUV");
    // no buffer: the handle's text buffer
    EXPECT_STREQ(lmsagbf(&h, 7, nullptr, 0),
                 "Message 7 not found; No message file for product=RIDOR, facility=VUV");
    lmsatrm(&h);
    // a handle never opened
    lmshnd z{};
    EXPECT_STREQ(lmsagbf(&z, 3, buf, sizeof buf),
                 "message 3 not found; message handle not initialized\n");
  });
}

TEST_F(Lms, SmallBuffersAndLongNames) {
  child([] {
    Lang l("AMERICAN_AMERICA.UTF8");
    lmshnd h;
    lmsaicmt(&h, nullptr, "TEST", "TST", 0, &l.h, &l.e.glo, nullptr, nullptr, nullptr, 0, nullptr);
    char buf[12];
    std::memset(buf, '#', sizeof buf);
    lmsagbf(&h, 3, buf, 10);
    EXPECT_EQ(std::string(buf, 10), std::string("message 3\0", 10));
    EXPECT_EQ(buf[10], '#');
    lmsagbf(&h, 2, buf, 10);  // not-found text, cut the same way
    EXPECT_STREQ(buf, "Message 2");
    lmsatrm(&h);
    // the not-found text is cut to 255 bytes
    std::string product(300, 'p');
    lmshnd z{};
    lmsaicmt(&z, nullptr, product.c_str(), "NONE", 0, &l.h, &l.e.glo, nullptr, nullptr, nullptr, 0,
             nullptr);
    char big[400];
    lmsagbf(&z, 1, big, sizeof big);
    EXPECT_EQ(std::strlen(big), 255u);
    lmsatrm(&z);
  });
}

TEST_F(Lms, VersionsAndCodedNames) {
  child([] {
    Lang l("AMERICAN_AMERICA.WE8ISO8859P1");
    for (int v = 0; v < 4; ++v) {
      std::string path = py(("ver" + std::to_string(v) + ".msb").c_str());
      lmshnd h;
      lmsaicmt(&h, nullptr, "TEST", "TST", 0, &l.h, &l.e.glo, nullptr, nullptr, path.c_str(), 0,
               nullptr);
      EXPECT_EQ(h.status, v <= 2 ? LMS_FOUND : LMS_NOFILE) << v;
      if (v <= 2) {
        EXPECT_EQ(fetch(&h, 1), "version text");
      }
      lmsatrm(&h);
    }
    // a name ended by byte 39 still names WE8ISO8859P1: no conversion
    std::string path = py("end39.msb");
    lmshnd h;
    lmsaicmt(&h, nullptr, "TEST", "TST", 0, &l.h, &l.e.glo, nullptr, nullptr, path.c_str(), 0,
             nullptr);
    EXPECT_EQ(h.file_cs, 31);
    EXPECT_EQ(fetch(&h, 1), "\xe4");
    lmsatrm(&h);
  });
  uint8_t coded[LMSF_NAMEMAX] = {23, 5, 35, 42, 1, 27, 38, 37, 39, 2, 2};
  char name[LMSF_NAMEMAX + 1];
  EXPECT_EQ(lmsfname(coded, name), 8u);
  EXPECT_STREQ(name, "we8*a0_$");
  std::vector<uint8_t> full(LMSF_NAMEMAX, 'z');  // no end: all 52 bytes
  EXPECT_EQ(lmsfname(full.data(), name), LMSF_NAMEMAX);
}

TEST_F(Lms, NumberPastLevelOneReadsNoDataBlock) {
  child([] {
    Lang l("AMERICAN_AMERICA.UTF8");
    lmshnd h;
    lmsaicmt(&h, nullptr, "TEST", "TST", 0, &l.h, &l.e.glo, nullptr, nullptr, nullptr, 0, nullptr);
    char buf[100];
    long found = reads_of([&] { lmsagbf(&h, 300, buf, sizeof buf); });
    long past = reads_of([&] { lmsagbf(&h, 901, buf, sizeof buf); });
    EXPECT_EQ(found, 3);  // level-1, level-2, data
    EXPECT_EQ(past, 1);  // the level-1 index only
    lmsatrm(&h);
  });
}

// ---- the OS layer ---------------------------------------------------------------

TEST(Slms, DefaultPathRule) {
  nlstest::in_child([] {
    setenv("VIRUZE_HOME", "/Vz/Home", 1);
    struct {
      const char *product, *facility, *lang, *want;
    } cases[] = {{"RIDOR", "VUV", "us", "/Vz/Home/ridor/mesg/vuvus.msb"},
                 {"VODUDED", "LEM", "US", "/Vz/Home/voduded/mesg/lemus.msb"},
                 {"tk2", "ABC", "d", "/Vz/Home/guicommon/tk2/mesg/abcd.msb"},
                 {"TK2", "ABC", "d", "/Vz/Home/tk2/mesg/abcd.msb"}};
    for (auto &c : cases) {
      sl_status st{};
      char path[256];
      EXPECT_EQ(slmsbfn(&st, path, sizeof path, c.product, c.facility, c.lang), 0);
      EXPECT_EQ(st.code, 0);
      EXPECT_STREQ(path, c.want);
    }
    sl_status st{};
    char path[256];
    // too long for the buffer: a failure, never a cut path
    char small[20];
    EXPECT_EQ(slmsbfn(&st, small, sizeof small, "RIDOR", "VUV", "us"), -1);
    EXPECT_EQ(st.code, SLMS_TOOLONG);
    // exactly the length - 1 fits
    const size_t need = std::strlen("/Vz/Home/ridor/mesg/vuvus.msb") + 1;
    std::vector<char> exact(need);
    EXPECT_EQ(slmsbfn(&st, exact.data(), need, "RIDOR", "VUV", "us"), 0);
    EXPECT_EQ(slmsbfn(&st, exact.data(), need - 1, "RIDOR", "VUV", "us"), -1);
    unsetenv("VIRUZE_HOME");
    EXPECT_EQ(slmsbfn(&st, path, sizeof path, "RIDOR", "VUV", "us"), -1);
    EXPECT_EQ(st.code, SLMS_HOME);
    EXPECT_EQ(st.detail[0], SLMS_HOME);
  });
}

TEST(Slms, PathInDirectoryAndCopy) {
  sl_status st{};
  char path[64];
  EXPECT_EQ(slmsbdf(&st, path, sizeof path, "Some/Dir", "VUV", "US"), 0);
  EXPECT_STREQ(path, "/Some/Dir/vuvus.msb");
  EXPECT_EQ(slmsbdf(&st, path, sizeof path, "", "VUV", "US"), 0);
  EXPECT_STREQ(path, "vuvus.msb");
  char tiny[8];
  EXPECT_EQ(slmsbdf(&st, tiny, sizeof tiny, "d", "VUV", "US"), -1);
  EXPECT_EQ(st.code, SLMS_TOOLONG);
  EXPECT_EQ(slmstr(&st, "abc", tiny, 4), 1);
  EXPECT_STREQ(tiny, "abc");
  EXPECT_EQ(slmstr(&st, "abcd", tiny, 4), 0);
  EXPECT_EQ(st.code, SLMS_TOOLONG);
}

TEST(Slms, OpenReadClose) {
  TempDir dir;
  std::string file = dir.write("f.msb", std::string(812, 'a'), 0644);
  sl_status st{};
  slmsfile f;
  EXPECT_EQ(slmsop(&st, &f, (dir.path() + "/missing").c_str()), 0);
  EXPECT_EQ(st.code, SLMS_OPEN);
  EXPECT_EQ(st.oserr, ENOENT);
  ASSERT_EQ(slmsop(&st, &f, file.c_str()), 1);
  EXPECT_EQ(f.magic, SLMS_MAGIC);
  char buf[512];
  void *out = nullptr;
  EXPECT_EQ(slmsrd(&st, &f, 0, buf, &out, 512), 1);
  EXPECT_EQ(out, buf);
  // 512 bytes where only 300 are left
  EXPECT_EQ(slmsrd(&st, &f, 512, buf, nullptr, 512), 0);
  EXPECT_EQ(st.code, SLMS_READ);
  EXPECT_EQ(st.oserr, 0);
  EXPECT_EQ(slmscl(&st, &f), 1);
  EXPECT_EQ(slmscl(&st, &f), 0);
  EXPECT_EQ(st.code, SLMS_CLOSEMAGIC);
  EXPECT_EQ(slmsrd(&st, &f, 0, buf, nullptr, 1), 0);
  EXPECT_EQ(st.code, SLMS_READMAGIC);
}

// ---- files served by the data package -------------------------------------------

namespace {

std::vector<uint8_t> g_served;

const void *serve(const char *name, uint32_t *size) {
  if (std::strcmp(name, "test/mesg/tstus.msb") != 0) return nullptr;
  *size = static_cast<uint32_t>(g_served.size());
  return g_served.data();
}

// Puts the virtual-file layer in package mode over serve() with the prefix
// /vz, as loading the data package would: a loader that hands back serve()
// as the package's lookup, registered as the package manager registers its
// own, then the layer started in package mode.
int serve_loader(const char *, const char *, const char *, lpm_funcs **iface,
                 lfv_lookup *lookup) {
  static lpm_funcs array{};
  *iface = &array;
  *lookup = &serve;
  return 0;
}

void serve_from_memory() {
  setenv("VIRUZE_HOME", "/vz", 1);
  lfvsetloader(serve_loader);
  ASSERT_EQ(lfvinit(LFV_MODE_PACKAGE), 0);
  ASSERT_EQ(lfvtype(), LFV_MODE_PACKAGE);
}

}  // namespace

TEST_F(Lms, ThroughTheVirtualFileLayer) {
  msbw::Desc d;
  d.messages[3] = {4, "served three"};
  std::string err;
  ASSERT_TRUE(msbw::build(d, g_served, err)) << err;
  child(
      [] {
        serve_from_memory();
        Lang l("AMERICAN_AMERICA.US7ASCII");
        lmshnd h;
        lmsaicmt(&h, nullptr, "TEST", "TST", 0, &l.h, &l.e.glo, nullptr, nullptr, nullptr, 0,
                 nullptr);
        ASSERT_EQ(h.status, LMS_FOUND);
        EXPECT_NE(h.file1.vf, nullptr);
        EXPECT_EQ(fetch(&h, 3), "served three");
        EXPECT_EQ(fetch(&h, 4), "Message 4 not found;  product=TEST; facility=TST\n");
        // reads past the served bytes fail as a file's would
        sl_status st{};
        char buf[LMSF_BLOCK];
        EXPECT_EQ(slmsrd(&st, &h.file1, g_served.size() - 10, buf, nullptr, LMSF_BLOCK), 0);
        EXPECT_EQ(st.code, SLMS_READ);
        EXPECT_EQ(slmsrd(&st, &h.file1, g_served.size() + 10, buf, nullptr, 1), 0);
        EXPECT_EQ(st.code, SLMS_SEEK);
        lmsatrm(&h);
        slmsfile f;
        EXPECT_EQ(slmsop(&st, &f, "/vz/other.msb"), 0);
        EXPECT_EQ(st.code, SLMS_OPEN);
      },
      "/vz");
}
