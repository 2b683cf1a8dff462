// Backup file names in single-byte and UTF-8 handles of a written
// installation. Every test runs in a child (the NLS environment).
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>
#include <string>

#include "nlsfix.h"
#include "slgpn.h"

using namespace nlsfix;
using nlstest::Env;

namespace {

class Slgpn : public Installed {};

// A backup piece of set 1, stamp 2, piece 1, copy 1 of database ORCL.
slgpn_params piece(lxlangid **h, lxglo *glo, const char *tmpl) {
  slgpn_params p{};
  p.tmpl = tmpl;
  p.piece = 1;
  p.set = 1;
  p.stamp = 2;
  p.copy = 1;
  p.year = 2005;
  p.month = 3;
  p.day = 9;
  p.dbid = 123;
  p.dbname = "ORCL";
  p.autoseq = 5;
  p.fileno_ind = SLGPN_ABSENT;
  p.tsname_ind = SLGPN_ABSENT;
  p.logseq_ind = SLGPN_ABSENT;
  p.thread_ind = SLGPN_ABSENT;
  p.langid = h;
  p.glo = glo;
  return p;
}

struct Result {
  int rc;
  std::string name;
  slos_error err;
  bool untouched;
};

Result run(const slgpn_params &p) {
  char out[SLGPN_OUTSIZE + 16];
  memset(out, '#', sizeof out);
  size_t len = 777;
  Result r{};
  r.rc = slgpn(&r.err, &p, out, &len);
  r.untouched = out[0] == '#' && len == 0;
  if (!r.untouched) {
    EXPECT_EQ(out[len], '\0');
    r.name.assign(out, len);
  }
  EXPECT_EQ(out[SLGPN_OUTSIZE], '#') << "nothing past the area";
  return r;
}

}  // namespace

TEST_F(Slgpn, PieceAndFormTable) {
  child([](Env &e) {
    for (const char *cs : {"AMERICAN_AMERICA.WE8ISO8859P1", "AMERICAN_AMERICA.UTF8"}) {
      lxlangid h = handle(e, cs);
      lxlangid *hp = &h;
      struct Case {
        const char *tmpl;
        int autoseq;
        int copy;
        const char *dbname;
        int rc;
        const char *want;  // nullptr: output untouched
        char letter;
      } cases[] = {
          {"%U", 5, 1, "ORCL", 0, "01000002_1_1", 0},
          {"%F", 5, 1, "ORCL", 0, "c-123-20050309-05", 0},
          {"%T", 5, 1, "ORCL", 0, "20050309", 0},
          {"%F_%p", 5, 1, "ORCL", 2, "c-123-20050309-05_1", 'p'},
          {"%p_%F", 5, 1, "ORCL", 2, "1_c-123-20050309-05", 'p'},
          {"%F%d", 255, 1, "ORCL", 0, "c-123-20050309-ffORCL", 0},
          {"%F", 300, 1, "ORCL", 2, nullptr, 'F'},
          {"%F", -1, 1, "ORCL", 2, nullptr, 'F'},
          {"%q", 300, 1, "ORCL", 2, "", 'q'},
          {"%q", -3, 1, "ORCL", 2, "", 'q'},
          {"%n", 5, 1, "ORCL", 0, "ORCLxxxx", 0},
          {"%n", 5, 1, "ABCDEFGHIJ", 0, "ABCDEFGHIJ", 0},
          {"%d", 5, 1, nullptr, -1, "", 0},
          {"%c", 5, 31, "ORCL", 0, "v", 0},
          {"%c", 5, 33, "ORCL", 0, "11", 0},
          {"%c", 5, 0x1E0, "ORCL", 0, "f0", 0},
          {"100%%", 5, 1, "ORCL", 0, "100%%", 0},
          {"a%zb%", 5, 1, "ORCL", 0, "a%zb%", 0},
          {"%e", 5, 1, "ORCL", 2, "", 'e'},
          {"%s-%t-%a-%I-%Y%M%D", 5, 1, "ORCL", 0, "1-2-0-123-20050309", 0},
      };
      for (const Case &c : cases) {
        slgpn_params p = piece(&hp, &e.glo, c.tmpl);
        p.autoseq = c.autoseq;
        p.copy = c.copy;
        p.dbname = c.dbname;
        Result r = run(p);
        EXPECT_EQ(r.rc, c.rc) << cs << " " << c.tmpl;
        if (c.want == nullptr) {
          EXPECT_TRUE(r.untouched) << c.tmpl;
        } else {
          EXPECT_EQ(r.name, c.want) << cs << " " << c.tmpl;
        }
        if (c.rc == 2) {
          EXPECT_EQ(r.err.code, 2);
          EXPECT_STREQ(r.err.call, "Format incompatible with %F");
          EXPECT_EQ(r.err.other[0], c.letter) << c.tmpl;
          EXPECT_EQ(r.err.other[1], '\0');
          EXPECT_EQ(static_cast<size_t>(r.err.oserr), c.want ? strlen(c.want) : 0) << c.tmpl;
        }
        if (c.rc == -1) {
          EXPECT_STREQ(r.err.other, "No database name");
        }
      }
    }
  });
}

