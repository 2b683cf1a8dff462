// NLS file formats: every record of the NLS boot file and the data-object
// files (language, territory, character set, stateful character set, sort),
// the bits and codes stored in them, the text slots of the language and
// territory objects and the codes of the locale text items. Each layout is
// described here once, with its flags beside it; readers, the byte-order
// fix-up, the built-in objects and the writer of the tools place every field
// with these records and offsetof.
//
// The bottom of the NLS library: it includes nothing of the NLS, and every
// other NLS component may include it.
#ifndef QEN_KIT_NLS_LXF_H
#define QEN_KIT_NLS_LXF_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Offset of element i of the array field F of record R: with offsetof, how
// readers, writers and the built-in objects place the records' fields.
#define LX_ELEM(R, F, i) (offsetof(R, F) + sizeof(((R *)0)->F[0]) * (size_t)(i))
// Number of elements of the array field F of record R.
#define LX_NELEM(R, F) (sizeof(((R *)0)->F) / sizeof(((R *)0)->F[0]))

// ---- Object types -----------------------------------------------------------

#define LX_TLANG 0
#define LX_TTERR 1
#define LX_TCS 2
#define LX_TSORT 3
#define LX_TMAP 4

// ---- Versions and format bytes ----------------------------------------------

#define LX_BOOTMAGIC 0xA5
#define LX_OBJMAGIC 0x5A
#define LX_MINVERSION 0x02100000u      // oldest version a file may carry
#define LX_BUILTINVERSION 0x01100000u  // version of the built-in blocks
#define LX_RELEASE 0x0A000000u         // release word of the built-in blocks
#define LX_FMT_BIGENDIAN 0x10          // numbers are big-endian
#define LX_FMT_ASCII 0x01              // names are ASCII (clear: EBCDIC)
#define LX_BOOT_BUILTIN 0x1u           // boot flags: built-in block

// ---- Boot file ----------------------------------------------------------------

// Boot block header (48 bytes); entries of 40 bytes follow, entry 0 unused.
typedef struct lxboot {
  uint32_t version;
  uint32_t release;
  uint32_t size;      // header and all entries
  uint32_t size2;     // not interpreted
  uint32_t flags;     // LX_BOOT_BUILTIN
  uint16_t first[10]; // first entry of each object type 0 to 9
  uint16_t count;     // entries, entry 0 included; length of the object table
  uint16_t reserved;
  uint8_t magic;      // LX_BOOTMAGIC
  uint8_t fmtflags;   // LX_FMT_*
  uint16_t reserved2;
} lxboot;

// Boot entry (40 bytes). A territory's name ends before the last two bytes of
// the name room, which hold its language key and its group byte.
typedef struct lxbent {
  uint32_t size;      // size of the object (its file's length)
  uint16_t type;
  uint16_t id;
  uint8_t namelen;    // including the terminating NUL
  char name[31];      // NUL-terminated
} lxbent;

#define LX_BOOTHDR 48
#define LX_BENTSIZE 40
#define LX_BOOTNAME 31  // longest name room from offset 9 of an entry
#define LX_TERNAME 29   // name room of a territory entry
// Territory entries: the language key of the variant, and the group byte
// (position within the group high, the group's last low).
#define LX_BENT_LANGKEY LX_ELEM(lxbent, name, LX_TERNAME)
#define LX_BENT_GROUP LX_ELEM(lxbent, name, LX_TERNAME + 1)

// ---- Common header of every data object -------------------------------------

// 92 bytes.
typedef struct lxnlsobj {
  uint32_t version;
  uint32_t release;
  uint32_t size;      // must not exceed the boot entry's size
  uint32_t word3;
  uint32_t word4;
  uint16_t type;
  uint16_t reserved;
  uint8_t reserved1;
  uint8_t magic;      // LX_OBJMAGIC, not checked
  uint8_t fmtflags;   // LX_FMT_*
  uint8_t reserved2[65];
} lxnlsobj;

#define LX_OBJHDR 92

// ---- Language object (type 0) ------------------------------------------------

// The fixed part; its string pool follows at LXLAN_POOL. Texts are UTF-16,
// each at a 16-bit pool offset (a text slot below); a text ends where the
// next slot's text begins, less its two-byte terminator.
typedef struct lxlanobj {
  lxnlsobj hdr;         // 0
  uint32_t flags;       // 92 LXLAN_F_*
  uint16_t id;          // 96
  uint16_t ter;         // 98 default territory
  uint16_t cs;          // 100 default character set
  uint16_t h102;        // 102
  uint16_t sort;        // 104 default sort
  uint16_t text[94];    // 106 pool offsets of the texts
  uint16_t name;        // 294 pool offset of the ASCII name
  uint16_t h296[2];     // 296
  uint16_t width[2];    // 300 widths the information call reports
  uint16_t longest[4];  // 304 longest month, day, short month, short day name
  uint16_t h312[6];     // 312
} lxlanobj;
#define LXLAN_POOL 324

