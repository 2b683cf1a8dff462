// Locale text parts and the boot-block look-ups, over a boot block built in
// memory.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "lxp.h"

namespace {

struct Ent {
  uint16_t type;
  uint16_t id;
  const char *name;
  uint8_t langkey = 0;
  uint8_t group = 0;
};

// A boot block in host order: entries grouped by type, sorted by id.
class Boot {
 public:
  explicit Boot(const std::vector<Ent> &ents) {
    size_t n = ents.size() + 1;
    bytes_.assign(48 + 40 * n, 0);
    uint16_t firsts[11] = {};
    // first[t]: index of the first entry of type >= t
    for (unsigned t = 0; t <= 10; ++t) {
      uint16_t idx = static_cast<uint16_t>(n);
      for (size_t i = 0; i < ents.size(); ++i)
        if (ents[i].type >= t) {
          idx = static_cast<uint16_t>(i + 1);
          break;
        }
      firsts[t] = t == 10 ? static_cast<uint16_t>(n) : idx;
    }
    std::memcpy(&bytes_[20], firsts, sizeof firsts);
    uint32_t size = static_cast<uint32_t>(bytes_.size());
    std::memcpy(&bytes_[8], &size, 4);
    bytes_[44] = 0xA5;
    for (size_t i = 0; i < ents.size(); ++i) {
      uint8_t *e = &bytes_[48 + 40 * (i + 1)];
      uint32_t osize = 1000;
      std::memcpy(e, &osize, 4);
      std::memcpy(e + 4, &ents[i].type, 2);
      std::memcpy(e + 6, &ents[i].id, 2);
      e[8] = static_cast<uint8_t>(std::strlen(ents[i].name) + 1);
      std::memcpy(e + 9, ents[i].name, std::strlen(ents[i].name));
      e[38] = ents[i].langkey;
      e[39] = ents[i].group;
    }
    slots_.assign(n, nullptr);
    slots_[0] = bytes_.data();
  }
  const lxlobj *table() const { return reinterpret_cast<const lxlobj *>(slots_.data()); }

 private:
  std::vector<uint8_t> bytes_;
  std::vector<void *> slots_;
};

// Languages 1-3, territories 4-9 (id 7 is a group of three: for languages
// 1, 2 and 3), charsets 10-13, sorts 14-15.
const std::vector<Ent> kEntries = {
    {0, 1, "AMERICAN"},      {0, 2, "GERMAN"},         {0, 5, "FRENCH"},
    {1, 1, "AMERICA"},       {1, 3, "GERMANY"},        {1, 7, "SWITZERLAND", 2, 0x02},
    {1, 7, "SWITZERLAND", 5, 0x12}, {1, 7, "SWITZERLAND", 1, 0x22}, {1, 9, "FRANCE"},
    {2, 1, "US7ASCII"},      {2, 31, "WE8ISO8859P1"},  {2, 40, "US8NOOP"},
    {2, 871, "UTF8"},        {3, 1, "GERMAN"},         {3, 4096, "GENERIC_M"},
};

struct PartCase {
  const char *text;
  int item;
  const char *part;  // nullptr: text itself with length 0
};

std::string part_of(const char *text, int item, const char **where) {
  size_t n = 99;
  const char *p = lxpname(text, std::strlen(text), item, &n);
  *where = p;
  return std::string(p, n);
}

}  // namespace

TEST(Lxpname, Parts) {
  const PartCase cases[] = {
      {"AMERICAN", 85, "AMERICAN"},
      {"AMERICAN", 78, nullptr},
      {"AMERICAN", 79, nullptr},
      {"AMERICAN_AMERICA.US7ASCII", 85, "AMERICAN"},
      {"AMERICAN_AMERICA.US7ASCII", 78, "AMERICA"},
      {"AMERICAN_AMERICA.US7ASCII", 79, "US7ASCII"},
      {"AMERICAN_AMERICA.US7ASCII", 82, "AMERICAN"},
      {"AMERICAN_AMERICA.US7ASCII", 83, "AMERICA"},
      {"AMERICAN_AMERICA.US7ASCII", 84, "US7ASCII"},
      {" AMERICAN _ AMERICA . US7ASCII ", 85, "AMERICAN"},
      {" AMERICAN _ AMERICA . US7ASCII ", 78, "AMERICA"},
      {" AMERICAN _ AMERICA . US7ASCII ", 79, "US7ASCII"},
      {"_GERMANY", 85, nullptr},
      {"_GERMANY", 78, "GERMANY"},
      {".UTF8", 85, nullptr},
      {".UTF8", 78, nullptr},
      {".UTF8", 79, "UTF8"},
      {"AMERICAN.", 79, nullptr},
      {"AMERICAN_", 78, nullptr},
      {"AMERICAN_.UTF8", 78, nullptr},
      {"AMERICAN_ .UTF8", 78, nullptr},
      {"AMERICAN. ", 79, nullptr},
      {"   ", 85, nullptr},
      {"A.B_C", 78, "C"},  // the first "_" of the whole text
      {"AMERICAN_AMERICA.US7ASCII", 80, nullptr},
  };
  for (const auto &c : cases) {
    const char *where = nullptr;
    std::string got = part_of(c.text, c.item, &where);
    if (c.part) {
      EXPECT_EQ(got, c.part) << c.text << " item " << c.item;
    } else {
      EXPECT_EQ(where, c.text) << c.text << " item " << c.item;
      EXPECT_EQ(got, "") << c.text << " item " << c.item;
    }
  }
}

