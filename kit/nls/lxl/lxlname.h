// Names and look-ups in the boot block (slot 0 of an object table): the
// parts of a LANGUAGE_TERRITORY.CHARSET text, boot indexes of objects by name
// or id, and the character-set objects of an environment or handle by id and
// name, with the single-byte table conversion between two sets.
#ifndef QEN_KIT_NLS_LXLNAME_H
#define QEN_KIT_NLS_LXLNAME_H

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

// ---- character sets ------------------------------------------------------

size_t lxhnsize(const lxcsobj *cs);
const lxcsobj *lxhci2h(uint16_t id, lxglo *glo);
const lxcsobj *lxhchtoid(const char *name, size_t length, lxglo *glo);
int lxhasc(const lxlangid *h, lxglo *glo);
uint16_t lxhcsn(const lxlangid *h, lxglo *glo);
uint16_t lxhh2ci(const lxcsobj *cs, lxglo *glo);
void *lxhmcnv(void *buf, const void *text, size_t length, const lxcsobj *target,
              const lxcsobj *source, lxglo *glo);

// The host's byte-order flag of the NLS file formats: 0x10 big-endian, 0 little.
uint8_t lxpendian(void);

#ifdef __cplusplus
}
#endif

#endif
