// Internal to the psinfo builder: scanners over the text of /proc files,
// kept apart so that the tests can feed them chosen text in chosen pieces.
//
// Every scanner works on (pointer, length) and never looks past the length:
// the text is not NUL-terminated, and a piece may end anywhere.
#ifndef QEN_PSINFO_SCAN_H
#define QEN_PSINFO_SCAN_H

#include <stddef.h>
#include <stdint.h>

#include "psinfo.h"

namespace qen_psinfo {

// The fields taken from /proc/<pid>/stat: "pid (comm) S ppid ... starttime(22) ...".
struct StatFields {
    char fname[PRFNSZ]; // comm, cut to 15 bytes, NUL-terminated
    int32_t ppid;
    unsigned long long starttime; // clock ticks after boot
};

// Parses the stat line. comm may hold blanks and ')' itself: it ends at the
// last ')'. Returns false when the line is malformed or cut short.
bool parse_stat(const char* text, size_t len, StatFields* out);

// The flags field (the ninth) of the stat line. Returns false when the line
// is malformed or cut short.
bool parse_stat_flags(const char* text, size_t len, unsigned long long* flags);

// Finds the line "<key>\t<real>\t<effective>..." of /proc/<pid>/status, with
// key such as "\nUid:". Returns 1 with both ids, 0 when the line is absent or
// malformed. When the text is only the start of the file (complete false),
// returns -1 where the rest might still hold or finish the line.
int parse_status_ids(const char* text, size_t len, bool complete, const char* key,
                     uint32_t* real, uint32_t* eff);

// Joins the words of a /proc/<pid>/cmdline text fed in pieces into one line,
// the words separated by single blanks, keeping at most size-1 bytes of it
// in out (size >= 1). The text's words are NUL-terminated; the last may lack
// its NUL when a process rewrote its command line.
class ArgsJoin {
public:
    ArgsJoin(char* out, size_t size) : out_(out), room_(size - 1) {}
    ArgsJoin(const ArgsJoin&) = delete;
    ArgsJoin& operator=(const ArgsJoin&) = delete;
    void feed(const char* p, size_t n);
    // true once out holds as much as it can: later pieces change nothing.
    bool full() const { return kept_ == room_; }
    // After the last piece: the line in out, NUL-terminated; its length.
    size_t finish();

private:
    char* out_;
    size_t room_;
    size_t kept_ = 0;
    size_t total_ = 0;
    char last_ = '\0';
};

// pr_psargs and pr_argc from /proc/<pid>/cmdline, fed in pieces. Keeps only
// the first 79 bytes of the words joined by single blanks, but counts every
// word.
class ArgsScan {
public:
    ArgsScan() = default;
    ArgsScan(const ArgsScan&) = delete;
    ArgsScan& operator=(const ArgsScan&) = delete;
    void feed(const char* p, size_t n);
    // After the last piece: fills psargs (NUL-terminated) and argc.
    void finish(char psargs[PRARGSZ], int32_t* argc);

private:
    char kept_[PRARGSZ] = {};
    ArgsJoin join_{kept_, PRARGSZ};
    int64_t nuls_ = 0;
    bool any_ = false;
    char last_ = '\0';
};

// The zone hook: the value of the first entry "QEN_ZONEID=..." of
// /proc/<pid>/environ, read as atoi reads it, fed in pieces. Stops as soon
// as the value is known, so a large environment is read only as far as the
// entry.
class ZoneScan {
public:
    // Returns true once the zone is known: no later piece can change it.
    bool feed(const char* p, size_t n);
    // After the last piece (or once feed returned true): the zone, 0 when no
    // entry holds the hook.
    int32_t zone() const;

private:
    enum class State { key, skip, space, digits, done };
    void start_value();
    State state_ = State::key;
    size_t matched_ = 0;
    bool negative_ = false;
    bool overflow_ = false;
    unsigned long value_ = 0;
};

} // namespace qen_psinfo

#endif
