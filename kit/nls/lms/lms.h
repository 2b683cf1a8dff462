// Message-file service: the text (and the cause/action comment) of a
// numbered message of a product and facility, in the caller's language and
// character set, read from the message files of lmsf.h.
//
// A caller opens a handle (lmshnd, its own memory) per product and facility
// with lmsaicmt, fetches texts with lmsagbf or lmsagbcmt and closes it with
// lmsatrm. The handle opens the file of the language's abbreviation, else a
// fallback language's, else the AMERICAN one; a file other than "us" opened
// from the first two tries gets the "us" file as a second file for messages
// the first lacks. A caller may attach a cache area (lmscache, its own
// memory) that keeps index and data blocks in memory. The service allocates
// nothing and records nothing on any error stack: results and the handle's
// status tell the caller what happened.
//
// Files are named, opened and read by the OS layer below (slms*), directly
// or through the virtual-file layer when the data package is loaded; its
// failures are reported in an sl_status with the SLMS_* codes.
//
// Who may call: the error manager's message texts, the health interface, and
// tests. Handles opened thread-safe may be shared by threads; others may not.
#ifndef QEN_KIT_NLS_LMS_H
#define QEN_KIT_NLS_LMS_H

#include <stddef.h>
#include <stdint.h>

#include "lfv.h"
#include "lmsf.h"
#include "los.h"
#include "lxl.h"
#include "slts.h"
#include "vzclient.h"