TEST_F(Slgpn, CopyKinds) {
  child([](Env &e) {
    lxlangid h = handle(e, "AMERICAN_AMERICA.WE8ISO8859P1");
    lxlangid *hp = &h;
    struct Case {
      const char *device;
      int fileno_ind, fileno, seq_ind, thr_ind;
      int rc;
      const char *want;  // name, or the internal error's text
    } cases[] = {
        {nullptr, 0, 5, -1, -1, 0, "data_D-ORCL_I-123_TS-USERS_FNO-5_01000002"},
        {"DISK", 0, 0, -1, -1, 0, "cf_D-ORCL_id-123_01000002"},
        {nullptr, -1, 0, 0, 0, 0, "arch_D-ORCL_id-123_S-77_T-2_A-9_01000002"},
        {"SBT_TAPE", 0, 5, -1, -1, -1, "Non disk channel for copies"},
        {nullptr, 0, 5, 0, -1, -1, "Cannot determine type of file"},
        {nullptr, 0, 5, -1, 0, -1, "Cannot determine type of file"},
        {nullptr, -1, 0, 0, -1, -1, "Incomplete archivelog info"},
        {nullptr, -1, 0, -1, 0, -1, "No info for file type"},
        {nullptr, -1, 0, -1, -1, -1, "No info for file type"},
    };
    for (const Case &c : cases) {
      slgpn_params p = piece(&hp, &e.glo, "%U");
      p.is_copy = 1;
      p.device = c.device;
      p.fileno_ind = c.fileno_ind;
      p.fileno = c.fileno;
      p.tsname = "USERS";
      p.tsname_ind = 0;
      p.logseq = "77";
      p.logseq_ind = c.seq_ind;
      p.thread = 2;
      p.thread_ind = c.thr_ind;
      p.actid = 9;
      Result r = run(p);
      EXPECT_EQ(r.rc, c.rc) << c.want;
      if (c.rc == 0) {
        EXPECT_EQ(r.name, c.want);
      } else {
        EXPECT_TRUE(r.untouched) << c.want;
        EXPECT_EQ(r.err.code, -1);
        EXPECT_STREQ(r.err.location, "slgpn");
        EXPECT_STREQ(r.err.other, c.want);
      }
    }
    // A datafile copy has no log sequence for %e.
    slgpn_params p = piece(&hp, &e.glo, "x%e");
    p.is_copy = 1;
    p.fileno_ind = 0;
    p.fileno = 4;
    Result r = run(p);
    EXPECT_EQ(r.rc, 2);
    EXPECT_EQ(r.err.other[0], 'e');
    EXPECT_EQ(r.name, "x");
  });
}

TEST_F(Slgpn, LimitAtEveryWriter) {
  child([](Env &e) {
    for (const char *cs : {"AMERICAN_AMERICA.WE8ISO8859P1", "AMERICAN_AMERICA.UTF8"}) {
      lxlangid h = handle(e, cs);
      lxlangid *hp = &h;
      // Each template's expansion, whose last write crosses the limit when
      // the prefix is one byte longer.
      // first: what the first pass makes of the template; both passes
      // hold at most 512 bytes.
      struct Case {
        const char *tmpl;
        const char *first;
        const char *expands;
      } cases[] = {
          {"%U", "%u_%p_%c", "01000002_1_1"},  // a first-pass template
          {"%F", "c-%I-%Y%M%D-%q", "c-123-20050309-05"},
          {"%T", "%Y%M%D", "20050309"},
          {"%s", "%s", "1"},                    // the pair, in the first pass
          {"%Y", "%Y", "2005"},                 // a number
          {"%d", "%d", "ORCL"},                 // a name
          {"%n", "%n", "ORCLxxxx"},             // the padding
          {"%u", "%u", "01000002"},             // a digit of %u
          {"%z", "%z", "%z"},                   // a pair of characters
          {"a", "a", "a"},
      };
      for (const Case &c : cases) {
        const size_t widest = std::max(strlen(c.first), strlen(c.expands));
        for (size_t extra : {0, 1}) {
          std::string tmpl(SLGPN_MAX - widest + extra, 'k');
          tmpl += c.tmpl;
          slgpn_params p = piece(&hp, &e.glo, tmpl.c_str());
          Result r = run(p);
          if (extra == 0) {
            EXPECT_EQ(r.rc, 0) << cs << " " << c.tmpl;
            EXPECT_EQ(r.name.size(), SLGPN_MAX - widest + strlen(c.expands));
          } else {
            EXPECT_EQ(r.rc, 1) << cs << " " << c.tmpl;
            EXPECT_EQ(r.err.oserr, 513);
            EXPECT_STREQ(r.err.call, "Translation too long");
            EXPECT_LE(r.name.size(), static_cast<size_t>(SLGPN_MAX));
          }
        }
      }
    }
  });
}

TEST_F(Slgpn, MultibyteTextAndWideHandle) {
  child([](Env &e) {
    lxlangid h = handle(e, "AMERICAN_AMERICA.UTF8");
    lxlangid *hp = &h;
    slgpn_params p = piece(&hp, &e.glo, "\xC3\x84%n\xE6\x97\xA5%s");
    p.dbname = "\xC3\x96\xC3\x9C";  // two characters, four bytes
    Result r = run(p);
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.name, "\xC3\x84\xC3\x96\xC3\x9Cxxxxxx\xE6\x97\xA5" "1");
    lxlangid w = handle(e, "AMERICAN_AMERICA.AL16UTF16");
    lxlangid *wp = &w;
    p = piece(&wp, &e.glo, "%U");
    r = run(p);
    EXPECT_EQ(r.rc, -1);
    EXPECT_TRUE(r.untouched);
    EXPECT_EQ(r.err.code, -1);
  });
}