TEST(Lxpname, EmptyTextAndLengthBound) {
  size_t n = 5;
  const char *t = "AMERICAN_AMERICA";
  EXPECT_EQ(lxpname(t, 0, 85, &n), t);
  EXPECT_EQ(n, 0u);
  // only the given length counts: the "_" after it is not seen
  EXPECT_EQ(lxpname(t, 8, 78, &n), t);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(lxpname(t, 5, 85, &n), t);
  EXPECT_EQ(n, 5u);
}

TEST(Lxpget, Languages) {
  Boot b(kEntries);
  int nf = -1;
  EXPECT_EQ(lxplget("american", 8, b.table(), &nf), 1);
  EXPECT_EQ(nf, 0);
  EXPECT_EQ(lxplget("French", 6, b.table(), &nf), 3);
  EXPECT_EQ(nf, 0);
  // AMERICA is not AMERICAN: the lengths differ
  EXPECT_EQ(lxplget("AMERICA", 7, b.table(), &nf), 1);
  EXPECT_EQ(nf, 1);
  EXPECT_EQ(lxplget("AMERICANX", 9, b.table(), &nf), 1);
  EXPECT_EQ(nf, 1);
  EXPECT_EQ(lxplget(nullptr, 3, b.table(), &nf), 1);
  EXPECT_EQ(nf, 1);
  EXPECT_EQ(lxplget("GERMAN", 0, b.table(), &nf), 1);
  EXPECT_EQ(nf, 1);
  // a territory name is not a language
  EXPECT_EQ(lxplget("FRANCE", 6, b.table(), nullptr), 1);
}

TEST(Lxpget, CharsetsAndNoop) {
  Boot b(kEntries);
  int nf = -1;
  EXPECT_EQ(lxpcget("we8iso8859p1", 12, b.table(), 10, &nf), 11);
  EXPECT_EQ(nf, 0);
  EXPECT_EQ(lxpcget("utf8", 4, b.table(), 10, &nf), 13);
  EXPECT_EQ(nf, 0);
  // US8NOOP gives the default even though the boot block lists it
  EXPECT_EQ(lxpcget("US8NOOP", 7, b.table(), 10, &nf), 10);
  EXPECT_EQ(nf, 1);
  // a prefix of the literal is an ordinary name (and unknown here)
  EXPECT_EQ(lxpcget("US8", 3, b.table(), 42, &nf), 42);
  EXPECT_EQ(nf, 1);
  // a longer name that begins with the literal is looked up, not refused
  EXPECT_EQ(lxpcget("US8NOOPX", 8, b.table(), 42, &nf), 42);
  EXPECT_EQ(nf, 1);
  EXPECT_EQ(lxpcget("", 0, b.table(), 10, &nf), 10);
  EXPECT_EQ(nf, 1);
}

TEST(Lxpget, ShortNameNeverReadsPastItself) {
  Boot b(kEntries);
  // a one-byte name at the very end of an allocation: no byte after it is read
  std::vector<char> one(1, 'u');
  int nf = 0;
  EXPECT_EQ(lxpcget(one.data(), 1, b.table(), 10, &nf), 10);
  EXPECT_EQ(nf, 1);
}

