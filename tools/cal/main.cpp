// calw HOME SHORTNAME [era NAME ABBR FIRST LAST]... [dev JDAY SHIFT]...
// Writes HOME/nls/lxecal<SHORTNAME>.nlb with the given eras and deviations.
//
// SHORTNAME is the two-letter short name of a national calendar (ji, co, tb,
// pg, ah, eh); only the era calendars (ji, co, tb) read eras, and only the
// lunar ones (ah, eh) read deviations. FIRST, LAST and JDAY are day numbers
// as the date library counts them (astronomical Julian days, 1 to 5373484:
// 2447535 is 8 January 1989); LAST 0 is an era still running, else it is not
// before FIRST. SHIFT is a number of days (-32768 to 32767) as the lunar
// calendars read it: a deviation on the 29th or 30th of a month moves the
// later days SHIFT days on, one on the 1st moves them SHIFT - 10 days back.
// NAME holds at most 30 bytes, ABBR at most 15.
// Exit 0; 1 when the file cannot be written; 2 for bad usage (the reason,
// then the usage line).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "calw.h"
#include "ldx.h"

namespace {

constexpr int kExitFail = 1;
constexpr int kExitUsage = 2;
constexpr long kShiftMin = INT16_MIN;
constexpr long kShiftMax = INT16_MAX;

constexpr char kUsage[] =
    "usage: calw HOME SHORTNAME [era NAME ABBR FIRST LAST]... [dev JDAY SHIFT]...\n"
    "  writes HOME/nls/lxecal<SHORTNAME>.nlb; SHORTNAME: ji co tb (eras), ah eh\n"
    "  (deviations), pg; FIRST, LAST, JDAY: day numbers (astronomical Julian days,\n"
    "  1 to 5373484; 2447535 is 8 January 1989), LAST 0 for an era still running;\n"
    "  SHIFT: days, -32768 to 32767\n";

[[noreturn]] void refuse(const std::string &why) {
  std::fprintf(stderr, "calw: %s\n%s", why.c_str(), kUsage);
  std::exit(kExitUsage);
}

// A whole decimal number in [lo, hi]: digits with an optional leading minus,
// and nothing else (no blanks, no plus, no trailing text); refused otherwise.
long number(const char *text, long lo, long hi, const char *what) {
  const char *digits = text[0] == '-' ? text + 1 : text;
  bool plain = *digits != '\0';
  for (const char *p = digits; *p != '\0'; ++p) plain = plain && *p >= '0' && *p <= '9';
  errno = 0;
  char *end = nullptr;
  long v = plain ? std::strtol(text, &end, 10) : 0;
  if (!plain || errno != 0 || v < lo || v > hi)
    refuse(std::string(what) + " '" + text + "' is not a whole number from " + std::to_string(lo) +
           " to " + std::to_string(hi));
  return v;
}

std::string text(const char *value, size_t field, const char *what) {
  std::string s(value);
  if (s.size() >= field)
    refuse(std::string(what) + " '" + value + "' is longer than " + std::to_string(field - 1) +
           " bytes");
  return s;
}

bool known_calendar(const char *shortname) {
  for (int n = 1; n < LXE_NCAL; ++n)
    if (std::strcmp(lxetbn[n]->shortname, shortname) == 0) return true;
  return false;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc < 3) refuse("needs HOME and SHORTNAME");
  if (!known_calendar(argv[2]))
    refuse(std::string("no calendar has the short name '") + argv[2] + "'");
  calw::File f;
  for (int i = 3; i < argc;) {
    if (std::strcmp(argv[i], "era") == 0) {
      if (i + 4 >= argc) refuse("era needs NAME ABBR FIRST LAST");
      calw::Era e;
      e.name = text(argv[i + 1], LXE_NAME_FIELD, "era NAME");
      e.abbr = text(argv[i + 2], LXE_ABBR_FIELD, "era ABBR");
      e.first = int32_t(number(argv[i + 3], 1, LDX_JMAX, "era FIRST"));
      e.last = int32_t(number(argv[i + 4], 0, LDX_JMAX, "era LAST"));
      if (e.last != 0 && e.last < e.first)
        refuse(std::string("era LAST '") + argv[i + 4] + "' is before FIRST '" + argv[i + 3] + "'");
      f.eras.push_back(e);
      i += 5;
    } else if (std::strcmp(argv[i], "dev") == 0) {
      if (i + 2 >= argc) refuse("dev needs JDAY SHIFT");
      int32_t jday = int32_t(number(argv[i + 1], 1, LDX_JMAX, "dev JDAY"));
      int16_t shift = int16_t(number(argv[i + 2], kShiftMin, kShiftMax, "dev SHIFT"));
      f.devs.push_back({jday, shift, 0});
      i += 3;
    } else {
      refuse(std::string("unknown argument '") + argv[i] + "' (era or dev expected)");
    }
  }
  // The header counts each kind in 16 bits.
  if (f.eras.size() > UINT16_MAX || f.devs.size() > UINT16_MAX)
    refuse("more than 65535 eras or deviations");
  if (!calw::write(argv[1], argv[2], f)) {
    std::perror("calw");
    return kExitFail;
  }
  return 0;
}
