// The NUMBER constants, their pointers and getters, and the character and
// digit tables.
#include "lnx.h"
#include "lnx_int.h"

#include <array>

using lnxi::kTab;

extern "C" {

const lnx_number lnxqzero[] = {0x01, 0x80};
const lnx_number lnxqpos1[] = {0x02, 0xC1, 0x02};
const lnx_number lnxqtwo[] = {0x02, 0xC1, 0x03};
const lnx_number lnxqten[] = {0x02, 0xC1, 0x0B};
const lnx_number lnxqneg1[] = {0x03, 0x3E, 0x64, 0x66};
const lnx_number lnxqpi[] = {0x15, 0xC1, 0x04, 0x0F, 0x10, 0x5D, 0x42, 0x24, 0x5A, 0x50, 0x21, 0x27,
                             0x2F, 0x1B, 0x2C, 0x27, 0x21, 0x50, 0x33, 0x1D, 0x55, 0x15};
const lnx_number lnxqe[] = {0x15, 0xC1, 0x03, 0x48, 0x53, 0x52, 0x53, 0x55, 0x3C, 0x05, 0x35, 0x24,
                            0x25, 0x03, 0x58, 0x30, 0x0E, 0x35, 0x43, 0x19, 0x62, 0x4D};
const lnx_number lnxqln10[] = {0x15, 0xC1, 0x03, 0x1F, 0x1A, 0x56, 0x0A, 0x1E, 0x5F, 0x05, 0x39,
                               0x55, 0x02, 0x50, 0x5C, 0x2E, 0x2F, 0x55, 0x25, 0x2B, 0x08, 0x3D};

const lnx_number *const lnxqzptr = lnxqzero;
const lnx_number *const lnxqoptr = lnxqpos1;
const lnx_number *const lnxq10ptr = lnxqten;
const lnx_number *const lnxqn1ptr = lnxqneg1;
const lnx_number *const lnxqpiptr = lnxqpi;
const lnx_number *const lnxqeptr = lnxqe;
const lnx_number *const lnxqlntenptr = lnxqln10;

const lnx_number *const *lnxqgtzero(void) { return &lnxqzptr; }
const lnx_number *const *lnxqgtone(void) { return &lnxqoptr; }
const lnx_number *const *lnxqgtten(void) { return &lnxq10ptr; }
const lnx_number *const *lnxqgtneg1(void) { return &lnxqn1ptr; }
const lnx_number *const *lnxqgtpi(void) { return &lnxqpiptr; }
const lnx_number *const *lnxqgte(void) { return &lnxqeptr; }
const lnx_number *const *lnxqgtln10(void) { return &lnxqlntenptr; }

}  // extern "C"

namespace {

constexpr char kChars[] = "0123456789+- .,$<>()#~abcdefgilmprstvABCDEFILMPRST";
static_assert(sizeof kChars == LNXQ_NCHARS + 1);

// EBCDIC (code page 37) of the characters the tables hold.
constexpr char ebcdic(char c) {
  auto run = [](char c, char from, unsigned base) { return static_cast<char>(base + (c - from)); };
  if (c >= '0' && c <= '9') return run(c, '0', 0xF0);
  if (c >= 'a' && c <= 'i') return run(c, 'a', 0x81);
  if (c >= 'j' && c <= 'r') return run(c, 'j', 0x91);
  if (c >= 's' && c <= 'z') return run(c, 's', 0xA2);
  if (c >= 'A' && c <= 'I') return run(c, 'A', 0xC1);
  if (c >= 'J' && c <= 'R') return run(c, 'J', 0xD1);
  if (c >= 'S' && c <= 'Z') return run(c, 'S', 0xE2);
  switch (c) {
    case '+': return static_cast<char>(0x4E);
    case '-': return static_cast<char>(0x60);
    case ' ': return static_cast<char>(0x40);
    case '.': return static_cast<char>(0x4B);
    case ',': return static_cast<char>(0x6B);
    case '$': return static_cast<char>(0x5B);
    case '<': return static_cast<char>(0x4C);
    case '>': return static_cast<char>(0x6E);
    case '(': return static_cast<char>(0x4D);
    case ')': return static_cast<char>(0x5D);
    case '#': return static_cast<char>(0x7B);
    case '~': return static_cast<char>(0xA1);
    default: return '?';
  }
}

template <size_t... I>
constexpr std::array<char, LNXQ_NCHARS> chars(bool ebc, std::index_sequence<I...>) {
  return {{(ebc ? ebcdic(kChars[I]) : kChars[I])...}};
}
constexpr auto kAsc = chars(false, std::make_index_sequence<LNXQ_NCHARS>());
constexpr auto kEbc = chars(true, std::make_index_sequence<LNXQ_NCHARS>());

}  // namespace

extern "C" {

#define LNX_CHARS(name, tab) \
  const char name[LNXQ_NCHARS] = {tab[0], tab[1], tab[2], tab[3], tab[4], tab[5], tab[6], tab[7], \
    tab[8], tab[9], tab[10], tab[11], tab[12], tab[13], tab[14], tab[15], tab[16], tab[17],      \
    tab[18], tab[19], tab[20], tab[21], tab[22], tab[23], tab[24], tab[25], tab[26], tab[27],    \
    tab[28], tab[29], tab[30], tab[31], tab[32], tab[33], tab[34], tab[35], tab[36], tab[37],    \
    tab[38], tab[39], tab[40], tab[41], tab[42], tab[43], tab[44], tab[45], tab[46], tab[47],    \
    tab[48], tab[49]}
LNX_CHARS(lnxqasc_chars, kAsc);
LNX_CHARS(lnxqcom_chars, kAsc);
LNX_CHARS(lnxqebc_chars, kEbc);
#undef LNX_CHARS

const uint8_t (*const LnxqAdd_PPP)[2] = kTab.ppp;
const uint8_t (*const LnxqAdd_NNN)[2] = kTab.nnn;
const uint8_t (*const LnxqAdd_PNP)[2] = kTab.pnp;
const uint8_t (*const LnxqAdd_PNN)[2] = kTab.pnn;
const uint8_t (*const LnxqComponent_P)[2] = kTab.comp_p;
const uint8_t (*const LnxqComponent_N)[2] = kTab.comp_n;
const uint8_t *const LnxqDigit_P = kTab.digit_p;
const uint8_t *const LnxqDigit_N = kTab.digit_n;
const uint8_t *const LnxqTruncate_P = kTab.trunc_p;
const uint8_t *const LnxqTruncate_N = kTab.trunc_n;
const uint8_t *const LnxqRound_P = kTab.round_p;
const uint8_t *const LnxqRound_N = kTab.round_n;
const uint8_t *const LnxqFirstDigit = kTab.first;
const uint8_t *const LnxqNegate = kTab.negate;
const uint8_t *const LnxsubIdentity = kTab.identity;

const int32_t LnxqParameters[6][2] = {{17, 1}, {17, 0}, {8, 1}, {8, 0}, {4, 0}, {3, 1}};

}  // extern "C"