TEST(Lxpget, TerritoryVariants) {
  Boot b(kEntries);
  int nf = -1;
  // language GERMAN (boot index 2, id 2): the variant with key 2
  EXPECT_EQ(lxptget("switzerland", 11, b.table(), 4, 2, &nf), 6);
  EXPECT_EQ(nf, 0);
  // FRENCH (index 3, id 5)
  EXPECT_EQ(lxptget("SWITZERLAND", 11, b.table(), 4, 3, &nf), 7);
  // AMERICAN (index 1, id 1)
  EXPECT_EQ(lxptget("SWITZERLAND", 11, b.table(), 4, 1, &nf), 8);
  // no variant for the language: the first of the group, still found
  Boot b2({{0, 1, "AMERICAN"}, {0, 9, "X"}, {1, 7, "SWITZERLAND", 2, 0x01},
           {1, 7, "SWITZERLAND", 5, 0x11}, {2, 1, "US7ASCII"}});
  EXPECT_EQ(lxptget("SWITZERLAND", 11, b2.table(), 1, 2, &nf), 3);
  EXPECT_EQ(nf, 0);
  EXPECT_EQ(lxptget("FRANCE", 6, b.table(), 4, 1, &nf), 9);
  EXPECT_EQ(lxptget("NOWHERE", 7, b.table(), 4, 1, &nf), 4);
  EXPECT_EQ(nf, 1);
  EXPECT_EQ(lxptget(nullptr, 0, b.table(), 5, 1, &nf), 5);
  EXPECT_EQ(nf, 1);
}

TEST(Lxpget, SortsAndSuffixes) {
  Boot b(kEntries);
  int nf = -1;
  uint16_t opts = 0x55;
  EXPECT_EQ(lxpsget("german_ci", 9, b.table(), 0, &opts, &nf), 14);
  EXPECT_EQ(opts, 0x100);
  EXPECT_EQ(nf, 0);
  EXPECT_EQ(lxpsget("GERMAN_AI", 9, b.table(), 0, &opts, &nf), 14);
  EXPECT_EQ(opts, 0x700);
  EXPECT_EQ(lxpsget("GERMAN", 6, b.table(), 0, &opts, &nf), 14);
  EXPECT_EQ(opts, 0);
  EXPECT_EQ(lxpsget("BINARY", 6, b.table(), 15, &opts, &nf), 0);
  EXPECT_EQ(nf, 0);
  EXPECT_EQ(lxpsget("BINARY_AI", 9, b.table(), 15, &opts, &nf), 0);
  EXPECT_EQ(opts, 0x700);
  EXPECT_EQ(nf, 0);
  EXPECT_EQ(lxpsget("binary_ci", 9, b.table(), 15, &opts, &nf), 0);
  EXPECT_EQ(opts, 0x100);
  opts = 0x55;
  EXPECT_EQ(lxpsget("XY", 2, b.table(), 15, &opts, &nf), 15);
  EXPECT_EQ(opts, 0x55);  // a two-byte name leaves the options alone
  EXPECT_EQ(nf, 1);
  EXPECT_EQ(lxpsget("DUTCH", 5, b.table(), 15, &opts, &nf), 15);
  EXPECT_EQ(opts, 0);
  EXPECT_EQ(nf, 1);
}

TEST(Lxpe2i, IdSearch) {
  Boot b(kEntries);
  int nf = -1;
  struct C {
    uint16_t id, type, key, want;
    int nf;
  } cases[] = {
      {1, 0, 0, 1, 0},    {5, 0, 0, 3, 0},     {4, 0, 0, 1, 1},     {9, 1, 0, 9, 0},
      {7, 1, 2, 6, 0},    {7, 1, 5, 7, 0},     {7, 1, 1, 8, 0},     {7, 1, 9, 6, 0},
      {871, 2, 0, 13, 0}, {999, 2, 0, 10, 1},  {0, 3, 0, 0, 0},     {4096, 3, 0, 15, 0},
      {77, 3, 0, 0, 1},   {0, 4, 0, 0, 1},     {1, 4, 0, 0, 1},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(lxpe2i(c.id, b.table(), c.type, &nf, c.key), c.want)
        << "id " << c.id << " type " << c.type << " key " << c.key;
    EXPECT_EQ(nf, c.nf) << "id " << c.id << " type " << c.type;
  }
  // a NULL flag address is allowed
  EXPECT_EQ(lxpe2i(31, b.table(), 2, nullptr, 0), 11);
}

TEST(Lxpe2i, MatchInsideGroupSearchesWholeGroup) {
  // bisection may land on the group's last entry; the group is searched from
  // its first entry
  Boot b({{0, 1, "AMERICAN"}, {1, 1, "A"}, {1, 2, "B", 4, 0x02}, {1, 2, "B", 5, 0x12},
          {1, 2, "B", 6, 0x22}, {1, 3, "C"}, {1, 4, "D"}, {1, 5, "E"}, {2, 1, "US7ASCII"}});
  for (uint16_t key : {4, 5, 6}) {
    int nf = -1;
    EXPECT_EQ(lxpe2i(2, b.table(), 1, &nf, key), 3 + (key - 4));
    EXPECT_EQ(nf, 0);
  }
}

TEST(Lxpendian, HostOrder) {
  uint16_t one = 1;
  unsigned char c;
  std::memcpy(&c, &one, 1);
  EXPECT_EQ(lxpendian(), c ? 0 : 0x10);
}