// Language flags.
#define LXLAN_F_FLAG4 0x4u  // handed on to the handle as LXH_F_LANGFLAG4
#define LXLAN_F_RTL 0x8u    // written right to left

// Text slots of a language object: offsets of their pool-offset fields.
#define LXLAN_TEXT(k) LX_ELEM(lxlanobj, text, k)
#define LXLAN_ABBR LXLAN_TEXT(3)     // 112 the language's abbreviation
#define LXLAN_ABDAY LXLAN_TEXT(4)    // 114 abbreviated day names, Sunday first (7)
#define LXLAN_DAY LXLAN_TEXT(11)     // 128 day names, Sunday first (7)
#define LXLAN_ABMONTH LXLAN_TEXT(18) // 142 abbreviated month names, January first (12)
#define LXLAN_MONTH LXLAN_TEXT(30)   // 166 month names, January first (12)
#define LXLAN_YES LXLAN_TEXT(42)     // 190 the word for yes; the word for no follows
#define LXLAN_NO LXLAN_TEXT(43)      // 192
#define LXLAN_AM LXLAN_TEXT(44)      // 194 AM, PM, AD and BC follow in turn
#define LXLAN_PM LXLAN_TEXT(45)
#define LXLAN_AD LXLAN_TEXT(46)
#define LXLAN_BC LXLAN_TEXT(47)      // 200

// ---- Territory object (type 1) -----------------------------------------------

// The fixed part; its string pool follows at LXTER_POOL.
typedef struct lxterobj {
  lxnlsobj hdr;         // 0
  uint32_t flags;       // 92
  uint16_t id;          // 96
  uint16_t num[17];     // 98 numeric settings
  uint16_t text[46];    // 132 pool offsets of the texts
  uint16_t name;        // 224 pool offset of the ASCII name
  uint16_t h226;        // 226
} lxterobj;
#define LXTER_POOL 228

// Text slots of a territory object: offsets of their pool-offset fields. The
// slots named by the item that reads them hold texts the handle only reports.
#define LXTER_TEXT(k) LX_ELEM(lxterobj, text, k)
#define LXTER_UNION LXTER_TEXT(0)       // 132 union currency symbol (may be empty)
#define LXTER_ABBR LXTER_TEXT(1)        // 134 the territory's abbreviation
#define LXTER_DECIMAL LXTER_TEXT(2)     // 136 decimal character
#define LXTER_GROUP LXTER_TEXT(3)       // 138 group character
#define LXTER_ITEM46 LXTER_TEXT(4)      // 140
#define LXTER_ISOCURR LXTER_TEXT(5)     // 142 ISO currency code
#define LXTER_CURRENCY LXTER_TEXT(6)    // 144 currency symbol
#define LXTER_MONDECIMAL LXTER_TEXT(7)  // 146 monetary decimal character
#define LXTER_MONGROUP LXTER_TEXT(8)    // 148 monetary group character
#define LXTER_ITEM49 LXTER_TEXT(9)      // 150
#define LXTER_LISTSEP LXTER_TEXT(10)    // 152 list separator
#define LXTER_DEBIT LXTER_TEXT(11)      // 154 debit symbol
#define LXTER_CREDIT LXTER_TEXT(12)     // 156 credit symbol
#define LXTER_ITEM55 LXTER_TEXT(13)     // 158
#define LXTER_SYSDATEFMT LXTER_TEXT(15) // 162 date format in the system library's notation
#define LXTER_SYSTIMEFMT LXTER_TEXT(16) // 164 time format, the same
#define LXTER_DATEFMT LXTER_TEXT(17)    // 166 default date format
#define LXTER_TIMEFMT LXTER_TEXT(18)    // 168 default time format
#define LXTER_TIMEFMT2 LXTER_TEXT(19)   // 170 default time format of the time items
#define LXTER_TSFMT LXTER_TEXT(20)      // 172 default timestamp format
#define LXTER_TIMETZFMT LXTER_TEXT(21)  // 174 default time-with-zone format
#define LXTER_TSTZFMT LXTER_TEXT(22)    // 176 default timestamp-with-zone format
#define LXTER_ITEM140 LXTER_TEXT(23)    // 178
#define LXTER_ITEM139 LXTER_TEXT(24)    // 180
#define LXTER_ITEM142 LXTER_TEXT(25)    // 182
#define LXTER_ITEM141 LXTER_TEXT(26)    // 184
#define LXTER_ITEM144 LXTER_TEXT(27)    // 186
#define LXTER_ITEM143 LXTER_TEXT(28)    // 188
#define LXTER_ITEM151 LXTER_TEXT(31)    // 194

// ---- Linguistic sort object (type 3) -----------------------------------------

// The fixed part; its name follows at LXSRT_NAME.
typedef struct lxsrtobj {
  lxnlsobj hdr;         // 0
  uint16_t id;          // 92
  uint16_t opt[4];      // 94 option values, each valid under its flag bit
  uint16_t flags;       // 102 LXSRT_F_*
  uint16_t cmp_fn;      // 104 function number of the comparison
  uint16_t key_fn;      // 106 function number of the key builder
  uint16_t h108[22];    // 108
  uint32_t sect[49];    // 152 section offsets
  uint32_t h348;        // 348
} lxsrtobj;
#define LXSRT_NAME 352

