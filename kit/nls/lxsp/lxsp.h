// The English number speller: a non-negative integer in English words, as a
// cardinal ("one hundred twenty-three") or an ordinal ("one hundred
// twenty-third"), a year as years are read aloud ("nineteen ninety-nine"),
// and the two-letter ordinal suffix of a number. The words are composed in
// US7ASCII from word tables by a small rule interpreter and converted to the
// charset of the caller's language handle. Used by date rendering (the SP
// and TH suffixes and the YEAR element); reentrant, no allocation.
//
// Results are never NUL-terminated. NULL reports a failure: a text that
// does not fit (a conversion that stops short included), an unknown rule,
// a number of ten digits or more, 0 for a suffix, a negative year.
#ifndef QEN_KIT_NLS_LXSP_H
#define QEN_KIT_NLS_LXSP_H

#include <stddef.h>
#include <stdint.h>

#include "lxl.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LXSPL_ORDINAL 0x01u   // lxspln: spell the ordinal
#define LXSPL_RAW 0x80u       // lxspln: leave the text in US7ASCII

// The speller's configuration: its language number (0, English) and the
// charset id its words are written in (1, US7ASCII).
typedef struct lxsplcfg {
  uint16_t lang;
  uint16_t csid;
} lxsplcfg;
extern const lxsplcfg lxsplang;

// Room a single rule of lxsplndo may need at its output position.
#define LXSPL_RULE_ROOM 32

// number in words into out[0..outlen); a pointer just past the text.
char *lxspln(const lxlangid *h, uint32_t number, char *out, size_t outlen, uint32_t flags,
             lxglo *glo);

// Applies one rule character at *out (which must have LXSPL_RULE_ROOM bytes)
// over the digits at *digit, advancing both; value is the value the rule
// reads (-1: none, the rule reads the digits), *mark the last rule applied.
// 0 when the rule was applied, 1 for an unknown rule character.
int lxsplndo(int rule, char **out, const char **digit, uint16_t lang, int32_t value, int *mark);

// The ordinal suffix of number ("st", "nd", "rd", "th") into out[0..outlen).
char *lxsplth(const lxlangid *h, uint32_t number, char *out, size_t outlen, lxglo *glo);

// year (not negative) as read aloud into out[0..outlen).
char *lxsply(const lxlangid *h, int32_t year, char *out, size_t outlen, lxglo *glo);

#ifdef __cplusplus
}
#endif

#endif
