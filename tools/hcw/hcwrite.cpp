// hcwrite: writes an instance health file <home>/dbs/hc_<sid>.dat in the
// 64-bit or the 32-bit layout, the way an instance does: through the region
// file service (create, or attach for --update), then the fields through the
// mapping.
//
//   hcwrite [--home DIR] [--sid NAME] [--width 64|32] [--update]
//           [--magic N] [--magic2 N] [--version N] [--flags N] [--ready 0|1]
//           [--index N] [--pid N [--stime N]] [--record K=V,V,...]...
//           [--truncate BYTES]
//   hcwrite --help
//
//   --home, --sid   default: VIRUZE_HOME and VIRUZE_SID
//   --width         the layout; default: this build's word size
//   --update        change only the fields given, in an existing file; without
//                   it the file is created anew, zeroed, of the layout's
//                   length, with magics 63044, version vsnnum, flags 8
//                   (ready), index 0, and every event of every record in
//                   state 1 (supported, not set)
//   --flags         the whole flags word; --ready then sets or clears bit 3
//   --pid           the instance process; its start time is --stime, or, when
//                   that is not given, the process's own start time as the
//                   probe reads it (the process must be alive)
//   --record        state bytes of record K (0 to 9, or "all") for events 0,
//                   1, ... (at most 15 values, 0 to 255: 0 not supported,
//                   2 set, any other value not set); the events after the
//                   last value keep their state; repeatable, applied in order
//   --truncate      cut (or extend) the file to BYTES after writing
// Numbers are decimal, or hexadecimal with 0x. Exit 0, 1 on failure (with a
// message), 2 on bad usage (the reason, then the usage line).
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gimh_region.h"
#include "skgmsmr.h"
#include "skgp.h"
#include "vsnnum.h"

namespace {

constexpr int kExitFail = 1;
constexpr int kExitUsage = 2;

struct RecordEdit {
  int record;  // -1: all
  std::vector<uint8_t> states;
};

struct Options {
  const char *home = nullptr;
  const char *sid = nullptr;
  int width = static_cast<int>(sizeof(void *) * 8);
  bool update = false;
  std::optional<uint16_t> magic, magic2, flags;
  std::optional<uint32_t> version;
  std::optional<bool> ready;
  std::optional<uint8_t> index;
  std::optional<int32_t> pid;
  std::optional<int64_t> stime;
  std::vector<RecordEdit> records;
  std::optional<long long> truncate;
};

constexpr char kUsage[] =
    "usage: hcwrite [--home DIR] [--sid NAME] [--width 64|32] [--update] [--magic N]\n"
    "               [--magic2 N] [--version N] [--flags N] [--ready 0|1] [--index N]\n"
    "               [--pid N [--stime N]] [--record K=V,...]... [--truncate BYTES]\n";

// Any state byte but these two reads as "not set"; this is the one an
// instance writes for a supported event that is not set.
constexpr uint8_t kStateNotSet = 1;
static_assert(kStateNotSet != GIMH_STATE_UNSUPPORTED && kStateNotSet != GIMH_STATE_SET);

[[noreturn]] void usage(const char *why) {
  fprintf(stderr, "hcwrite: %s\n", why);
  fputs(kUsage, stderr);
  exit(kExitUsage);
}

[[noreturn]] void help() {
  fputs(kUsage, stdout);
  fputs("\n"
        "Writes the health file <VIRUZE_HOME>/dbs/hc_<VIRUZE_SID>.dat as an instance would.\n"
        "\n"
        "  --home DIR, --sid NAME  the file's home and instance; default: VIRUZE_HOME and\n"
        "                          VIRUZE_SID\n"
        "  --width 64|32           the layout (the instance's word size); default: this\n"
        "                          program's\n"
        "  --update                change only the fields given, in an existing file;\n"
        "                          without it the file is made anew: magics 63044, the\n"
        "                          client's version, ready, record 0 current, and every\n"
        "                          event of every record 1 (supported, not set)\n"
        "  --magic N, --magic2 N   the two magics\n"
        "  --version N             the version word\n"
        "  --flags N               the whole flags word\n"
        "  --ready 0|1             clear or set the ready flag (bit 3)\n"
        "  --index N               the current record\n"
        "  --pid N                 the instance process; its start time is read from\n"
        "                          /proc (the process must be alive) unless --stime N\n"
        "                          gives it\n"
        "  --record K=V,...        the states of record K (0 to 9, or all) for events 0,\n"
        "                          1, ... in order: 0 not supported, 1 not set, 2 set;\n"
        "                          events after the last value keep their state;\n"
        "                          repeatable. Events: 0 Abnormal Termination, 1 Instance\n"
        "                          Shutdown, 8 Instance Restart, 9 Open, 10 Mounted\n"
        "                          (Closed), ... 14\n"
        "  --truncate BYTES        cut (or extend) the file to BYTES after writing\n"
        "  --help                  this text\n"
        "\n"
        "Numbers are decimal, or hexadecimal after 0x. Exit code 0, 1 when the file\n"
        "cannot be written, 2 for bad usage.\n",
        stdout);
  exit(0);
}

// A whole number in [lo, hi]: decimal, or hexadecimal after 0x.
long long number(std::string_view text, long long lo, long long hi, const char *what) {
  std::string s(text);
  const char *p = s.c_str();
  int base = 10;
  bool neg = *p == '-';
  const char *digits = neg ? p + 1 : p;
  if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) base = 16;
  errno = 0;
  char *end = nullptr;
  long long v = strtoll(p, &end, base);
  if (s.empty() || errno != 0 || end == p || *end != '\0' || v < lo || v > hi) {
    std::string why = std::string("bad ") + what + ": " + s;
    usage(why.c_str());
  }
  return v;
}