// Sort flags.
#define LXSRT_F_LINGUISTIC 0x1Fu  // the kinds of a linguistic sort
#define LXSRT_SPECIALSORT 0x20u   // compared through the special sort table

// Sections of a sort object: each lies in the data area at LXSRT_NAME, at
// the offset held in sect[k]; its 16-bit count is h108[k - 1].
enum {
  LXSRT_SPECIAL = 1,     // special letters: 8-byte records {char, value, 4 bytes}
  LXSRT_CONTRACT = 2,    // contracting pairs: 8-byte records {char, char, 4 bytes}
  LXSRT_SUPPER = 3,      // special upper case: 12-byte records (below)
  LXSRT_SLOWER = 4,      // special lower case
  LXSRT_SBASE = 5,       // special base letters
  LXSRT_MAJOR = 6,       // major keys: two-level table of key bytes
  LXSRT_MINOR = 7,       // minor keys
  LXSRT_BASE = 8,        // base letters: two-level table of 16-bit values
  LXSRT_S9 = 9,          // a lxsrts9 head, then its nbytes of 32-bit words
  LXSRT_S10 = 10,        // lxsrts10 records up to section 11
  LXSRT_S11 = 11,        // 32-bit words up to section 12
  LXSRT_S12 = 12,        // lxsrts12 records up to section 13
  LXSRT_S13 = 13,        // 32-bit words up to section 14
  LXSRT_S14 = 14         // (where section 13 ends)
};
#define LXSRT_REC8 8
#define LXSRT_REC12 12     // {char, second char, values...}, byte 10: any second
#define LXSRT_ANYSECOND 10
// A record of the special upper-case, lower-case and base-letter sections: a
// character, the character after it, three output values, whether it
// matches the first character whatever follows (LXSRT_ANY) or both (LXSRT_BOTH),
// and the number of outputs in use.
typedef struct lxsrtrec12 {
  uint16_t ch;
  uint16_t second;
  uint16_t v[3];
  uint8_t match;  // at LXSRT_ANYSECOND
  uint8_t nout;
} lxsrtrec12;
#define LXSRT_ANY 1
#define LXSRT_BOTH 2
#define LXSRT_MULTI 4096   // sort ids from here on are multilingual
#define LXSRT_SECT_NAME 47 // the section that holds the sort's name

// The 8-byte records of sections LXSRT_SPECIAL and LXSRT_CONTRACT: a special
// letter, one UTF-16 value with two keys at each level, and a contracting
// pair, two values with one key at each level.
typedef struct lxpsplet {
  uint16_t ch;
  uint16_t unused;
  uint8_t major1, minor1, major2, minor2;
} lxpsplet;
typedef struct lxpcpair {
  uint16_t first, second;
  uint8_t major, minor;
  uint16_t unused;
} lxpcpair;

// An entry of the two-level tables (sections LXSRT_MAJOR, LXSRT_MINOR and
// LXSRT_BASE): the high byte of the characters of its block, a byte, and the
// block's offset from the section's start. The entries are sorted by high
// byte; the blocks follow them.
typedef struct lxsrtblk {
  uint8_t hi;
  uint8_t b1;
  uint16_t off;
} lxsrtblk;
#define LXSRT_BLOCKCHARS 256  // characters of a block
#define LXSRT_BASETAB 512     // 16-bit values of each table after the base-letter entries

// The head of section LXSRT_S9: 256 16-bit values and the byte count of the
// 32-bit words that follow it.
typedef struct lxsrts9 {
  uint16_t h[256];
  uint32_t nbytes;
} lxsrts9;
// A record of section LXSRT_S10: a 32-bit word, two bytes and 14 more.
typedef struct lxsrts10 {
  uint32_t w;
  uint8_t b[2];
  uint8_t rest[14];
} lxsrts10;
// A record of section LXSRT_S12: four bytes, a 32-bit word, two bytes, two
// bytes.
typedef struct lxsrts12 {
  uint8_t lead[4];
  uint32_t w;
  uint8_t h8[2];
  uint8_t b[2];
} lxsrts12;

// ---- Mapping object (type 4) -----------------------------------------------------

// The fixed part; its data area follows at LXMAP_DATA. Word k of the
// directory is the offset of list k in the data area (for the named mappings
// BINARY_AI and CASE_FOLDING, word LXMAP_W_NAME is the name's object offset).
typedef struct lxmapobj {
  lxnlsobj hdr;        // 0
  uint32_t w92;        // 92
  uint32_t dir[48];    // 96
  uint16_t id;         // 288 the mapping's object number
  uint16_t h290;       // 290
} lxmapobj;
#define LXMAP_DATA 292
#define LXMAP_W_NAME 46

// The named mappings BINARY_AI and CASE_FOLDING (type 4, ids 16 and 17).
#define LXMAP_CASEFOLD 17

