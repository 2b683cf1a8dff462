// NLS string operations: copying, concatenation and lengths of texts,
// writing characters at a cursor, comparison, canonical composition and base
// letters.
#ifndef QEN_KIT_NLS_LXO_H
#define QEN_KIT_NLS_LXO_H

#include <stddef.h>
#include <stdint.h>

#include "lxm.h"

#ifdef __cplusplus
extern "C" {
#endif

// Flags of the copy and write operations.
#define LXO_CASE_LOWER 0x10u        // write the lower-case form (also a case conversion below)
#define LXO_CASE_UPPER 0x20u        // write the upper-case form (also a case conversion below)
#define LXO_NOADVANCE 0x200u        // copy a character without moving the input
#define LXO_NOROOMCHECK 0x800000u   // the caller guarantees the output room
#define LXO_SKIP_UNITS 0x1000u      // lxoSkip: n counts characters as encoded
#define LXO_SKIP_POINTS 0x2000u     // lxoSkip: n counts code points
#define LXO_SKIP_WHOLE 0x4000u      // lxoSkip: n counts complete characters
#define LXO_SKIP_UNITS2 0x8000u     // lxoSkip: as LXO_SKIP_UNITS
#define LXO_NULTERM 0x10000000u     // the source ends at a NUL (at most at its length)
#define LXO_EXACTLEN 0x20000000u    // the source is exactly its length; NULs are ordinary
#define LXO_CHARLEN 0x40000000u     // the source length counts characters

// Byte length of a UTF-16 text before its terminating unit of two zero bytes.
size_t lxsulen(const void *text);

// Writes a packed wide value (its bytes big-endian) as one character at the
// cursor, with the shift byte the cursor's state needs first, and advances
// it. Returns the bytes written, or 0 with status 6 when the cursor's room
// (unlimited with LXO_NOROOMCHECK) is too small; a shift-out byte written
// before that stays written.
size_t lxoWriWChar(lxmcur *out, uint32_t wide, uint32_t flags, lxglo *glo);

// Copies src[0..srclen), a plain string in the cursor handle's character
// set, to the cursor: at most dstsize bytes and never past the cursor's own
// length, never splitting a character. Advances the cursor and returns the
// bytes written; glo's nbytes receives the source bytes taken (a NUL that
// ended the source included), ncount the characters taken and ncount2 the
// characters written.
size_t lxoCpToOp(lxmcur *dst, size_t dstsize, const void *src, size_t srclen, uint32_t flags,
                 lxglo *glo);

// Copies the NUL-terminated src (a two-byte NUL in AL16UTF16) into dst of
// dstsize bytes and returns the bytes written, terminator included (also in
// nbytes). A source that does not fit is cut after its last whole character
// (a shift-sensitive copy ends shifted in) and status 6 is set; the copy is
// always terminated within dstsize (nothing is written when dstsize cannot
// hold a terminator).
size_t lxscop(void *dst, size_t dstsize, const void *src, const lxlangid *h, lxglo *glo);

// Appends the NUL-terminated src to the NUL-terminated dst (dstsize bytes in
// all) and returns the bytes appended, terminator included. In a
// shift-sensitive set a shift-in ending dst and a shift-out starting src are
// both dropped. nbytes receives the source bytes taken, nbytes2 the joined
// length with its terminator. A source that does not fit is cut as lxscop
// cuts it, with status 6.
size_t lxscat(void *dst, size_t dstsize, const void *src, const lxlangid *h, lxglo *glo);

// Copies src[0..srclen) into dst[0..dstsize), never splitting a character,
// and returns the bytes written; nbytes receives the source bytes copied
// (and the NUL that ended them). flags LXO_EXACTLEN: length-bounded, NULs
// are ordinary; any other value copies up to a NUL, and terminates the copy
// when room is left (in a shift-sensitive set only with flags exactly
// LXO_NULTERM). A shift-sensitive copy always ends shifted in.
size_t lxsCpStr(void *dst, size_t dstsize, const void *src, size_t srclen, uint32_t flags,
                const lxlangid *h, lxglo *glo);

// Copies at most srclen bytes from the src cursor to the dst cursor (at
// most dstsize bytes, and within both cursors' texts), never splitting a
// character; both cursors advance and keep their shift states (no closing
// shift byte is written). LXO_NULTERM: a single-byte or AL16UTF16 source
// ends after its NUL; without LXO_EXACTLEN a multibyte source ends after a
// character whose last byte is NUL. nbytes receives the source bytes taken,
// ncount the characters taken, ncount2 those written.
size_t lxoCpStr(lxmcur *dst, size_t dstsize, lxmcur *src, size_t srclen, uint32_t flags,
                lxglo *glo);

// Conversions of the case operations (with LXO_NULTERM and LXO_EXACTLEN;
// LXO_CASE_LOWER and LXO_CASE_UPPER as above).
#define LXO_CASE_BINARY 0x1u        // ignore the handle's linguistic sort
#define LXO_CASE_INITCAP 0x40u      // initial capitals
#define LXO_CASE_BASE 0x200u        // base letters (accents stripped)
#define LXO_CASE_FOLD 0x400u        // case folding (through CASE_FOLDING)

// Converts the text at src (at most srclen bytes) into at most dstlen bytes
// at dst, in the source handle's character set: upper case, lower case,
// initial capitals, base letters or case folding as the flags ask. Advances
// both cursors (and keeps their shift states in a shift-sensitive set);
// returns the bytes written. nbytes and nbytes2 receive the bytes consumed
// and written, ncount and ncount2 the characters (16-bit; code units in a
// wide-unit set), the destination's mark2 the characters written. With
// LXO_NULTERM a NUL that ends the source is copied when room is left.
// Under a linguistic sort with special casing entries for the conversion
// (and without LXO_CASE_BINARY) a character may become up to three, and a
// pair may be converted as one.
// Status 6 when the destination was too small for the source, 26 when the
// named object the conversion needs is missing.
size_t lxoCnvCase(lxmcur *dst, size_t dstlen, lxmcur *src, size_t srclen, uint32_t flags,
                  lxglo *glo);

// lxoCnvCase over byte strings in the handle's character set: closes a
// shift-sensitive output with shift-in (giving back the last character when
// there is no room for it) and, with LXO_NULTERM, appends the terminator
// when room is left. Returns the bytes written, those included.
size_t lxsCnvCase(void *dst, size_t dstlen, const void *src, size_t srclen, uint32_t flags,
                  const lxlangid *h, lxglo *glo);

// Flags of lxsCnvEqui and lxsCnvSimple.
#define LXS_CASE_UPPER 0x20u        // lxsCnvSimple: upper case (else lower)
#define LXS_CASE_INITCAP 0x40u      // lxsCnvSimple: initial capitals
#define LXS_EQUI_TOSINGLE 0x80u     // lxsCnvEqui: multibyte to single-byte equivalents
#define LXS_EQUI_TOMULTI 0x100u     // lxsCnvEqui: single-byte to multibyte equivalents

// Copies src[0..srclen) to dst[0..dstlen), replacing characters by their
// single-byte or multibyte equivalents as the flags ask, and NUL-terminates
// within dstlen. Returns the bytes written (the NUL included); nbytes
// receives the source bytes consumed.
size_t lxsCnvEqui(void *dst, size_t dstlen, const void *src, size_t srclen, uint32_t flags,
                  const lxlangid *h, lxglo *glo);

// Case conversion of a single-byte text through the handle's byte tables,
// in place or into dst: lower case, or upper case (LXS_CASE_UPPER), or
// initial capitals (LXS_CASE_INITCAP). With LXO_EXACTLEN exactly len bytes;
// otherwise up to and including a NUL. Returns dst.
void *lxsCnvSimple(void *dst, const void *src, size_t len, uint32_t flags, const lxlangid *h,
                   lxglo *glo);

// Flags of the numeric-text writers and readers.
#define LXS_NUM_ROMAN 0x1u          // Roman numerals in letters
#define LXS_NUM_UROMAN 0x2u         // writers: Roman numeral characters where the set has them
#define LXS_NUM_DEC 0x4u            // decimal, with an optional sign
#define LXS_NUM_HEX 0x8u            // hexadecimal
#define LXS_NUM_GROUP 0x10u         // group separators between groups of three digits
#define LXS_NUM_SIGNED 0x200u       // readers, with LXS_NUM_UNSIGNED2: signed range
#define LXS_NUM_UNSIGNED2 0x400u    // readers: unsigned range unless LXS_NUM_SIGNED
#define LXS_NUM_UNSIGNED 0x800u     // unsigned value / range
#define LXS_NUM_UPPER 0x2000u       // writers: upper-case hexadecimal letters
#define LXS_NUM_SHIFTED 0x8000000u  // writers: the first output byte holds a shift-in byte;
                                    // readers, with LXS_NUM_ROMAN: a Roman month

// Writes value as text in the handle's character set into out[0..size):
// decimal or hexadecimal digits with a sign, group separators and zero
// padding to width bytes (0: as many as needed), or a Roman numeral (1 to
// 3999). Returns the bytes written; ncount2 receives the characters written.
// 0 with status 6 (no room), 10 (Roman value out of range) or 11 (no mode),
// writing nothing.
size_t lxsCnvIntToNumStr(void *out, size_t size, int32_t value, size_t width, uint32_t flags,
                         const lxlangid *h, lxglo *glo);

// lxsCnvIntToNumStr at a cursor, writing at most maxlen bytes and never past
// the cursor's text; a shifted-out cursor gets its shift-in byte first (in
// the numeric modes). Advances the cursor and adds ncount2 to its mark2.
size_t lxoCnvIntToNumStr(lxmcur *cur, size_t maxlen, int32_t value, size_t width,
                         uint32_t flags, lxglo *glo);

// Reads a 32-bit integer from text[0..len) in the handle's character set and
// stops at the first character that does not belong to it; nbytes receives
// the bytes consumed. Decimal, hexadecimal or a Roman numeral (free, or a
// month with LXS_NUM_SHIFTED). Status 9 when no number could be read, 10 on
// overflow, 12 for no Roman month (all return 0).
int32_t lxsCnvNumStrToInt(const void *text, size_t len, uint32_t flags, const lxlangid *h,
                          lxglo *glo);

// lxsCnvNumStrToInt at a cursor, reading at most maxlen bytes; advances the
// cursor by nbytes. A shifted-out cursor reads nothing.
int32_t lxoCnvNumStrToInt(lxmcur *cur, size_t maxlen, uint32_t flags, lxglo *glo);

// The value of the ASCII hexadecimal digit or letter in the big-endian
// UTF-16 unit at unit, else 0x7FFFFFFF.
int32_t lxsCnvNuInvalidNumber(const void *unit);

// Moves the cursor forward and returns the bytes passed (also in nbytes).
// Without a count flag n is a byte budget: whole characters that fit in it
// are passed. With one, exactly n characters are passed, or status 14 is set
// and nothing moves when the text holds fewer. LXO_NULTERM: a zero character
// ends the text. In AL16UTF16 and the UTF-8 family LXO_SKIP_POINTS counts a
// surrogate pair once, and LXO_SKIP_WHOLE counts complete characters (a
// Hangul jamo sequence, a surrogate pair or one character, with the
// combining marks after it); when the text ends inside the last character
// counted, the count stands with the cursor before it.
size_t lxoSkip(lxmcur *cur, size_t n, uint32_t flags, lxglo *glo);

// Flags of lxoCntByte.
#define LXO_CNT_COLUMNS 0x80000000u  // n counts display columns
#define LXO_SHIFT_COLUMN 0x80u       // display columns: a shift byte after a character is one

// The bytes that the next n characters (or, with LXO_CNT_COLUMNS, n display
// columns) at the cursor occupy within maxlen bytes and the text, never
// splitting a character; the cursor does not move. nbytes receives the
// result, nbytes2 the characters (columns) counted; status is cleared.
// LXO_NULTERM: a zero character ends the text (counted in display mode when
// it fits); LXO_EXACTLEN in a wide-unit set: count units by arithmetic.
size_t lxoCntByte(const lxmcur *cur, size_t maxlen, size_t n, uint32_t flags, lxglo *glo);

// The characters of str[0..len) in the handle's set; nbytes receives the
// bytes they occupy. A character is never split. LXO_NULTERM: a zero
// character ends the string. In AL16UTF16 LXO_SKIP_UNITS or LXO_SKIP_UNITS2
// count 16-bit units, LXO_SKIP_WHOLE complete characters (marks without a
// base passed uncounted), else code points; in the UTF-8 family
// LXO_SKIP_POINTS counts a coded surrogate pair once and LXO_SKIP_WHOLE
// complete characters; in AL32UTF8 LXO_SKIP_UNITS2 counts a four-byte
// character 2.
size_t lxsCntChar(const void *str, size_t len, uint32_t flags, const lxlangid *langid,
                  lxglo *glo);

// Flags of lxsCntXExc and lxsCntExc.
#define LXS_CNT_PAD 0x40u           // strip trailing pad characters, else white space
#define LXS_CNT_MBSPACE 0x20u       // multibyte space-class characters are white space too

// The byte length of str without its trailing pad characters (LXS_CNT_PAD)
// or white space, examining at most *len bytes and *count characters; a
// zero character ends the string unless LXO_EXACTLEN. On return *len holds
// that length (also the result), *count its characters, nbytes the bytes
// examined (a zero character that ended them included). A handle whose cs
// is the built-in 16-bit set 1000 is measured in big-endian units; an odd
// address there gives status 500 and 0.
size_t lxsCntXExc(const void *str, size_t *len, size_t *count, uint32_t flags,
                  const lxlangid *langid, lxglo *glo);

// lxsCntXExc with no character limit; nbytes2 receives the characters.
size_t lxsCntExc(const void *str, size_t len, uint32_t flags, const lxlangid *langid, lxglo *glo);

// The display width in columns of text[0..length); nbytes receives the
// bytes counted. A zero character ends the text (and is taken) unless
// LXO_EXACTLEN, which gives it no column; LXO_SHIFT_COLUMN: every shift byte
// of a shift-sensitive text is one column (a shift-sensitive text counts
// its characters only with LXO_NULTERM or LXO_EXACTLEN).
size_t lxsCntDisp(const void *text, size_t length, uint32_t flags, const lxlangid *h, lxglo *glo);

// Copies whole characters from src (at most srclen bytes) to dst (at most
// dstsize bytes) while their display width stays within columns; both
// cursors advance. A zero character ends the copy unless LXO_EXACTLEN.
// Returns the bytes written; nbytes receives the source bytes taken.
size_t lxoCpDisp(lxmcur *dst, size_t dstsize, lxmcur *src, size_t srclen, size_t columns,
                 uint32_t flags, lxglo *glo);

// Copies src (srclen bytes; SIZE_MAX: up to its NUL) into a field of width
// bytes at dst (LXO_CHARLEN in AL16UTF16: width counts characters) and pads
// it with pad (a big-endian unit in AL16UTF16). Without src the text is
// already in dst: the field begins at its position (srclen 1) or its start
// (srclen 0). Returns the field's bytes; nbytes receives the source bytes
// taken, nbytes2 the width when padding was written. A source that does not
// fit (a shift byte and a closing shift-in it needs counted) gives status 6
// and writes nothing.
size_t lxoPadStr(lxmcur *dst, lxmcur *src, size_t srclen, uint32_t pad, size_t width,
                 uint32_t flags, lxglo *glo);

// Copies the character at in to out (with the shift byte a shift-sensitive
// output needs first), at most outmax bytes and taking at most inmax; advances
// both cursors. Returns the bytes written; nbytes receives the bytes taken
// from in (shift bytes that followed the character included). Status 6 when
// out has no room, 34 when the input character is cut off.
size_t lxoCpChar(lxmcur *out, size_t outmax, lxmcur *in, size_t inmax, uint32_t flags,
                 lxglo *glo);

// lxoCpChar converting the character (LXO_CASE_LOWER, LXO_CASE_UPPER,
// LXS_EQUI_TOSINGLE, LXS_EQUI_TOMULTI): writes its case form or its
// single-byte or multibyte equivalent (the character itself when it has
// none), with the shift byte a shift-sensitive output needs for the form.
// The input moves by its own character length. A form (and its shift byte)
// that does not fit in the room is not written: status 6, both cursors stay.
// A cut-off input character ends the call with status 0.
size_t lxoCvChar(lxmcur *out, size_t outmax, lxmcur *in, size_t inmax, uint32_t flags,
                 lxglo *glo);

// Writes one single-byte character at out, after a shift-in byte when out is
// shifted out; no room check (the caller guarantees two bytes). Returns the
// bytes written, 1 or 2.
size_t lxoWriChar(lxmcur *out, uint8_t byte, uint32_t flags, lxglo *glo);

// The case form of the character at the cursor as a packed wide value:
// mode LXO_CASE_UPPER the upper-case form, LXO_CASE_LOWER the lower-case
// form, any other mode 0.
uint32_t lxoCnvCh2Wide(const lxmcur *cur, uint32_t mode, lxglo *glo);

// ---- Linguistic comparison ---------------------------------------------------

// Flags of the comparisons (with LXO_NULTERM: a NUL byte, or a NUL unit in a
// wide-unit set, ends a text before its length; other bits are ignored).
#define LXO_CMP_BINARY 0x1u         // ignore the handle's linguistic sort
#define LXO_CMP_NOCASE 0x10u        // case-insensitive
#define LXO_CMP_NOACCENT 0x200u     // accent-insensitive: compare base letters

// Compares llen bytes at the left cursor with rlen bytes at the right one
// under the left cursor's handle: negative, zero or positive (the sign alone
// counts). The handle's sort options extend the flags (accent-insensitive
// sorts add LXO_CMP_NOACCENT, else case-insensitive ones LXO_CMP_NOCASE).
// Binary order, the special sort's comparator, the multilingual or the
// monolingual comparison apply as the flags and the handle's sort decide;
// the sort and charset objects must be loaded. Both cursors come back with
// their pos, shifted and len. Status is cleared; a case or accent
// conversion or a special key that fails leaves its status, and the bytes
// then decide.
int lxoCmpStr(lxmcur *left, size_t llen, lxmcur *right, size_t rlen, uint32_t flags,
              lxglo *glo);

// Binary comparison of multibyte text character by character, honouring
// LXO_CMP_NOCASE, LXO_CMP_NOACCENT and LXO_NULTERM (without them, in a set
// whose bytes order as its characters, a plain byte comparison). The
// cursors do not move. lxoCmpStr's multibyte binary form.
int lxoBinCmpMutl(lxmcur *left, size_t llen, lxmcur *right, size_t rlen, uint32_t flags,
                  lxglo *glo);

// lxoCmpStr over two byte strings in the handle's character set (leading
// shift bytes of a shift-sensitive text are stepped over).
int lxsCmpStr(const void *left, size_t llen, const void *right, size_t rlen, uint32_t flags,
              const lxlangid *h, lxglo *glo);

// ---- Composition ------------------------------------------------------------

// Writes the canonically composed form of the len-byte text src, in the
// handle's character set, at dst (size bytes) and returns the bytes written.
// The table is table 15 of the AL16UTF16 object (of the handle's own object
// when its text is AL16UTF16); text of a non-Unicode set, or without that
// object, is copied unchanged. When the result does not fit, what fits is
// written (never part of a character) and the handle's environment gets
// status 6.
size_t lxcscom(const lxlangid *h, uint8_t *dst, size_t size, const uint8_t *src, size_t len);

// Composes one run of Hangul jamo and syllables of the big-endian UTF-16
// text src, from byte *srcidx up to srcend, into dst at byte *dstidx: as
// UTF-16 for AL16UTF16, else through cs's encoder (room for the encoded run
// is the caller's). The run ends before the first unit that is neither a
// jamo nor a syllable block unit; *reached receives where it ended. The run
// is committed (*srcidx and *dstidx moved past it) unless the text ends
// inside it without final in a set other than AL16UTF16, when both stay at
// the run's start. Returns *dstidx; 0 for an empty run or a non-Unicode cs.
size_t lxcsjmc(uint8_t *dst, size_t *dstidx, const uint8_t *src, size_t *reached, size_t *srcidx,
               size_t srcend, int final, const lxcsobj *cs, lxglo *glo);

// ---- Base letters and byte-string compare ----------------------------------

// Writes the base letters (BINARY_AI) of the text at in, len bytes, at out,
// within size bytes; returns the bytes written and advances both cursors.
// Flag LXLIB_COUNTED: a NUL byte does not end the text. Status 6 when the
// output is too small; glo's counts receive the bytes consumed and written
// and the characters read and written.
#define LXLIB_COUNTED 0x20000000u
size_t lxlibbletter(const lxnlsobj *mapping, lxmcur *out, size_t size, lxmcur *in, size_t len,
                    uint32_t flags, lxglo *glo);

// Compares two byte strings in the handle's character set: negative, zero or
// positive. Flags LXCMP_LING (use the handle's sort) and LXCMP_CI (ignore
// case); a left length of LXCMP_NUL means both strings are NUL-terminated.
#define LXCMP_LING 0x2u
#define LXCMP_CI 0x10u
#define LXCMP_NUL 0xFFFFFFFFu
int lxCmpStr(const void *left, const void *right, uint32_t llen, uint32_t rlen, uint32_t flags,
             const lxlangid *h, lxglo *glo);


#ifdef __cplusplus
}
#endif

#endif