RecordEdit record_edit(std::string_view arg) {
  size_t eq = arg.find('=');
  if (eq == std::string_view::npos) usage("--record needs K=V,...");
  RecordEdit e;
  std::string_view k = arg.substr(0, eq);
  e.record = k == "all" ? -1 : static_cast<int>(number(k, 0, GIMH_NRECORDS - 1, "record"));
  std::string_view rest = arg.substr(eq + 1);
  while (!rest.empty()) {
    size_t comma = rest.find(',');
    e.states.push_back(static_cast<uint8_t>(number(rest.substr(0, comma), 0, 255, "state")));
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
  }
  if (e.states.empty() || e.states.size() > GIMH_NEVENTS) usage("--record takes 1 to 15 states");
  return e;
}

Options parse(int argc, char **argv) {
  static constexpr std::string_view kValued[] = {
      "--home",  "--sid",   "--width", "--magic", "--magic2", "--version", "--flags",
      "--ready", "--index", "--pid",   "--stime", "--record", "--truncate"};
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    if (a == "--help" || a == "-h") help();
    if (a == "--update") {
      o.update = true;
      continue;
    }
    bool valued = false;
    for (std::string_view k : kValued) valued = valued || a == k;
    if (!valued) usage(("unknown option " + std::string(a)).c_str());
    if (i + 1 >= argc) usage((std::string(a) + " needs a value").c_str());
    const char *v = argv[++i];
    if (a == "--home") o.home = v;
    else if (a == "--sid") o.sid = v;
    else if (a == "--width") {
      o.width = static_cast<int>(number(v, 0, 64, "width"));
      if (o.width != 64 && o.width != 32) usage("--width is 64 or 32");
    } else if (a == "--magic") o.magic = static_cast<uint16_t>(number(v, 0, UINT16_MAX, "magic"));
    else if (a == "--magic2") o.magic2 = static_cast<uint16_t>(number(v, 0, UINT16_MAX, "magic"));
    else if (a == "--version") o.version = static_cast<uint32_t>(number(v, 0, UINT32_MAX, "version"));
    else if (a == "--flags") o.flags = static_cast<uint16_t>(number(v, 0, UINT16_MAX, "flags"));
    else if (a == "--ready") o.ready = number(v, 0, 1, "ready") == 1;
    else if (a == "--index") o.index = static_cast<uint8_t>(number(v, 0, UINT8_MAX, "index"));
    else if (a == "--pid") o.pid = static_cast<int32_t>(number(v, INT32_MIN, INT32_MAX, "pid"));
    else if (a == "--stime") o.stime = number(v, INT64_MIN, INT64_MAX, "start time");
    else if (a == "--record") o.records.push_back(record_edit(v));
    else o.truncate = number(v, 0, INT64_MAX, "length");
  }
  if (o.stime && !o.pid) usage("--stime needs --pid");
  if (o.width == 32 && o.stime && (*o.stime < INT32_MIN || *o.stime > INT32_MAX))
    usage("the 32-bit layout holds a 32-bit start time");
  return o;
}