// The named mapping BINARY_AI (type 4, id 16).
#define LXMAP_BINARY_AI 16

// The head of a list in a mapping's data area: its record count and two size
// bytes (what they size depends on the list); the records follow it.
typedef struct lxmaplist {
  uint16_t count;
  uint8_t a;
  uint8_t b;
} lxmaplist;
// A record of the ISO_VIRUZE_NAME_MAPPING lists at w3, w5 and w11: a 6-byte
// name and a 16-bit value.
typedef struct lxmapiso {
  char name[6];
  uint16_t value;
} lxmapiso;
// A record of the ISO_VIRUZE_NAME_MAPPING list at w8: two 4-byte strings.
typedef struct lxmapiso8 {
  char first[4];
  char second[4];
} lxmapiso8;
// A record of the CHAR_SUPERSET_MAPPING list at w1: two 16-bit values.
typedef struct lxmappair {
  uint16_t from;
  uint16_t to;
} lxmappair;
// The area at w0 of a fold mapping. CASE_FOLDING: three counts, then the
// fold table (w3), whose first level is 256 words by the high byte of a
// UTF-16 value, its second level right after the first (LXFOLD_LEVEL2 bytes
// from the table), then the expansion and supplementary cells. BINARY_AI's
// table starts at w0 itself, with a longer first level (its second level
// LXFOLD_BALEVEL2 bytes from the table) whose blocks start LXFOLD_BABLOCK0
// bytes into the second level. The byte-order fix-up reverses the words of
// this record at w0 of either. All 32-bit words.
typedef struct lxfoldarea {
  uint32_t count[3];
  uint32_t first[256];
} lxfoldarea;
#define LXFOLD_LEVEL2 1024u    // CASE_FOLDING
#define LXFOLD_BALEVEL2 1280u  // BINARY_AI
#define LXFOLD_BABLOCK0 12u    // BINARY_AI: the first block in the second level
#define LXFOLD_PAGE 1024u      // a second-level page: 256 words by the low byte
// Directory words of a fold mapping: the area, and the object offsets of its
// fold table, expansion cells and supplementary cells.
#define LXMAP_W_FOLDAREA 0
#define LXMAP_W_FOLDTABLE 3
#define LXMAP_W_FOLDEXP 4
#define LXMAP_W_FOLDSUPP 5
// Entries of a page that are not values: an expansion's cell, or the first
// supplementary cell of a high surrogate (index in the low 16 bits).
#define LXFOLD_KINDMASK 0xFFFF0000u
#define LXFOLD_EXPANSION 0xFFC20000u
#define LXFOLD_SUPPLEMENTARY 0xFFC50000u

// ---- Character-set object (type 2) -------------------------------------------

// Character-set ids with codecs of their own.
#define LXCS_US7ASCII 1
#define LXCS_WIDE799 799
#define LXCS_GB18030 854
#define LXCS_UTF8 871
#define LXCS_UTFE 872
#define LXCS_AL32UTF8 873
#define LXCS_UCS 1000
#define LXCS_AL16UTF16 2000
#define LXCS_AL16UTF16LE 2002

// The charset boot index that installing a handle's set refuses.
#define LXCS_REFUSEDIDX 797

// Charset flags (flags, offset 96).
#define LXCSF_ASCII 0x1u
#define LXCSF_DISPLAY 0x2u      // usable as a display set
#define LXCSF_SHIFT 0x4u
#define LXCSF_FLAG8 0x8u
#define LXCSF_CASEDELTA 0x10u
#define LXCSF_STATEFUL 0x80u
#define LXCSF_UNIT16 0x100u
#define LXCSF_TRIE 0x800u
#define LXCSF_FIXED 0x2000u
#define LXCSF_SURR6 0x4000u
#define LXCSF_UTF8SHAPE 0x8000u
#define LXCSF_LEAF32 0x10000000u

// Byte-class bits (bclass, the class trie's values). The two low bits count
// the bytes that follow a lead byte.
#define LXCC_TRAIL 0x0003u   // bytes after the first
#define LXCC_UPPER 0x0004u   // upper-case letter (it has a lower-case form)
#define LXCC_LOWER 0x0008u   // lower-case letter (it has an upper-case form)
#define LXCC_WIDE 0x0010u    // class trie values: double display width
#define LXCC_DIGIT 0x0020u   // decimal digit
#define LXCC_SPACE 0x0040u   // white space
#define LXCC_PUNCT 0x0080u   // punctuation
#define LXCC_CNTRL 0x0100u   // control
#define LXCC_XDIGIT 0x0200u  // hexadecimal digit
#define LXCC_BLANK 0x0400u   // the space characters
#define LXCC_ALPHA 0x0800u   // letter
#define LXCC_DELTA 0x000Fu   // sets with LXCSF_CASEDELTA: index of the case delta