#ifdef __cplusplus
extern "C" {
#endif

// ---- OS layer ---------------------------------------------------------------

// Status codes of the OS layer.
enum {
  SLMS_OPEN = 7236,      // open failed
  SLMS_CLOSEMAGIC = 7237,  // close of a record without the magic
  SLMS_CLOSE = 7238,     // close failed
  SLMS_READMAGIC = 7239, // read from a record without the magic
  SLMS_SEEK = 7240,      // seek failed
  SLMS_READ = 7241,      // short read
  SLMS_HOME = 7242,      // VIRUZE_HOME could not be read (detail 0 holds it too)
  SLMS_TOOLONG = 7400    // a string or path does not fit its buffer
};

#define SLMS_MAGIC 0x63697265u
#define SLMS_HOMEMAX 256u   // most bytes of VIRUZE_HOME read into a path

// One open file: the magic while valid, the descriptor or the virtual file.
typedef struct slmsfile {
  uint32_t magic;
  int32_t fd;
  lfv_file *vf;
} slmsfile;

// <VIRUZE_HOME>/<product>/mesg/<facility><language>.msb, the part after
// VIRUZE_HOME lower-cased; product "tk2" (exactly) lives in "guicommon/tk2".
// Returns 0, or -1 with SLMS_HOME or SLMS_TOOLONG (the path and its NUL do
// not fit size bytes).
int slmsbfn(sl_status *st, char *path, size_t size, const char *product, const char *facility,
            const char *language);
// "/<directory>/<facility><language>.msb" (the file name lower-cased), or the
// lower-cased file name alone for an empty directory. 0, or -1 with
// SLMS_TOOLONG.
int slmsbdf(sl_status *st, char *path, size_t size, const char *directory, const char *facility,
            const char *language);
// Opens the file for reading. 1, or 0 with SLMS_OPEN.
int slmsop(sl_status *st, slmsfile *file, const char *path);
// Reads exactly size bytes at the byte offset; stores buf through out when
// out is given. 1, or 0 with SLMS_READMAGIC, SLMS_SEEK or SLMS_READ.
int slmsrd(sl_status *st, slmsfile *file, uint64_t offset, void *buf, void **out, size_t size);
// Closes the file and clears the record. 1, or 0 with SLMS_CLOSEMAGIC or
// SLMS_CLOSE (the record then stays).
int slmscl(sl_status *st, slmsfile *file);
// Copies src when its length is below size. 1, or 0 with SLMS_TOOLONG.
int slmstr(sl_status *st, const char *src, char *dst, size_t size);
// Writes the status text into buf, limited to the size of a pointer, and
// prints none of it to standard error (a bare newline).
void slmspe(sl_status *st, char *buf);

// Decodes a coded character-set name of at most LMSF_NAMEMAX bytes into out
// (at least LMSF_NAMEMAX + 1 bytes); returns its length.
size_t lmsfname(const uint8_t *coded, char *out);

// ---- Cache areas ------------------------------------------------------------

typedef struct lmshnd lmshnd;

// Header of a cached buffer, followed by a block or one message.
typedef struct lmscbuf {
  uint16_t low;            // lowest message number held
  uint16_t high;           // highest
  uint16_t count;          // entries of the block
  uint16_t index;          // data block number, or LMSC_SINGLE
  struct lmscbuf *next;    // next buffer of its list
} lmscbuf;

#define LMSC_SINGLE 0xFFFFu  // index of a single-message buffer

// A single-message buffer's body.
typedef struct lmscmsg {
  uint16_t attr;
  uint16_t len;
  uint8_t reserved[12];
  char text[LMSF_MAXTEXT];
} lmscmsg;

#define LMSC_BLOCKBUF (sizeof(lmscbuf) + LMSF_BLOCK)
#define LMSC_MSGBUF (sizeof(lmscbuf) + sizeof(lmscmsg))

// Kinds of buffers.
enum { LMSC_MSGIDX = 0, LMSC_MSGDATA = 1, LMSC_CMTIDX = 2, LMSC_CMTDATA = 3, LMSC_KINDS = 4 };

// Flags of an area.
#define LMSC_UNUSABLE 'X'
#define LMSC_MSGL2 0x01u     // the message level-2 index blocks are held
#define LMSC_MSGSHARE 0x02u  // the message share is in use
#define LMSC_CMTL2 0x04u     // the comment level-2 index blocks are held
#define LMSC_CMTSHARE 0x08u  // the comment share is in use

// The area's header; its buffers follow it.
typedef struct lmscache {
  uint8_t flags;
  uintptr_t size;                      // bytes of the area
  uintptr_t offset;                    // where the header lies in the area
  lmscbuf *anchor[LMSC_KINDS][2];      // per kind: free block buffers, free message buffers
  void *l1[2];                         // level-1 copies: messages, comments (or NULL)
  lmshnd *owner;                       // the handle attached, or NULL
} lmscache;

#ifdef __cplusplus
static_assert(sizeof(lmscache) == 14 * sizeof(void *), "area header: 112 bytes (56)");
static_assert(sizeof(lmscbuf) == 8 + sizeof(void *), "buffer header: 16 bytes (12)");
static_assert(LMSC_BLOCKBUF == LMSF_BLOCK + 8 + sizeof(void *), "block buffer: 528 (524)");
static_assert(LMSC_MSGBUF == 280 + sizeof(void *), "message buffer: 288 (284)");
#endif

// Prepares an area of size bytes whose header lies offset bytes into it.
// Returns 0, or -1 when it is too small (marked LMSC_UNUSABLE). Unless mode
// is 1 both shares are enabled.
int lmsaci1(void *area, size_t size, size_t offset, int mode);
int lmsacin(void *area, size_t size, int mode);
// Attaches a prepared area to an open handle: a message share and, with the
// comment flag, a comment share of cmtsize bytes. 0, or -1 when nothing was
// attached.
int lmsacb(lmshnd *h, void *area, int msgflag, int cmtflag, size_t cmtsize);
int lmsacbn(lmshnd *h, void *area, int msgflag);

// ---- Handles ----------------------------------------------------------------

// Statuses of a handle.
enum { LMS_FOUND = 0, LMS_NOFILE = 1, LMS_NOTFOUND = 2, LMS_FOUND2 = 3 };
// States of a part (messages, comments).
enum { LMS_PNONE = 0, LMS_PNOFILE = 1, LMS_POPEN = 2, LMS_PCACHED = 3 };

#define LMS_TEXTBUF 256

// A kit mutex with its owner and a count, re-entrant for its owner. holder
// is the owner's thread number while it holds the mutex, else 0; it is read
// and written atomically so that any thread may ask whether it is the owner.
typedef struct lms_mutex {
  slts_mutex mx;
  slts_tid owner;
  int32_t count;
  int32_t holder;
} lms_mutex;

struct lmshnd {
  const char *product;          // the caller's pointers; they outlive the handle
  const char *facility;
  uint16_t client_cs;           // the language handle's character set
  uint16_t ascii_cs;            // US7ASCII
  uint16_t file_cs;             // of the first file (the client's when none opened)
  lxglo *glo;
  int32_t attr;                 // of the last message found, 0 after a miss
  int32_t status;               // LMS_FOUND .. LMS_FOUND2 of the last operation
  uint8_t msg_state;            // LMS_P*
  uint8_t cmt_state;
  uint8_t single;               // 1: no second file open
  uint8_t second_active;        // 1 while a lookup searches the second file
  slmsfile file1;
  slmsfile file2;               // fd -1 when no second file is open
  uint32_t l, d;                // first file: message level-2 blocks, data blocks
  lmscbuf *msg_l2;              // cached message level-2 index blocks
  lmscbuf *msg_data;            // cached message data blocks and messages
  lmscache *area;
  uint16_t cs2;                 // second file's character set
  uint32_t l2, d2, cl2, cd2;    // second file's counts
  uint32_t cl, cd;              // first file's comment counts
  lmscbuf *cmt_l2;
  lmscbuf *cmt_data;
  slts_ctx *thr;                // set when the handle is thread-safe
  lms_mutex listmx;             // guards the cached-block lists and the files
  lms_mutex textmx;             // guards the text buffer
  SltsPrLock prlock;            // shared during a fetch, exclusive for the second file
  char text[LMS_TEXTBUF];
};

// Opens a handle for product and facility in the language of lang. dir: the
// directory of the files (NULL: the installation's); path: a file to open in
// place of the named ones (NULL: none). *msgcache and *cmtcache receive the
// bytes an area needs to hold every data block of a part (0 when no file
// opened). threadsafe 1 creates the locks; *lockfailed becomes 1 when they
// could not be made (the handle then works unlocked). Returns h; status
// LMS_NOFILE when no file opened.
lmshnd *lmsaicmt(lmshnd *h, const char *dir, const char *product, const char *facility,
                 int ignored, const lxlangid *lang, lxglo *glo, size_t *msgcache,
                 size_t *cmtcache, const char *path, int threadsafe, int *lockfailed);
// The message text into buf (size bytes, terminated), converted to the
// client's character set; the not-found text on a miss. Returns buf, or the
// handle's text buffer when buf is NULL.
char *lmsagbf(lmshnd *h, int number, char *buf, size_t size);
// lmsagbf that also fetches the comment of the number into cbuf when given:
// *cattr its attribute (0 and an empty text when it is missing). *attr and
// *status receive the message's attribute and the status when given.
char *lmsagbcmt(lmshnd *h, int number, char *buf, size_t size, int *cattr, char *cbuf,
                size_t csize, int *attr, int *status);
// Closes the handle, gives its buffers back to the area and zeroes it.
void lmsatrm(lmshnd *h);

// Converts length bytes of text from one character set into buf (size
// bytes), terminated.
void lmsapts(lmshnd *h, const char *text, size_t length, uint16_t from, uint16_t to, char *buf,
             size_t size);

#ifdef __cplusplus
}
#endif

#endif
