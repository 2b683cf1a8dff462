// Converting copies of one character (lxoCvChar, and lxoCpChar handing its
// converting flags to it) over the installation of curinst.h: case forms,
// single-byte and multibyte equivalents, shift bytes of a shift-sensitive
// output, and the room. Output buffers are guarded past their room.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "curinst.h"
#include "lxm.h"
#include "lxo.h"

using namespace curinst;
using nlstest::Env;

namespace {

class CvChar : public Installed {};

struct Case {
  const char *what;
  int set;                // 0 latin, 1 euc, 2 shift, 3 al32
  Bytes in;
  int in_shifted;
  int out_shifted;
  size_t room;
  uint32_t flags;
  Bytes want;             // bytes written
  size_t nbytes;
  uint32_t status;
  int want_out_shifted;
  size_t in_moved;
};

}  // namespace

TEST_F(CvChar, Table) {
  child([](Env &e) {
    Handles h(e);
    const lxlangid *sets[] = {&h.latin, &h.euc, &h.shift, &h.al32};
    const char SO = char(kSO), SI = char(kSI);
    const Case cases[] = {
        {"latin upper", 0, "a", 0, 0, 4, 0x20, "A", 1, 0, 0, 1},
        {"latin lower", 0, "\xC4", 0, 0, 4, 0x10, "\xE4", 1, 0, 0, 1},
        {"0x20 wins over 0x10", 0, "a", 0, 0, 4, 0x30, "A", 1, 0, 0, 1},
        {"latin: no room", 0, "a", 0, 0, 0, 0x20, "", 0, 6, 0, 0},
        {"euc one-byte upper", 1, "a", 0, 0, 4, 0x20, "A", 1, 0, 0, 1},
        {"euc two-byte upper", 1, "\xA3\xE1", 0, 0, 4, 0x20, "\xA3\xC1", 2, 0, 0, 2},
        {"euc two-byte lower", 1, "\xA3\xC1", 0, 0, 4, 0x10, "\xA3\xE1", 2, 0, 0, 2},
        {"euc to single", 1, "\xA3\xC1", 0, 0, 4, 0x80, "A", 2, 0, 0, 2},
        {"euc to single: none", 1, "\xB0\xA1", 0, 0, 4, 0x80, "\xB0\xA1", 2, 0, 0, 2},
        {"euc to multi", 1, "A", 0, 0, 4, 0x100, "\xA3\xC1", 1, 0, 0, 1},
        {"euc to multi: room 1", 1, "A", 0, 0, 1, 0x100, "", 0, 6, 0, 0},
        {"euc to multi: none", 1, "\x01", 0, 0, 4, 0x100, "\x01", 1, 0, 0, 1},
        {"euc no advance: copied", 1, "\xA3\xE1", 0, 0, 4, 0x220, "\xA3\xE1", 2, 0, 0, 0},
        {"euc cut off: nothing, status 0", 1, "\xA3", 0, 0, 4, 0x20, "", 0, 0, 0, 0},
        {"shift: to multi writes SO first", 2, "A", 0, 0, 4, 0x100, {SO, '\xA3', '\xC1'}, 1, 0, 1, 1},
        {"shift: to multi, room 2", 2, "A", 0, 0, 2, 0x100, "", 0, 6, 0, 0},
        {"shift: to single writes SI first", 2, {'\xA3', '\xC1', SI}, 1, 1, 4, 0x80, {SI, 'A'}, 3, 0, 0, 3},
        {"shift: upper shifted out", 2, "\xA3\xE1", 1, 1, 4, 0x20, "\xA3\xC1", 2, 0, 1, 2},
        {"shift: upper, needs SO", 2, "\xA3\xE1", 1, 0, 4, 0x20, {SO, '\xA3', '\xC1'}, 2, 0, 1, 2},
        // Ⱥ (2 bytes) lowers to ⱥ (3 bytes): not written into 2 bytes
        {"al32 longer form: no room", 3, "\xC8\xBA", 0, 0, 2, 0x10, "", 0, 6, 0, 0},
        {"al32 longer form", 3, "\xC8\xBA", 0, 0, 3, 0x10, "\xE2\xB1\xA5", 2, 0, 0, 2},
        {"al32 lower", 3, "\xC3\x84", 0, 0, 4, 0x10, "\xC3\xA4", 2, 0, 0, 2},
    };
    for (const auto &c : cases) {
      for (bool via_cpchar : {false, true}) {
        Bytes in = c.in;
        lxmcur ic;
        lxmopen(in.data(), c.in == "\xA3" ? 1 : in.size(), &ic, sets[c.set], &e.glo, 1);
        ic.shifted = c.in_shifted;
        unsigned char buf[16];
        memset(buf, '#', sizeof buf);
        lxmcur oc;
        lxmopen(buf, c.room, &oc, sets[c.set], &e.glo, 1);
        oc.shifted = c.out_shifted;
        e.glo.status = 99;
        size_t r = via_cpchar ? lxoCpChar(&oc, size_t(-1), &ic, size_t(-1), c.flags, &e.glo)
                              : lxoCvChar(&oc, size_t(-1), &ic, size_t(-1), c.flags, &e.glo);
        EXPECT_EQ(r, c.want.size()) << c.what;
        EXPECT_EQ(Bytes(reinterpret_cast<char *>(buf), size_t(oc.pos - oc.start)), c.want) << c.what;
        EXPECT_EQ(e.glo.nbytes, c.nbytes) << c.what;
        EXPECT_EQ(e.glo.status, c.status) << c.what;
        EXPECT_EQ(oc.shifted, c.want_out_shifted) << c.what;
        EXPECT_EQ(size_t(ic.pos - ic.start), c.in_moved) << c.what;
        for (size_t i = c.want.size(); i < sizeof buf; ++i) EXPECT_EQ(buf[i], '#') << c.what;
      }
    }
  });
}

// The output's budget bounds the room as its length does.
TEST_F(CvChar, BudgetBoundsTheRoom) {
  child([](Env &e) {
    Handles h(e);
    Bytes in = "A";
    lxmcur ic;
    lxmopen(in.data(), 1, &ic, &h.euc, &e.glo, 1);
    unsigned char buf[8];
    lxmcur oc;
    lxmopen(buf, sizeof buf, &oc, &h.euc, &e.glo, 1);
    EXPECT_EQ(lxoCvChar(&oc, 1, &ic, 1, 0x100, &e.glo), 0u);
    EXPECT_EQ(e.glo.status, 6u);
    EXPECT_EQ(lxoCvChar(&oc, 2, &ic, 0, 0x100, &e.glo), 0u);  // no input budget
    EXPECT_EQ(e.glo.status, 0u);
    EXPECT_EQ(lxoCvChar(&oc, 2, &ic, 1, 0x100, &e.glo), 2u);
    // a room check the caller waives
    lxmopen(buf, 0, &oc, &h.euc, &e.glo, 1);
    ic.pos = ic.start;
    EXPECT_EQ(lxoCvChar(&oc, 0, &ic, 1, 0x100 | 0x800000, &e.glo), 2u);
    EXPECT_EQ(memcmp(buf, "\xA3\xC1", 2), 0);
  });
}
