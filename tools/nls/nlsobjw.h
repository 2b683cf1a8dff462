// Writer of NLS boot and data-object files: builds objects in memory in the
// host's byte order, remembering every number and every name it placed, so
// that a file of either byte order and with ASCII or EBCDIC names can be
// written from the same build.
#ifndef QEN_TOOLS_NLSOBJW_H
#define QEN_TOOLS_NLSOBJW_H

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace nlsw {

// A growing byte image with the positions of its numbers and names.
class Image {
 public:
  std::vector<uint8_t> bytes;
  void reserve_to(size_t n) { if (bytes.size() < n) bytes.resize(n, 0); }
  void put8(size_t at, uint8_t v) { reserve_to(at + 1); bytes[at] = v; }
  void put16(size_t at, uint16_t v);
  void put32(size_t at, uint32_t v);
  // A NUL-terminated name; with room 0 it takes strlen + 1.
  void putname(size_t at, const std::string &s, size_t room = 0);
  uint16_t get16(size_t at) const;
  uint32_t get32(size_t at) const;
  // Another image appended at the end, aligned to align bytes; returns its offset.
  size_t append(const Image &other, size_t align = 4);
  size_t size() const { return bytes.size(); }
  // Reverses every recorded number and flips format flag bit 0x10 at flagat.
  void to_other_order(size_t flagat);
  // Converts every recorded name to EBCDIC and clears format flag 0x01 at flagat.
  void to_ebcdic(size_t flagat);

 private:
  std::vector<std::pair<size_t, uint8_t>> nums_;   // offset, width
  std::vector<std::pair<size_t, size_t>> names_;   // offset, length
};

// The byte that slste2a turns into the ASCII byte c.
uint8_t ascii_to_ebcdic(uint8_t c);

// Common header of an object of the given type (size filled by finish()).
void object_header(Image &img, uint16_t type);
void finish_object(Image &img);  // sets the size word at 8

// ---- Character sets -------------------------------------------------------

enum class CsKind { Single, Fixed2, Trie, Trie32, Utf };

struct CharsetDesc {
  std::string name;
  uint16_t id = 0;
  CsKind kind = CsKind::Single;
  uint32_t flags = 0;          // extra flags; the kind adds its own
  uint8_t maxbytes = 1;
  uint8_t sb_repl = '?';
  uint32_t mb_repl = 0;
  uint32_t pad = ' ';
  uint8_t shift_in = 0, shift_out = 0;
  // Character bytes -> Unicode code point, one per character.
  std::vector<std::pair<std::vector<uint8_t>, uint32_t>> map;
  bool sparse_rows = true;     // encoding rows with few entries become sparse
  // Single byte -> the packed bytes of its multibyte equivalent (table 4).
  std::map<uint8_t, uint32_t> equivalents;
  // Byte classes (offset 140) that replace the ones derived from the map.
  std::map<uint8_t, uint16_t> byte_classes;
  // Class trie (table 3) and property trie (table 13): multibyte character
  // bytes -> 16-bit value.
  std::map<std::vector<uint8_t>, uint16_t> classes, properties;
  // Case maps of packed values (tables 8, 9), or with LXCSF_CASEDELTA in
  // flags the signed deltas indexed by a class value's low four bits.
  std::map<uint32_t, uint32_t> upper_pairs, lower_pairs;
  std::vector<int32_t> upper_deltas, lower_deltas;
  // Packed character -> combining class (table 6), numeric value (table 17).
  std::map<uint32_t, uint32_t> combining, numeric;
  std::vector<uint16_t> compose;  // canonical composition table (15), words
  // UTF-16 code-unit sets: the upper- and lower-case forms of U+0000..U+00FF
  // (offsets 1164 and 1676); the AL16UTF16 object: their properties (652).
  std::vector<uint16_t> upper16, lower16, latin_props;
};

// A primary composite: first + second -> composite (code points).
struct ComposePair {
  uint32_t first, second, composite;
};
// The words of a composition table (objw_comp.cpp) for CharsetDesc::compose.
std::vector<uint16_t> build_compose_table(const std::vector<ComposePair> &pairs);

// A single-byte desc whose map holds the 128 ASCII characters (add the rest).
CharsetDesc ascii_charset(const std::string &name, uint16_t id);

// Byte tries: blocks of 256 nodes of 8 bytes. The charset keeps the size of
// each trie's node area in a 16-bit count (offset 2188 on): the decoding
// trie's in nodes, the class and property tries' in bytes. A node area the
// count cannot hold is marked kTrieAreaTooLarge, and write_installation
// refuses to write that set in the other byte order.
inline constexpr size_t kTrieBlockNodes = 256;
inline constexpr size_t kTrieNodeSize = 8;
inline constexpr size_t kTrieAreaMax = 0xFFF8;
inline constexpr uint16_t kTrieAreaTooLarge = 0xFFFF;

// Builds a charset object. For Fixed2 the lead and trail ranges are taken
// from the map's two-byte characters.
Image build_charset(const CharsetDesc &desc);

// A stateful (ISO-2022 or HZ style) set: a header and up to seven entries,
// each a set the text can switch to, identified with a region of a base
// charset. Entry 0 is the initial set.
struct StatefulEntry {
  std::vector<uint8_t> designation;  // escape sequence (at most 6 bytes)
  std::vector<uint8_t> shift;        // SO / SI or a single shift (at most 2)
  uint16_t base = 0;                 // base charset id
  std::vector<uint8_t> pattern;      // leading bytes in the base (0xFF: any)
  bool single_shift = false;
  uint8_t base_len = 1;              // bytes of one character in the base
};
struct StatefulDesc {
  std::string name;
  uint16_t id = 0;
  bool locking_shifts = false;  // flag 0x4: SO/SI after designations
  uint8_t longest = 0;          // byte 100: longest character, sequences included
  uint8_t base_longest = 0;     // byte 101
  bool one_base = false;        // byte 102
  std::vector<StatefulEntry> entries;
};
Image build_stateful(const StatefulDesc &desc);

// Reads a mapping file: lines "0xBYTES 0xCODEPOINT [# comment]".
bool read_map(const std::string &path, CharsetDesc &desc, std::string &err);

// ---- Languages and territories --------------------------------------------

struct LanguageDesc {
  std::string name;
  uint16_t id = 1;
  uint32_t flags = 0;
  uint16_t territory = 1, charset = 1, sort = 0;
  std::string abbrev = "US";
  std::vector<std::string> days, abbr_days, months, abbr_months;
  std::string yes = "yes", no = "no", am = "AM", pm = "PM", ad = "AD", bc = "BC";
};
Image build_language(const LanguageDesc &desc);
LanguageDesc american();

struct TerritoryDesc {
  std::string name;
  uint16_t id = 1;
  std::string abbrev = "US";
  std::map<unsigned, std::string> strings;  // pool-offset field -> text
  std::map<unsigned, uint16_t> numbers;     // 16-bit field -> value
};
Image build_territory(const TerritoryDesc &desc);
TerritoryDesc america();

// A linguistic sort object with empty sections.
Image build_sort(const std::string &name, uint16_t id);

// ---- Fold mappings ----------------------------------------------------------

// Code point -> the code points it folds to (several for an expansion).
using FoldMap = std::map<uint32_t, std::vector<uint32_t>>;
// A fold mapping object (type 4) named name with object number objnum whose
// second level starts level2 bytes after its first (1024 CASE_FOLDING, 1280
// BINARY_AI).
Image build_fold(const FoldMap &folds, const std::string &name, uint16_t objnum, size_t level2);
Image build_case_folding(const FoldMap &folds);
// The object number of CASE_FOLDING.
inline constexpr uint16_t kCaseFoldingId = 17;
// Reads lines "CP OUT [OUT...]" (hexadecimal), as gen_fold.py writes them.
bool read_fold(const std::string &path, FoldMap &folds, std::string &err);
// Special and multilingual sorts (objw_msort.cpp).
// A multilingual sort (id 4096 and above): collation elements per UTF-16
// unit, expansions, contractions, canonical combining characters and
// supplementary characters. The writer makes the references and sets the
// collation flags of the tables it writes; flags adds the others (Thai
// reordering 0x8, reverse secondary 0x10, case 0x40, Hangul 0x80).
struct MultiSortDesc {
  std::string name;
  uint16_t id = 4096;
  uint32_t flags = 0;
  uint8_t compose = 0;  // byte +348
  bool direct = false;  // a direct table for units below 256 (flag 0x100)
  std::map<uint16_t, uint32_t> elements;                 // a unit's one element
  std::map<uint16_t, std::vector<uint32_t>> expansions;  // a unit's elements (two or more)
  // Contractions: units (2 to 7) -> elements. Each chain is written longest
  // first and ends with the first unit alone.
  std::map<std::vector<uint16_t>, std::vector<uint32_t>> contractions;
  // Canonical entries: (combining unit, preceding base, first combining unit
  // between them or 0) -> element. The unit's own element (elements) is its
  // entry with key 0.
  struct Canon {
    uint16_t mark, base, between;
    bool operator<(const Canon &o) const {
      return mark != o.mark ? mark < o.mark : base != o.base ? base < o.base : between < o.between;
    }
  };
  std::map<Canon, uint32_t> canonicals;
  std::map<uint32_t, std::vector<uint32_t>> supplementary;  // code point -> elements
};
Image build_multi_sort(const MultiSortDesc &desc);
// A special sort (flag 0x20) naming its comparator and key maker by their
// function numbers.
Image build_special_sort(const std::string &name, uint16_t id, uint16_t cmp_fn, uint16_t key_fn);
// A sort object with its sections (objw_sort.cpp).
struct SortRecord {  // a 12-byte record of the special case and base sections
  uint16_t ch = 0, second = 0;
  uint16_t v[3] = {0, 0, 0};
  bool any_second = false;  // byte 10: whatever the second character
};
// A special letter of a monolingual sort: one character, two keys per level.
struct SpecialLetter {
  uint16_t ch = 0;
  uint8_t major1 = 0, minor1 = 0, major2 = 0, minor2 = 0;
};
// A contracting pair of a monolingual sort: two characters, one key per level.
struct ContractingPair {
  uint16_t first = 0, second = 0;
  uint8_t major = 0, minor = 0;
};
struct SortDesc {
  std::string name;
  uint16_t id = 0, flags = 0, cmp_fn = 0, key_fn = 0;
  std::vector<std::pair<uint16_t, uint16_t>> special;      // {character, value}
  std::vector<std::pair<uint16_t, uint16_t>> contracting;  // {first, second}
  // With their keys, written after the entries above in the same sections.
  std::vector<SpecialLetter> letters;
  std::vector<ContractingPair> pairs;
  std::vector<SortRecord> upper, lower, base_records;      // sorted by character
  std::map<uint16_t, uint8_t> major, minor;                // UTF-16 value -> key
  std::map<uint16_t, uint16_t> base_letters;
};
Image build_sort_object(const SortDesc &desc);

// The named mapping BINARY_AI: a unit's base letters (one unit, or an
// expansion of several); pairs: packed surrogate pair -> 0 (keep), one unit,
// or a packed pair.
struct BinaryAiDesc {
  std::map<uint16_t, std::vector<uint16_t>> units;
  std::map<uint32_t, uint32_t> pairs;
};
Image build_binary_ai(const BinaryAiDesc &desc);

// ---- Boot file ------------------------------------------------------------

struct BootObject {
  uint16_t type = 0;
  uint16_t id = 0;
  std::string name;
  uint32_t size = 0;
  uint8_t langkey = 0, group = 0;
};

struct BootDesc {
  uint32_t version = 0x02100000u;
  uint8_t magic = 0xA5;
  std::vector<BootObject> objects;  // sorted by type, then id, when built
};
Image build_boot(BootDesc desc);

// ---- Installation ---------------------------------------------------------

bool host_big_endian();

struct Installation {
  bool big_endian = host_big_endian();  // byte order of the files
  bool ebcdic = false;        // names in EBCDIC
  BootDesc boot;
  std::vector<std::pair<BootObject, Image>> objects;
};

// Writes lx1boot.nlb (or lx2boot.nlb with bootdigit 2) and every object file
// into dir. Objects with an empty image are listed in the boot file only.
bool write_installation(const Installation &inst, const std::string &dir, unsigned bootdigit,
                        std::string &err);

// File base name of an object: lx<type><id as 4 hex digits>.
std::string object_name(unsigned type, unsigned id);

// Reads a description (see nlsobjw.cpp) and writes the installation.
bool write_from_description(const std::string &desc_path, const std::string &outdir,
                            std::string &err);

// ---- Installations for tests and benchmarks (objw_inst.cpp) ----------------
//
// The pieces every test installation is made of, so that an installation
// says only what is special to it. The test kit (tests/support/nlskit.h)
// writes them into directories removed when the test ends.

void add_object(Installation &inst, uint16_t type, uint16_t id, const std::string &name, Image img);
// An object under its description's own id and name.
void add_charset(Installation &inst, const CharsetDesc &desc);
void add_language(Installation &inst, const LanguageDesc &desc);
void add_territory(Installation &inst, const TerritoryDesc &desc);
// A boot entry without an object file, saying that the object holds size
// bytes.
void add_listed(Installation &inst, uint16_t type, uint16_t id, const std::string &name, uint32_t size);
// The named mapping CASE_FOLDING of the folds.
void add_case_folding(Installation &inst, const FoldMap &folds);

// With AMERICAN, AMERICA and US7ASCII.
Installation base_installation();
// The sets most installations carry: WE8ISO8859P1, UTF8, AL32UTF8 and
// AL16UTF16 (as latin1_charset() ... al16utf16_charset() give them).
void add_basic_sets(Installation &inst);
// base_installation() with the basic sets.
Installation basic_installation();

// WE8ISO8859P1 (id 31): every byte its own code point.
CharsetDesc latin1_charset();
// A set of the UTF-8 family: the ASCII characters, and the lead bytes
// classed by the length of the characters they start, up to maxbytes (3 or
// 4). A test adds the characters and classes it needs.
CharsetDesc utf8_family_charset(const std::string &name, uint16_t id, uint8_t maxbytes);
// UTF8 (id 871): up to three bytes, supplementary characters as six-byte
// surrogate pairs.
CharsetDesc utf8_charset();
// AL32UTF8 (id 873): up to four bytes.
CharsetDesc al32utf8_charset();
// AL16UTF16 (id 2000): two-byte units, every lead byte of one trail byte;
// no tables of its own.
CharsetDesc al16utf16_charset();
// Makes a set shift-sensitive with shift-in si and shift-out so: its
// single-byte characters while shifted in, its two-byte characters while
// shifted out (a fixed two-byte table); the shift bytes leave its map, and
// the bytes 0x80-0xFF carry no length class, since the shift state says how
// long a character is.
void make_shift_sensitive(CharsetDesc &desc, uint8_t si, uint8_t so);

// AMERICAN's texts under another name and id.
LanguageDesc american_as(const std::string &name, uint16_t id);
// GERMAN (id 5): German day and month names and their abbreviations, with
// the territory GERMANY (id 3) and the abbreviation "D".
LanguageDesc german();
// GERMANY (id 3): AMERICA's texts with the date format DD.MM.RR and weeks
// that start on Monday, abbreviated "DE".
TerritoryDesc germany();
// The linguistic sort GERMAN (id 2): a monolingual sort with special letters
// (flag 0x1) whose sections are empty.
Image german_sort();

}  // namespace nlsw

#endif