// Table numbers of the data-area directory.
#define LXCT_DISPLAY 0
#define LXCT_CLASS 3
#define LXCT_EQUIV 4
#define LXCT_COMBINING 6
#define LXCT_UPPER 8
#define LXCT_LOWER 9
#define LXCT_M2U 12
#define LXCT_PROP 13
#define LXCT_U2M 14
#define LXCT_COMPOSE 15
#define LXCT_NUMERIC 17
#define LXCT_KEY18 18    // a trie the byte-order fix-up turns (node count at counts[18])
#define LXCT_NAME 46
#define LXCT_COUNT 48    // directory entries

#define LXCS_DATA 2476   // offset of the data area

// Entries of counts[].
#define LXCN_CLASSNODES LXCT_CLASS   // bytes of the class trie's nodes
#define LXCN_EQUIV LXCT_EQUIV        // nonzero when the equivalence list exists
#define LXCN_UPPER LXCT_UPPER        // pairs of the upper-case map
#define LXCN_LOWER LXCT_LOWER        // pairs of the lower-case map
#define LXCN_M2UNODES LXCT_M2U       // nodes of table 12's trie
#define LXCN_PROPNODES LXCT_PROP     // bytes of the property trie's nodes
#define LXCN_KEY18NODES LXCT_KEY18   // bytes of table 18's trie nodes

// The character-set object. All numbers in host order once loaded.
typedef struct lxcsobj {
  lxnlsobj hdr;          // 0
  uint16_t id;           // 92
  uint16_t w94;          // 94
  uint32_t flags;        // 96 LXCSF_*
  uint16_t rowlen;       // 100 fixed two-byte table: trail values per row;
                         //     stateful set: see lxcsstobj
  uint16_t h102[3];      // 102
  uint8_t eq_first;      // 108 equivalence list: first index
  uint8_t eq_last;       // 109 and last
  uint8_t sb_repl;       // 110 single-byte replacement
  uint8_t lead_lo;       // 111 lowest lead byte / highest last byte of a trie set
  uint8_t trail_lo;      // 112 lowest trail byte
  uint8_t shift_in;      // 113
  uint8_t shift_out;     // 114
  uint8_t maxbytes;      // 115
  uint8_t lead_hi;       // 116 highest lead byte
  uint8_t b117[5];       // 117
  uint16_t h122;         // 122
  uint32_t mb_repl;      // 124 multibyte replacement, 0 for none
  uint32_t pad;          // 128 pad (space) character
  uint32_t w132;         // 132
  uint32_t w136;         // 136
  uint16_t bclass[256];  // 140 byte class by first byte (LXCC_*)
  uint8_t upper[256];    // 652 AL16UTF16: 256 16-bit property values over upper and lower
  uint8_t lower[256];    // 908
  uint16_t sbu[256];     // 1164 UTF-16 value of each single byte
  uint16_t sb799[256];   // 1676 id-799 code of each single byte
  uint16_t counts[LXCT_COUNT];  // 2188 LXCN_*
  uint32_t dir[LXCT_COUNT];     // 2284 table directory
} lxcsobj;

// The built-in wide object (id 799) keeps its 2000 UTF-16 values where a
// character set keeps its byte classes.
#define LXCS_WKBVALUES offsetof(lxcsobj, bclass)
#define LXCS_WKBCODES 2000

// Encoding rows (table LXCT_U2M): 256 row records, one per high byte of a
// UTF-16 value, each naming the row's entries.
typedef struct lxcsrow {
  uint32_t at;      // offset of the row's data from the table's start
  uint8_t prefix;
  uint8_t flags;    // LXCSR_*; 0: the whole row is unmapped
  uint16_t h6;      // not read
} lxcsrow;
#define LXCSR_WIDTH 0x0Fu   // bytes per entry (0 reads as 1)
#define LXCSR_SPARSE 0x20u  // a 32-byte bitmap, then one entry per set bit
#define LXCSR_FOUR 0x40u    // four-byte row
#define LXCSR_ROWS 256      // records of a row table
#define LXCSR_BITMAP 32     // bytes of a sparse row's bitmap
#define LXCSR_ENTRIES 256   // entries of a dense row, one per low byte
#define LXCSR_PLANES 256    // LXCSF_LEAF32: plane offsets before the row tables
#define LXCSR_NOPLANE 0xFFFFFFFFu

// ---- Stateful character set (a character-set object with LXCSF_STATEFUL) ----

// One of the sets a stateful text can switch to (36 bytes).
typedef struct lxcsstent {
  uint8_t desig[6];    // 0 designation escape sequence
  uint8_t shift[2];    // 6 shift sequence (SO, SI, or a single shift)
  uint16_t dlen;       // 8 designation length (0: none)
  uint16_t slen;       // 10 shift length (0: none)
  uint16_t base;       // 12 id of the entry's base charset
  uint16_t h14;        // 14
  uint8_t h16[8];      // 16
  uint8_t pattern[4];  // 24 leading bytes of the set's characters in the base (0xFF: any high byte)
  uint32_t single;     // 28 nonzero: the shift is a single shift
  uint8_t blen;        // 32 bytes of one character in the base charset
  uint8_t h33[3];      // 33
} lxcsstent;