[[noreturn]] void fail(const char *what, const slos_error &err) {
  fprintf(stderr, "hcwrite: %s: %s failed at %s", what, err.call, err.location);
  if (err.oserr != 0) fprintf(stderr, ": %s", strerror(err.oserr));
  if (err.other[0] != '\0') fprintf(stderr, " (%s)", err.other);
  fprintf(stderr, "\n");
  exit(kExitFail);
}

// The start time of a live process, looked up as the probe does.
int64_t live_start_time(int32_t pid) {
  static skgp_ops ops{};
  static skgp_ctx ctx;
  slos_error err{};
  if (!skgpinit(&err, &ctx, &ops, nullptr, 0)) fail("process services", err);
  skgp_pid p{};
  p.pid = pid;
  err = slos_error{};
  if (!skgpstime(&err, &ctx, &p)) {
    fprintf(stderr, "hcwrite: no start time for process %d (give --stime)\n", static_cast<int>(pid));
    fail("start time", err);
  }
  return p.stime;
}

// Writes the fields through the mapping; o.stime is set whenever o.pid is.
template <class Region>
void fill(Region *r, const Options &o) {
  if (!o.update) {
    r->magic = GIMH_MAGIC;
    r->magic2 = GIMH_MAGIC;
    r->version = vsnnum;
    r->flags = GIMH_FLG_READY;
    // A new file's instance supports every event and has set none; the
    // --record edits below then set (or withdraw) single events.
    for (gimh_record &rec : r->rec) memset(rec.state, kStateNotSet, sizeof rec.state);
  }
  if (o.magic) r->magic = *o.magic;
  if (o.magic2) r->magic2 = *o.magic2;
  if (o.version) r->version = *o.version;
  if (o.flags) r->flags = *o.flags;
  if (o.ready) r->flags = *o.ready ? (r->flags | GIMH_FLG_READY) : (r->flags & ~GIMH_FLG_READY);
  if (o.index) r->curidx = *o.index;
  if (o.pid) {
    r->pid.pid = *o.pid;
    r->pid.stime = static_cast<decltype(r->pid.stime)>(*o.stime);
  }
  for (const RecordEdit &e : o.records)
    for (int k = 0; k < GIMH_NRECORDS; ++k)
      if (e.record < 0 || e.record == k)
        for (size_t n = 0; n < e.states.size(); ++n) r->rec[k].state[n] = e.states[n];
}

}  // namespace

int main(int argc, char **argv) {
  Options o = parse(argc, argv);
  // Look a live start time up before the file is touched: a gone process
  // leaves an existing file as it was.
  if (o.pid && !o.stime) {
    o.stime = live_start_time(*o.pid);
    if (o.width == 32 && (*o.stime < INT32_MIN || *o.stime > INT32_MAX))
      usage("the 32-bit layout holds a 32-bit start time");
  }
  const size_t length = o.width == 64 ? GIMH_REGION64_SIZE : GIMH_REGION32_SIZE;

  skgmsmr_ctx ctx{};
  slos_error err{};
  void *addr = nullptr;
  if (skgmsmr_op(&err, &ctx, SKGMSMR_OP_INIT, 0, nullptr, nullptr, 0, 0, nullptr) != SKGMSMR_OK)
    fail("region handle", err);
  uint32_t op = o.update ? SKGMSMR_OP_ATTACH : SKGMSMR_OP_CREATE;
  if (skgmsmr_op(&err, &ctx, op, length, o.home, o.sid, SKGMSMR_MODE_RW, 0, &addr) != SKGMSMR_OK)
    fail(o.update ? "attach" : "create", err);

  if (o.width == 64)
    fill(static_cast<gimh_region64 *>(addr), o);
  else
    fill(static_cast<gimh_region32 *>(addr), o);

  // A new file has exactly the layout's length, or the length asked for.
  std::optional<long long> cut = o.truncate;
  if (!o.update && !cut) cut = static_cast<long long>(length);
  if (cut && ftruncate(ctx.fd, static_cast<off_t>(*cut)) != 0) {
    fprintf(stderr, "hcwrite: truncate: %s\n", strerror(errno));
    return kExitFail;
  }
  if (skgmsmr_op(&err, &ctx, SKGMSMR_OP_DETACH, length, nullptr, nullptr, 0, 0, &addr) != SKGMSMR_OK)
    fail("detach", err);
  skgmsmr_op(&err, &ctx, SKGMSMR_OP_TERM, 0, nullptr, nullptr, 0, 0, nullptr);
  return 0;
}
