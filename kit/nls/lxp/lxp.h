// NLS parameter names and installation: splitting LANGUAGE_TERRITORY.CHARSET
// texts, looking objects up in the boot block by name or id, and installing a
// language, territory, character set, sort or display character set in a
// language handle.
#ifndef QEN_KIT_NLS_LXP_H
#define QEN_KIT_NLS_LXP_H

#include <stddef.h>
#include <stdint.h>

#include "lxl.h"

#ifdef __cplusplus
extern "C" {
#endif

// Item codes of the parts of a locale text.
enum {
  LXP_ITEM_TERRITORY = 78,
  LXP_ITEM_CHARSET = 79,
  LXP_ITEM_LANGUAGE2 = 82,
  LXP_ITEM_TERRITORY2 = 83,
  LXP_ITEM_CHARSET2 = 84,
  LXP_ITEM_LANGUAGE = 85
};

// Object types of the boot block.
enum {
  LXP_TYPE_LANGUAGE = 0,
  LXP_TYPE_TERRITORY = 1,
  LXP_TYPE_CHARSET = 2,
  LXP_TYPE_SORT = 3,
  LXP_TYPE_NAMED = 4
};

// ---- names and look-ups (read only the boot block, slot 0 of the table) ----

// The part of text[0..len) named by item, its length in *partlen; text and 0
// when the part is absent or empty.
const char *lxpname(const char *text, size_t len, int item, size_t *partlen);

// Boot index of the language name; 1 with *notfound 1 for a NULL, empty or
// unknown name.
uint16_t lxplget(const char *name, size_t len, const lxlobj *objtab, int *notfound);

// Boot index of the territory name, preferring the variant of language lang.
uint16_t lxptget(const char *name, size_t len, const lxlobj *objtab, uint16_t dflt,
                 uint16_t lang, int *notfound);

// Boot index of the character set name; dflt for "us8noop".
uint16_t lxpcget(const char *name, size_t len, const lxlobj *objtab, uint16_t dflt,
                 int *notfound);

// Boot index of the linguistic sort name after cutting a "_CI" (0x100) or
// "_AI" (0x700) suffix into *options; 0 for "BINARY".
uint16_t lxpsget(const char *name, size_t len, const lxlobj *objtab, uint16_t dflt,
                 uint16_t *options, int *notfound);

// Boot index of the object of the type with that id; for territories key
// selects the entry of a group whose language key equals it.
uint16_t lxpe2i(uint16_t id, const lxlobj *objtab, uint16_t type, int *notfound,
                uint16_t key);

// ---- installers (1 on success, 0 with the handle unchanged) ----------------

int lxplset(uint16_t lang, lxlangid *h, lxglo *glo);
int lxptset(uint16_t ter, lxlangid *h, lxglo *glo);
int lxpcset(uint16_t cs, lxlangid *h, lxglo *glo);
int lxpsset(uint16_t sort, uint16_t options, lxlangid *h, lxglo *glo);
int lxpdcset(uint16_t cs, lxlangid *h, lxglo *glo);
int lxpdload(lxlangid *h, lxglo *glo);

// The forward step of a shift-sensitive cursor (lxmfwdx for callers that
// know the set is shift-sensitive): at or past the end it moves one byte and
// gives 0.
size_t lxpmfwdx(lxmcur *cur, lxglo *glo);

// ---- cut positions (no incomplete character left at the end) ---------------

// For UTF-8 text begin..end, the position at which it must be cut; begin when
// it holds only continuation bytes or is empty.
const unsigned char *lxptmutf8(const unsigned char *begin, const unsigned char *end);

// The same for a table-driven multibyte set: the cut position of
// text[0..len); whole characters go to ncount and ncount2 of glo when the
// text is walked, and nbytes receives len (unless len is 0).
const unsigned char *lxptmult(const unsigned char *text, size_t len, const lxlangid *langid,
                              lxglo *glo);

// The host's byte-order flag of the NLS file formats: 0x10 big-endian, 0 little.
uint8_t lxpendian(void);

#ifdef __cplusplus
}
#endif

#endif
