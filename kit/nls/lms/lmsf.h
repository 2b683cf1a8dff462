// Message files (.msb): the binary layout that the message-file service
// reads and the message-file writer (tools/msb) writes. Described here once.
//
// A file is a sequence of 512-byte blocks numbered from 1; block n starts at
// byte (n - 1) * 512. Integers are in the host's byte order.
//
//   block 1                    header (lmsfhdr; only its first 256 bytes are read)
//   block 2                    message level-1 index: L u16, entry j = highest
//                              message number of level-2 block j
//   blocks 3 .. L+2            message level-2 index blocks: 256 u16 each, entry k
//                              of block j = highest number in data block 256*j+k;
//                              unused entries are 0 and lie at the end
//   blocks L+3 .. L+D+2        message data blocks (data block d is block L+3+d)
//   block L+D+3                comment level-1 index: CL u16
//   blocks L+D+4 .. L+D+CL+3   comment level-2 index blocks
//   comment data block d       block L+D+CL+4+d
//
// A data block (lmsfdblk) holds a u16 count, then count + 1 entries of
// {number, attribute, offset} sorted by number; the text of entry i runs from
// its offset to the offset of entry i + 1 (the last entry is a sentinel that
// only ends the last text). Texts are not terminated and are in the file's
// character set, whose name the header carries coded.
//
// Who may call: the message-file service (lms), the writer and tests.
#ifndef QEN_KIT_NLS_LMSF_H
#define QEN_KIT_NLS_LMSF_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define LMSF_BLOCK 512u          // bytes of a block
#define LMSF_HDRREAD 256u        // bytes of the header that are read
#define LMSF_NAMEMAX 52u         // room of the coded character-set name
#define LMSF_MAXVERSION 2u       // files above this version are refused
#define LMSF_L2ENTRIES 256u      // entries of a level-2 index block
#define LMSF_MAXL 256u           // level-1 entries (u16) that fit one block
#define LMSF_MAXBLOCKS 65535u    // block numbers are 16-bit
#define LMSF_MAXTEXT 256u        // longest text a single-message buffer holds

// Coded character-set names: bytes 1 to 38 stand for this alphabet in order,
// byte 39 ends the name as a zero byte does; any other byte stands for itself.
#define LMSF_CODEALPHA "abcdefghijklmnopqrstuvwxyz0123456789$_"
#define LMSF_CODECOUNT 38u
#define LMSF_CODEEND 39u

// Block 1.
typedef struct lmsfhdr {
  uint8_t csname[LMSF_NAMEMAX];  // coded name, ended by 0 or 39
  uint32_t version;              // 0 .. 2
  uint8_t reserved1[8];
  uint32_t l;                    // message level-2 index blocks (= level-1 entries)
  uint32_t d;                    // message data blocks
  uint8_t reserved2[176];
  uint32_t cl;                   // comment level-2 index blocks
  uint32_t cd;                   // comment data blocks
} lmsfhdr;

// One entry of a data block.
typedef struct lmsfent {
  uint16_t number;
  uint16_t attr;
  uint16_t offset;               // byte offset of the text within the block
} lmsfent;

// A data block: the count, then count + 1 entries, then the texts.
typedef struct lmsfdblk {
  uint16_t count;
  lmsfent ent[(LMSF_BLOCK - 2) / sizeof(lmsfent)];
} lmsfdblk;

// Most entries (sentinel included) a data block can hold.
#define LMSF_MAXENT ((LMSF_BLOCK - 2u) / 6u)

#ifdef __cplusplus
static_assert(sizeof(lmsfhdr) == LMSF_HDRREAD, "header: 256 bytes");
static_assert(offsetof(lmsfhdr, version) == 52, "header: version at 52");
static_assert(offsetof(lmsfhdr, l) == 64, "header: L at 64");
static_assert(offsetof(lmsfhdr, d) == 68, "header: D at 68");
static_assert(offsetof(lmsfhdr, cl) == 248, "header: CL at 248");
static_assert(offsetof(lmsfhdr, cd) == 252, "header: CD at 252");
static_assert(sizeof(lmsfent) == 6, "entry: three u16");
static_assert(offsetof(lmsfdblk, ent) == 2, "data block: entries after the count");
static_assert(sizeof(lmsfdblk) <= LMSF_BLOCK, "data block fits a block");
static_assert(LMSF_MAXL * 2 == LMSF_BLOCK, "level-1 index: one block of u16");
#endif

#ifdef __cplusplus
}
#endif

#endif