#define LXCS_STENTRIES 7  // entry 0 is the initial set

// The header of a stateful set: what differs from lxcsobj from offset 100.
typedef struct lxcsstobj {
  lxnlsobj hdr;        // 0
  uint16_t id;         // 92
  uint16_t w94;        // 94
  uint32_t flags;      // 96 LXCSF_STATEFUL, with LXCSF_SHIFT for locking shifts
  uint8_t longest;     // 100 most bytes of one character, sequences included
  uint8_t base_longest;  // 101 most bytes of one character in the base charset
  uint8_t one_base;    // 102 nonzero: every entry has the same base charset
  uint8_t h103;        // 103
  lxcsstent ent[LXCS_STENTRIES];  // 104
} lxcsstobj;

// ---- Locale text items ----------------------------------------------------------

// Codes of the items the handle's information calls read and set.
enum {
  LXI_DAY = 0,          // 0 to 6: day names, Sunday first
  LXI_ABDAY = 7,        // 7 to 13: abbreviated day names
  LXI_MONTH = 14,       // 14 to 25: month names, January first
  LXI_ABMONTH = 26,     // 26 to 37: abbreviated month names
  LXI_YES = 38,
  LXI_NO = 39,
  LXI_AM = 40,          // 40 to 43: AM, PM, AD, BC
  LXI_BC = 43,
  LXI_TERDECIMAL = 44,  // the territory's decimal and group characters
  LXI_TERGROUP = 45,
  LXI_TER46 = 46,
  LXI_TERMONDECIMAL = 47,
  LXI_TERMONGROUP = 48,
  LXI_TER49 = 49,
  LXI_TERLISTSEP = 50,
  LXI_TERDEBIT = 51,
  LXI_TERCREDIT = 52,
  LXI_ISOCURRENCY = 53,  // of the currency territory
  LXI_TERCURRENCY = 54,
  LXI_ISO55 = 55,        // of the currency territory
  LXI_SYSDATEFMT = 56,
  LXI_SYSTIMEFMT = 57,
  LXI_TERDATEFMT = 58,
  LXI_TERTIMEFMT = 59,
  LXI_LANGUAGE = 60,     // the language's name
  LXI_LANGABBR = 61,
  LXI_LANGCS = 62,
  LXI_LANGTER = 63,
  LXI_TERABBR = 64,
  LXI_DECIMAL = 65,
  LXI_GROUP = 66,
  LXI_MONDECIMAL = 67,
  LXI_MONGROUP = 68,
  LXI_CURRENCY = 69,
  LXI_ISOTERRITORY = 70,
  LXI_NUMCHARS = 71,
  LXI_MONCHARS = 72,
  LXI_LISTSEP = 73,
  LXI_DEBIT = 74,
  LXI_CREDIT = 75,
  LXI_DATEFMT = 76,
  LXI_DATELANG = 77,
  LXI_TERRITORY = 78,
  LXI_CHARSET = 79,
  LXI_SORT = 80,
  LXI_CALENDAR = 81,
  LXI_DISPNAME = 82,
  LXI_DIRECTION = 83,
  LXI_DISPCS = 84,
  LXI_LANGUAGE2 = 85,    // the language's name (buffer reader only)
  // Numeric items (lxhninfo): numbers of the territory, date language,
  // charset and sort objects, of the calendar and of the option flags.
  LXI_TERNUM6 = 86,      // 86 to 90: territory numbers num[6], num[7], num[0],
  LXI_TERNUM7 = 87,      //   num[8] and num[9]
  LXI_TERNUM0 = 88,
  LXI_TERNUM8 = 89,
  LXI_TERNUM9 = 90,
  LXI_LANWIDTH0 = 91,    // 91, 92: the date language's widths
  LXI_LANWIDTH1 = 92,
  LXI_LONGMONTH = 93,    // 93 to 96: longest month, short month, day and short
  LXI_LONGABMONTH = 94,  //   day name in characters (93 and 94 from the
  LXI_LONGDAY = 95,      //   calendar when one is set)
  LXI_LONGABDAY = 96,
  LXI_FIRSTDAY = 97,     // 97 to 101: territory numbers num[1] to num[5], the
  LXI_TERNUM2 = 98,      //   first being the first day of the week
  LXI_TERNUM3 = 99,
  LXI_TERNUM4 = 100,
  LXI_TERNUM5 = 101,
  LXI_TERFLAGS = 102,    // the territory's flags
  LXI_CSW94 = 103,       // the charset's word w94
  LXI_SORTOPT1 = 104,    // 104 to 107: sort options opt[1], opt[2], opt[0] and
  LXI_SORTOPT2 = 105,    //   opt[3], each under its flag bit (1 without)
  LXI_SORTOPT0 = 106,
  LXI_SORTOPT3 = 107,
  LXI_STORAGE = 108,
  LXI_LANG = 109,        // the whole language text (NLS_LANG)
  LXI_PADCHAR = 110,     // 110 to 112: the charset's words at pad
  LXI_CHAR3 = 112,
  LXI_LANGID = 113,      // the language's id
  LXI_TERID = 114,       // the territory's id
  LXI_LONGMONTHBYTES = 115,    // 115 to 118: items 93 to 96 in bytes of the
  LXI_LONGABMONTHBYTES = 116,  //   handle's character set
  LXI_LONGDAYBYTES = 117,
  LXI_LONGABDAYBYTES = 118,
  LXI_COMP = 119,
  LXI_TERUNION = 120,
  LXI_UNION = 121,
  LXI_TERTIMEFMT2 = 122, // 122 to 125: the territory's default time formats
  LXI_TERTSTZFMT = 125,
  LXI_TIMEFMT = 126,
  LXI_TSFMT = 127,
  LXI_TIMETZFMT = 128,
  LXI_TSTZFMT = 129,
  LXI_LENSEM = 130,
  LXI_CONVEXCP = 131,
  LXI_IMPCONV = 132,
  LXI_TER139 = 139,
  LXI_TER140 = 140,
  LXI_TER141 = 141,
  LXI_TER142 = 142,
  LXI_TER143 = 143,      // the long date format
  LXI_TER144 = 144,      // the timestamp format
  LXI_TER151 = 151       // the short date format
};

