// Error message texts: the lines of records whose message file is missing,
// lacks the message or has it, the walk over the calling thread's stack, the
// message cache of 24 files, and the 767-byte cut. Message files are written
// with the message-file writer into a temporary VIRUZE_HOME; every test runs
// in a child with the kit up.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <map>
#include <string>
#include <vector>

#include "child.h"
#include "lem_kit.h"
#include "lem.h"
#include "lemx.h"
#include "lms.h"
#include "lpm.h"
#include "msbw.h"
#include "temp_dir.h"

namespace {

// A message file of product and facility ("us") under home.
void write_msb(const TempDir &home, const std::string &product, const std::string &facility,
               const std::map<uint16_t, std::string> &texts) {
  msbw::Desc d;
  for (const auto &[n, t] : texts) d.messages[n] = {0, t};
  std::vector<uint8_t> bytes;
  std::string err;
  ASSERT_TRUE(msbw::build(d, bytes, err)) << err;
  std::string lower = product + "/mesg/" + facility + "us.msb";
  for (char &c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  home.write(lower, std::string(bytes.begin(), bytes.end()), 0644);
}

struct Kit : LemKit {
  void down() {
    lemces(lem);
    LemKit::down();
  }
  std::string all(int size = 2000) {
    std::vector<char> buf(static_cast<size_t>(size), '#');
    int n = lembem(lem, 1, buf.data(), size);
    EXPECT_EQ(static_cast<size_t>(n), std::strlen(buf.data()));
    return std::string(buf.data());
  }
};

// The calling thread's records, newest first: facility-number pairs.
std::vector<std::string> records(lwem_ctx *errs) {
  std::vector<std::string> out;
  for (int i = 1; lwemget(errs, i) != LWEM_KIND_NONE; i++) {
    lwem_record *r = lwemgne(errs, i);
    out.push_back(std::string(r->facility) + "-" + std::to_string(r->u.msg.number));
  }
  return out;
}

// Runs body(kit) in a child with VIRUZE_HOME at home and the kit up.
template <class F>
void in_kit(const std::string &home, F body) {
  int rc = in_child([&] {
    unsetenv("NLS_LANG");
    unsetenv("ZUR_NLS10");
    setenv("VIRUZE_HOME", home.c_str(), 1);
    Kit k;
    if (!k.up()) return 2;
    body(k);
    k.down();
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(rc, 0) << "expectations failed in the child (see above), or it died";
}

// The kit's own message file of a facility, from its text form.
void write_kit_msb(const TempDir &home, const std::string &product, const std::string &facility) {
  std::ifstream in(std::string(QEN_SOURCE_DIR) + "/tools/msb/mesg/" + facility + "us.txt");
  std::stringstream ss;
  ss << in.rdbuf();
  msbw::Desc d;
  std::vector<uint8_t> bytes;
  std::string err;
  ASSERT_TRUE(msbw::parse(ss.str(), d, err) && msbw::build(d, bytes, err)) << err;
  home.write(product + "/mesg/" + facility + "us.msb", std::string(bytes.begin(), bytes.end()),
             0644);
}

}  // namespace

TEST(LemText, FileNotFoundLine) {
  TempDir home;
  in_kit(home.path(), [](Kit &k) {
    lemrec(k.lem, k.vuv, 104, LWEM_CLASS_RECORDED, LSFTXTP, "x", LSFEND);
    EXPECT_EQ(k.all(), "VUV-00104: file not found; arguments: [x]\n");
    // the lookups' own records stay, newer than the walk
    EXPECT_EQ(records(k.errs), (std::vector<std::string>{"LEM-33", "LEM-31", "VUV-104"}));
    lemces(k.lem);
    // an internal error of LEM: its site is its first argument
    lemric(k.lem, k.lem->cache->lemfac, 4, LWEM_CLASS_RECORDED, LSFEND);
    char buf[200];
    EXPECT_GT(lemgem(k.lem, 1, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "LEM-00900: file not found; arguments: [4]");
  });
}

TEST(LemText, MessageNotFoundLine) {
  TempDir home;
  write_msb(home, "RIDOR", "VUV", {{1, "one"}});
  in_kit(home.path(), [](Kit &k) {
    lemrec(k.lem, k.vuv, 104, LWEM_CLASS_RECORDED, LSFTXTP, "x", LSFEND);
    EXPECT_EQ(k.all(),
              "VUV-00104: Message 104 not found;  product=RIDOR; facility=VUV; arguments: [x]\n");
    EXPECT_EQ(records(k.errs), (std::vector<std::string>{"LEM-30", "VUV-104"}));
    lemces(k.lem);
    // without arguments the handle's text keeps its newline
    lemrec(k.lem, k.vuv, 5, LWEM_CLASS_RECORDED, LSFEND);
    char buf[200];
    lempgem(k.lem, 1, buf, sizeof buf);
    EXPECT_STREQ(buf, "VUV-00005: Message 5 not found;  product=RIDOR; facility=VUV\n");
  });
}

TEST(LemText, TextsFromTheKitsOwnFiles) {
  TempDir home;
  write_kit_msb(home, "ridor", "vuv");
  in_kit(home.path(), [](Kit &k) {
    lemrec(k.lem, k.vuv, 104, LWEM_CLASS_RECORDED, LSFEND);
    lemrec(k.lem, k.vuv, 90, LWEM_CLASS_RECORDED, LSFTXTP, "open", LSFTXTP, "2", LSFEND);
    lemrec(k.lem, k.vuv, 109, LWEM_CLASS_RECORDED, LSFUB1, "\x11", LSFEND);
    EXPECT_EQ(k.all(),
              "VUV-00109: invalid event number 17\n"
              "VUV-00090: system call open failed with error 2\n"
              "VUV-00104: failed to open or map the instance health file\n");
    EXPECT_EQ(records(k.errs).size(), 3u);  // nothing pushed by the lookups
  });
}

TEST(LemText, WalkEdges) {
  TempDir home;
  write_msb(home, "RIDOR", "VUV", {{1, "one"}, {2, "ends in a newline\n"}});
  in_kit(home.path(), [](Kit &k) {
    char buf[64];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(lembem(k.lem, 1, buf, sizeof buf), 0);  // empty stack: the terminator only
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(buf[1], '#');
    EXPECT_EQ(lemgem(k.lem, 0, buf, sizeof buf), 0);
    EXPECT_EQ(lemgem(k.lem, -1, buf, sizeof buf), 0);
    EXPECT_EQ(buf[1], '#');

    lemrec(k.lem, k.vuv, 1, LWEM_CLASS_RECORDED, LSFEND);
    lemrec(k.lem, k.vuv, 2, LWEM_CLASS_RECORDED, LSFEND);
    EXPECT_EQ(k.all(), "VUV-00002: ends in a newline\nVUV-00001: one\n");
    // exactly size - 1 bytes: the first text fills the buffer, no newline
    const std::string first = "VUV-00002: ends in a newline\n";
    std::vector<char> exact(first.size() + 1, '#');
    EXPECT_EQ(lembem(k.lem, 1, exact.data(), static_cast<int>(exact.size())),
              static_cast<int>(first.size()));
    EXPECT_EQ(std::string(exact.data()), first);
    // one byte less: the text is cut, the walk ends
    std::vector<char> cut(first.size(), '#');
    EXPECT_EQ(lembem(k.lem, 1, cut.data(), static_cast<int>(cut.size())),
              static_cast<int>(first.size() - 1));
    EXPECT_EQ(std::string(cut.data()), first.substr(0, first.size() - 1));
    // all = 0: the newest record alone, no newline added
    char one[100];
    EXPECT_EQ(lembem(k.lem, 0, one, sizeof one), static_cast<int>(first.size()));
    EXPECT_EQ(std::string(one), first);
    // a negative size
    EXPECT_EQ(lembem(k.lem, 1, one, 0), 0);
  });
}

TEST(LemText, TextsOver767BytesAreCut) {
  TempDir home;
  write_msb(home, "RIDOR", "VUV", {{7, "%(1)s%(2)s"}});
  in_kit(home.path(), [](Kit &k) {
    const std::string a(400, 'a'), b(400, 'b');
    lemrec(k.lem, k.vuv, 7, LWEM_CLASS_RECORDED, LSFTXTP, a.c_str(), LSFTXTP, b.c_str(), LSFEND);
    std::vector<char> buf(2000);
    int n = lempgem(k.lem, 1, buf.data(), 2000);
    EXPECT_EQ(n, LEM_TEXT_MAX);
    std::string want = "VUV-00007: " + a + b;
    EXPECT_EQ(std::string(buf.data()), want.substr(0, LEM_TEXT_MAX));
    // and the caller's limit after that
    n = lempgem(k.lem, 1, buf.data(), 100);
    EXPECT_EQ(n, 99);
    EXPECT_EQ(std::string(buf.data()), want.substr(0, 99));
    EXPECT_EQ(k.all(), want.substr(0, LEM_TEXT_MAX) + "\n");
  });
}

TEST(LemText, CacheOf24FilesKeyedByProductAndFacility) {
  TempDir home;
  for (int i = 1; i <= 25; ++i) write_msb(home, "P", "F" + std::to_string(i), {{1, "f" + std::to_string(i)}});
  write_msb(home, "Q", "F1", {{1, "q1"}});
  in_kit(home.path(), [](Kit &k) {
    std::vector<lwem_facility *> facs;
    for (int i = 1; i <= 25; ++i)
      facs.push_back(lemfaa(k.lem, nullptr, "P", ("F" + std::to_string(i)).c_str(), 900, 901));
    lem_msgcache *cache = k.lem->cache;
    char buf[100];
    for (int i = 1; i <= 25; ++i) {
      lemrec(k.lem, facs[static_cast<size_t>(i - 1)], 1, LWEM_CLASS_RECORDED, LSFEND);
      ASSERT_GT(lemgem(k.lem, 1, buf, sizeof buf), 0);
      EXPECT_EQ(std::string(buf), "F" + std::to_string(i) + "-00001: f" + std::to_string(i));
    }
    EXPECT_EQ(cache->count, LEM_CACHE_ENTRIES);
    EXPECT_STREQ(cache->entries[23].facility, "F25");  // the 25th replaced the 24th
    EXPECT_STREQ(cache->entries[22].facility, "F23");
    lemrec(k.lem, facs[23], 1, LWEM_CLASS_RECORDED, LSFEND);
    EXPECT_GT(lemgem(k.lem, 1, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "F24-00001: f24");
    EXPECT_STREQ(cache->entries[23].facility, "F24");  // opened again
    // a second product with facility F1 has its own entry and file
    lwem_facility *q = lemfaa(k.lem, nullptr, "Q", "F1", 900, 901);
    lemrec(k.lem, q, 1, LWEM_CLASS_RECORDED, LSFEND);
    EXPECT_GT(lemgem(k.lem, 1, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "F1-00001: q1");
    lemrec(k.lem, facs[0], 1, LWEM_CLASS_RECORDED, LSFEND);
    EXPECT_GT(lemgem(k.lem, 1, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "F1-00001: f1");
    // a missing file keeps no slot (here the recycled last one is freed):
    // every lookup tries again
    lwem_facility *none = lemfaa(k.lem, nullptr, "P", "NONE", 900, 901);
    lemrec(k.lem, none, 1, LWEM_CLASS_RECORDED, LSFEND);
    EXPECT_GT(lemgem(k.lem, 1, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "NONE-00001: file not found");
    EXPECT_EQ(cache->count, LEM_CACHE_ENTRIES - 1);
    EXPECT_EQ(cache->entries[23].handle, nullptr);
    lemces(k.lem);
    lemfaf(k.lem, q);
    lemfaf(k.lem, none);
    for (auto f : facs) lemfaf(k.lem, f);
  });
}

TEST(LemText, BadArgumentsRecordLemErrors) {
  TempDir home;
  in_kit(home.path(), [](Kit &k) {
    char out[100];
    EXPECT_EQ(lempgfm(k.lem, "VUV", 3, "RIDOR", 5, 0, out, sizeof out), 0);
    EXPECT_EQ(lempgfm(k.lem, nullptr, 0, "RIDOR", 5, 1, out, sizeof out), 0);
    EXPECT_EQ(lempgfm(k.lem, "VUV", 3, "RIDOR", 5, 1, out, 0), 0);
    EXPECT_EQ(lempgmh(k.lem, "VUV", 3, nullptr, 0), nullptr);
    EXPECT_EQ(records(k.errs),
              (std::vector<std::string>{"LEM-30", "LEM-30", "LEM-30", "LEM-30"}));
  });
}

TEST(LemText, TheErrorManagersOwnRecordsReadFromItsFile) {
  TempDir home;
  write_kit_msb(home, "voduded", "lem");
  in_kit(home.path(), [](Kit &k) {
    lemrec(k.lem, k.vuv, 104, LWEM_CLASS_RECORDED, LSFTXTP, "x", LSFEND);
    EXPECT_EQ(k.all(), "VUV-00104: file not found; arguments: [x]\n");
    // a second walk shows the records the first one pushed
    EXPECT_EQ(k.all(),
              "LEM-00033: lempgfm: Couldn't open message file\n"
              "LEM-00031: lempgmh: call to lmserr failed\n"
              "VUV-00104: file not found; arguments: [x]\n");
  });
}