#ifdef __cplusplus
}  // extern "C"

// ---- The layouts as the files carry them, in both widths ----------------------

static_assert(sizeof(lxboot) == LX_BOOTHDR && sizeof(lxbent) == LX_BENTSIZE);
static_assert(offsetof(lxboot, first) == 20 && offsetof(lxboot, count) == 40);
static_assert(offsetof(lxboot, first) + 2 * 10 == offsetof(lxboot, count));
static_assert(offsetof(lxboot, magic) == 44 && offsetof(lxboot, fmtflags) == 45);
static_assert(offsetof(lxbent, type) == 4 && offsetof(lxbent, id) == 6);
static_assert(offsetof(lxbent, namelen) == 8 && offsetof(lxbent, name) == 9);
static_assert(LX_BENT_LANGKEY == 38 && LX_BENT_GROUP == 39 && LX_BENT_GROUP + 1 == LX_BENTSIZE);
static_assert(sizeof(lxnlsobj) == LX_OBJHDR && offsetof(lxnlsobj, size) == 8);
static_assert(offsetof(lxnlsobj, type) == 20 && offsetof(lxnlsobj, magic) == 25);
static_assert(offsetof(lxnlsobj, fmtflags) == 26);
static_assert(sizeof(lxlanobj) == LXLAN_POOL && offsetof(lxlanobj, flags) == 92);
static_assert(offsetof(lxlanobj, id) == 96 && offsetof(lxlanobj, ter) == 98);
static_assert(offsetof(lxlanobj, cs) == 100 && offsetof(lxlanobj, sort) == 104);
static_assert(offsetof(lxlanobj, text) == 106 && offsetof(lxlanobj, name) == 294);
static_assert(offsetof(lxlanobj, width) == 300 && offsetof(lxlanobj, longest) == 304);
static_assert(LXLAN_ABBR == 112 && LXLAN_ABDAY == 114 && LXLAN_DAY == 128);
static_assert(LXLAN_ABMONTH == 142 && LXLAN_MONTH == 166 && LXLAN_YES == 190 && LXLAN_BC == 200);
static_assert(sizeof(lxterobj) == LXTER_POOL && offsetof(lxterobj, flags) == 92);
static_assert(offsetof(lxterobj, id) == 96 && offsetof(lxterobj, num) == 98);
static_assert(offsetof(lxterobj, text) == 132 && offsetof(lxterobj, name) == 224);
static_assert(LXTER_UNION == 132 && LXTER_DECIMAL == 136 && LXTER_CURRENCY == 144);
static_assert(LXTER_LISTSEP == 152 && LXTER_DATEFMT == 166 && LXTER_TSTZFMT == 176);
static_assert(LXTER_ITEM151 == 194);
static_assert(sizeof(lxsrtobj) == LXSRT_NAME && offsetof(lxsrtobj, id) == 92);
static_assert(offsetof(lxsrtobj, opt) == 94 && offsetof(lxsrtobj, flags) == 102);
static_assert(offsetof(lxsrtobj, cmp_fn) == 104 && offsetof(lxsrtobj, key_fn) == 106);
static_assert(offsetof(lxsrtobj, sect) == 152);
static_assert(LX_ELEM(lxsrtobj, sect, LXSRT_SECT_NAME) == 340);
static_assert(sizeof(lxmapobj) == LXMAP_DATA && offsetof(lxmapobj, dir) == 96);
static_assert(offsetof(lxmapobj, id) == 288);
static_assert(sizeof(lxcsobj) == LXCS_DATA);
static_assert(offsetof(lxcsobj, id) == 92 && offsetof(lxcsobj, w94) == 94);
static_assert(offsetof(lxcsobj, flags) == 96 && offsetof(lxcsobj, rowlen) == 100);
static_assert(offsetof(lxcsobj, eq_first) == 108 && offsetof(lxcsobj, sb_repl) == 110);
static_assert(offsetof(lxcsobj, lead_lo) == 111 && offsetof(lxcsobj, trail_lo) == 112);
static_assert(offsetof(lxcsobj, shift_in) == 113 && offsetof(lxcsobj, shift_out) == 114);
static_assert(offsetof(lxcsobj, maxbytes) == 115 && offsetof(lxcsobj, lead_hi) == 116);
static_assert(offsetof(lxcsobj, h122) == 122 && offsetof(lxcsobj, mb_repl) == 124);
static_assert(offsetof(lxcsobj, pad) == 128 && offsetof(lxcsobj, w132) == 132);
static_assert(offsetof(lxcsobj, w136) == 136 && offsetof(lxcsobj, bclass) == 140);
static_assert(offsetof(lxcsobj, upper) == 652 && offsetof(lxcsobj, lower) == 908);
static_assert(offsetof(lxcsobj, sbu) == 1164 && offsetof(lxcsobj, sb799) == 1676);
static_assert(offsetof(lxcsobj, counts) == 2188 && offsetof(lxcsobj, dir) == 2284);
static_assert(LX_ELEM(lxcsobj, counts, LXCN_CLASSNODES) == 2194);
static_assert(LX_ELEM(lxcsobj, counts, LXCN_EQUIV) == 2196);
static_assert(LX_ELEM(lxcsobj, counts, LXCN_UPPER) == 2204);
static_assert(LX_ELEM(lxcsobj, counts, LXCN_LOWER) == 2206);
static_assert(LX_ELEM(lxcsobj, counts, LXCN_M2UNODES) == 2212);
static_assert(LX_ELEM(lxcsobj, counts, LXCN_PROPNODES) == 2214);
static_assert(LX_ELEM(lxcsobj, counts, LXCN_KEY18NODES) == 2224);
static_assert(LX_ELEM(lxcsobj, dir, LXCT_NAME) == 2468);
static_assert(sizeof(lxcsrow) == 8 && offsetof(lxcsrow, flags) == 5 && offsetof(lxcsrow, h6) == 6);
static_assert(sizeof(lxcsstent) == 36 && offsetof(lxcsstent, shift) == 6);
static_assert(offsetof(lxcsstent, dlen) == 8 && offsetof(lxcsstent, slen) == 10);
static_assert(offsetof(lxcsstent, base) == 12 && offsetof(lxcsstent, pattern) == 24);
static_assert(offsetof(lxcsstent, single) == 28 && offsetof(lxcsstent, blen) == 32);
static_assert(offsetof(lxcsstobj, id) == offsetof(lxcsobj, id));
static_assert(offsetof(lxcsstobj, flags) == offsetof(lxcsobj, flags));
static_assert(offsetof(lxcsstobj, longest) == offsetof(lxcsobj, rowlen));
static_assert(offsetof(lxcsstobj, one_base) == 102 && offsetof(lxcsstobj, ent) == 104);
static_assert(sizeof(lxcsstobj) == 104 + 36 * LXCS_STENTRIES);
static_assert(sizeof(lxcsstobj) <= LXCS_DATA);
static_assert(sizeof(lxpsplet) == LXSRT_REC8 && sizeof(lxpcpair) == LXSRT_REC8);
static_assert(offsetof(lxpsplet, major1) == 4 && offsetof(lxpsplet, minor1) == 5);
static_assert(offsetof(lxpsplet, major2) == 6 && offsetof(lxpsplet, minor2) == 7);
static_assert(offsetof(lxpcpair, second) == 2 && offsetof(lxpcpair, major) == 4);
static_assert(offsetof(lxpcpair, minor) == 5);
static_assert(sizeof(lxsrtblk) == 4 && offsetof(lxsrtblk, off) == 2);
static_assert(sizeof(lxsrtrec12) == LXSRT_REC12 && offsetof(lxsrtrec12, match) == LXSRT_ANYSECOND);
static_assert(sizeof(lxsrts9) == 516 && offsetof(lxsrts9, nbytes) == 512);
static_assert(sizeof(lxsrts10) == 20 && sizeof(lxsrts12) == 12 && offsetof(lxsrts12, w) == 4);
static_assert(sizeof(lxmaplist) == 4 && offsetof(lxmaplist, a) == 2 && offsetof(lxmaplist, b) == 3);
static_assert(sizeof(lxmapiso) == 8 && offsetof(lxmapiso, value) == 6);
static_assert(sizeof(lxmapiso8) == 8 && offsetof(lxmapiso8, second) == 4);
static_assert(sizeof(lxmappair) == 4);
static_assert(sizeof(lxfoldarea) == 1036 && offsetof(lxfoldarea, first) == 12);
static_assert(LX_ELEM(lxmapobj, dir, LXMAP_W_FOLDTABLE) == 108 && offsetof(lxmapobj, id) == 288);
#endif

#endif
