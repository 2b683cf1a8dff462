// Small services of the OS-dependent layer.
#include "slmisc.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

#include "pset.h"
#include "sltln.h"
#include "vzclient.h"

namespace {

constexpr char kDbs[] = "?/dbs";
constexpr char kHomeLine[] = "VIRUZE_HOME = ?\n";
constexpr int kSlbadJump = 1;

void clear(sl_status *st) { memset(st, 0, sizeof *st); }

// Replaces every occurrence of pat by "/" until none is left.
void fold(char *s, const char *pat) {
  const size_t plen = strlen(pat);
  for (char *p = strstr(s, pat); p != nullptr; p = strstr(s, pat))
    memmove(p + 1, p + plen, strlen(p + plen) + 1);
}

// The calendar fields of a broken-down time, in either record of them
// (sl_caltime, sl_systime).
template <class Cal>
void fill_cal(const struct tm &tm, Cal *out) {
  out->year = static_cast<decltype(out->year)>(tm.tm_year + 1900);
  out->month = static_cast<decltype(out->month)>(tm.tm_mon + 1);
  out->day = static_cast<decltype(out->day)>(tm.tm_mday);
  out->hour = static_cast<decltype(out->hour)>(tm.tm_hour);
  out->minute = static_cast<decltype(out->minute)>(tm.tm_min);
  out->second = static_cast<decltype(out->second)>(tm.tm_sec);
}

// Reads one byte of memory that may not be there: the probe's whole point,
// so the sanitizers leave this read to the fault handler.
__attribute__((no_sanitize("address", "undefined"), noinline)) void touch(const void *addr) {
  (void)*static_cast<const volatile char *>(addr);
}

}  // namespace

extern "C" void slbad(int sig, siginfo_t *info, void *uctx) {
  (void)sig;
  (void)info;
  (void)uctx;
  siglongjmp(sltenv, kSlbadJump);
}

extern "C" int slrac(const void *addr, size_t len) {
  struct sigaction act;
  memset(&act, 0, sizeof act);
  act.sa_sigaction = slbad;
  act.sa_flags = SA_RESTART | SA_SIGINFO;
  sigemptyset(&act.sa_mask);
  sigaddset(&act.sa_mask, SIGALRM);
  struct sigaction old_bus, old_segv;
  if (sigaction(SIGBUS, &act, &old_bus) != 0) return 1;
  if (sigaction(SIGSEGV, &act, &old_segv) != 0) {
    sigaction(SIGBUS, &old_bus, nullptr);
    return 1;
  }
  volatile int result = 1;
  if (SL_SETJMP(sltenv) == 0) {
    const char *p = static_cast<const char *>(addr);
    touch(p);
    touch(p + (len > 0 ? len - 1 : 0));
    result = 0;
  }
  sigaction(SIGBUS, &old_bus, nullptr);
  sigaction(SIGSEGV, &old_segv, nullptr);
  return result;
}

extern "C" void slnrm(sl_status *st, const char *name, size_t namelen, char *out, size_t outsize,
                      size_t *outlen) {
  *outlen = 0;
  if (outsize == 0) {
    clear(st);
    st->code = SLTLN_ERR_BADARG;
    return;
  }
  size_t len = 0;
  sltln(st, name, namelen, out, outsize - 1, &len);
  if (st->code != 0) return;
  out[len] = '\0';
  if (strstr(out, "..") != nullptr) {
    st->code = SLNRM_ERR_DOTDOT;
    return;
  }
  if (out[0] != '/' && out[0] != '+') {
    char dbs[SLNRM_MAX + 1];
    size_t dlen = 0;
    sltln(st, kDbs, sizeof kDbs - 1, dbs, SLNRM_MAX, &dlen);
    if (st->code != 0) return;
    const size_t need = dlen + len + 2;
    if (need > outsize || need > SLNRM_MAX) {
      st->code = SLNRM_ERR_LONG;
      st->detail[0] = static_cast<intptr_t>(need);
      st->detail[1] = static_cast<intptr_t>(outsize);
      st->detail[2] = SLNRM_MAX;
      return;
    }
    memmove(out + dlen + 1, out, len + 1);
    memcpy(out, dbs, dlen);
    out[dlen] = '/';
  }
  // Until neither is left: folding one can make the other.
  for (;;) {
    fold(out, "//");
    fold(out, "/./");
    if (strstr(out, "//") == nullptr && strstr(out, "/./") == nullptr) break;
  }
  *outlen = strlen(out);
}

extern "C" int slgei(sl_status *st, sl_msgfn fn, void *ctx, void *a, void *b) {
  return fn(ctx, st->code, 0, a, b, st->code);
}

extern "C" sl_status *slseti(sl_status *st) {
  clear(st);
  return st;
}

extern "C" int slcpuc(sl_status *st) {
  clear(st);
  psetid_t set = PS_NONE;
  unsigned count = 0;
  if (pset_bind(PS_QUERY, P_PID, P_MYPID, &set) == 0 && set != PS_NONE &&
      pset_info(set, nullptr, &count, nullptr) == 0)
    return static_cast<int>(count);
  errno = 0;
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  if (online > 0) return static_cast<int>(online);
  st->oserr = errno;
  return 0;
}

extern "C" int slgunm(sl_status *st) {
  if (st != nullptr) clear(st);
  if (slgsst) return 1;
  struct utsname u;
  if (uname(&u) != 0) {
    if (st != nullptr) {
      st->code = SL_ERR_UNAME;
      st->oserr = errno;
    }
    return 0;
  }
  auto put = [](char *dst, const char *src) {
    snprintf(dst, SLGS_FIELD, "%s", src);
  };
  put(slgsinfo.sysname, u.sysname);
  put(slgsinfo.nodename, u.nodename);
  put(slgsinfo.release, u.release);
  put(slgsinfo.version, u.version);
  put(slgsinfo.machine, u.machine);
  slgsst = 1;
  return 1;
}

extern "C" size_t slghst(sl_status *st, char *dst, size_t size) {
  if (!slgunm(st)) return 0;
  size_t n = std::min(strlen(slgsinfo.nodename), size);
  memcpy(dst, slgsinfo.nodename, n);
  return n;
}

extern "C" size_t slgsds(int item, char *dst, size_t size) {
  if (size == 0) return 0;
  if (item == 0) {
    // The untranslated line stays when the translation fails.
    size_t keep = std::min(sizeof kHomeLine - 1, size - 1);
    memcpy(dst, kHomeLine, keep);
    dst[keep] = '\0';
    sl_status st;
    size_t len = 0;
    char tmp[SLNRM_MAX + 1];
    sltln(&st, kHomeLine, sizeof kHomeLine - 1, tmp, std::min<size_t>(size - 1, SLNRM_MAX), &len);
    if (st.code != 0) return keep;
    memcpy(dst, tmp, len);
    dst[len] = '\0';
    return len;
  }
  static constexpr const char *kFormats[] = {"System name:\t%s\n", "Node name:\t%s\n",
                                             "Release:\t%s\n", "Version:\t%s\n",
                                             "Machine:\t%s\n"};
  if (item < 1 || item > 5) return 0;
  if (!slgunm(nullptr)) return 0;
  const char *fields[] = {slgsinfo.sysname, slgsinfo.nodename, slgsinfo.release,
                          slgsinfo.version, slgsinfo.machine};
  char line[SLGS_FIELD + 32];
  int n = snprintf(line, sizeof line, kFormats[item - 1], fields[item - 1]);
  if (n < 0) return 0;
  size_t len = std::min(static_cast<size_t>(n), size);
  memcpy(dst, line, len);
  return len;
}

extern "C" uint32_t slgtds(sl_status *st, sl_systime *out) {
  st->code = 0;
  struct timeval tv;
  if (gettimeofday(&tv, nullptr) != 0) {
    st->code = SL_ERR_TIME;
    st->oserr = errno;
    return 0;
  }
  time_t t = tv.tv_sec;
  struct tm tm;
  localtime_r(&t, &tm);
  fill_cal(tm, out);
  out->msec = static_cast<uint16_t>(tv.tv_usec / 1000);
  out->zero = 0;
  return static_cast<uint32_t>(tv.tv_sec);
}

extern "C" sl_systime *slgtd(sl_status *st, sl_systime *out) {
  slgtds(st, out);
  return out;
}

extern "C" char *slcts(uint32_t secs, char *buf, int two_digit_year) {
  buf[0] = '\0';
  if (secs == 0) return buf;
  time_t t = static_cast<time_t>(secs);
  struct tm tm;
  localtime_r(&t, &tm);
  const int year = tm.tm_year + 1900;
  char text[64];
  snprintf(text, sizeof text, "%02d/%02d/%0*d %02d:%02d:%02d", tm.tm_mon + 1, tm.tm_mday,
           two_digit_year ? 2 : 4, two_digit_year ? year % 100 : year, tm.tm_hour, tm.tm_min,
           tm.tm_sec);
  // Years fit four digits for every 32-bit count of seconds.
  const size_t n = std::min(strlen(text), static_cast<size_t>(SLCTS_LEN - 1));
  memcpy(buf, text, n);
  buf[n] = '\0';
  return buf;
}

extern "C" void slctod(uint32_t secs, sl_caltime *out) {
  memset(out, 0, sizeof *out);
  time_t t = static_cast<time_t>(secs);
  struct tm tm;
  localtime_r(&t, &tm);
  fill_cal(tm, out);
}

extern "C" void slctgd(uint32_t secs, sl_caltime *out, uint8_t *weekday) {
  memset(out, 0, sizeof *out);
  time_t t = static_cast<time_t>(secs);
  struct tm tm;
  gmtime_r(&t, &tm);
  fill_cal(tm, out);
  *weekday = static_cast<uint8_t>(tm.tm_wday);
}

extern "C" int64_t slctgt(const sl_caltime *in) {
  struct tm tm;
  memset(&tm, 0, sizeof tm);
  tm.tm_year = in->year - 1900;
  tm.tm_mon = in->month - 1;
  tm.tm_mday = in->day;
  tm.tm_hour = in->hour;
  tm.tm_min = in->minute;
  tm.tm_sec = in->second;
  tm.tm_isdst = 0;
  return static_cast<int64_t>(mktime(&tm));
}

extern "C" char *slgocitrcfn(char *first, char *second) {
  const int pid = static_cast<int>(getpid());
  snprintf(first, SLGOCI_LEN, "zur_skgu_%d.trc1", pid);
  snprintf(second, SLGOCI_LEN, "zur_skgu_%d.trc2", pid);
  return first;
}

extern "C" slf_handle *slsfopen(const char *name, const char *dir, slos_error *err) {
  char path[SLSF_PATH_MAX + 1];
  int n;
  if (dir == nullptr) {
    n = snprintf(path, sizeof path, "%s", name);
  } else {
    const size_t dl = strlen(dir);
    const char *sep = dl > 0 && dir[dl - 1] == '/' ? "" : "/";
    n = snprintf(path, sizeof path, "%s%s%s", dir, sep, name);
  }
  if (n < 0 || static_cast<size_t>(n) > SLSF_PATH_MAX) {
    slosFillErr(err, SLSF_ERR_NAME, 0, "name too long", dir == nullptr ? "slsfopen1" : "slsfopen2");
    return nullptr;
  }
  struct stat before;
  if (lstat(path, &before) != 0) {
    slosFillErr(err, SLSF_ERR_SYS, errno, "lstat failed", "slsfopen3");
    return nullptr;
  }
  if (S_ISLNK(before.st_mode)) {
    slosFillErr(err, SLSF_ERR_NAME, 0, "soft link detected", "slsfopen4");
    return nullptr;
  }
  if (before.st_nlink > 1) {
    slosFillErr(err, SLSF_ERR_NAME, 0, "hard links detected", "slsfopen5");
    return nullptr;
  }
  slf_handle *h = SlfFopen(path, nullptr, SLF_MODE_READ, 0, 0, err, 0);
  if (h == nullptr) return nullptr;
  FILE *f = static_cast<FILE *>(h->stream);
  struct stat after;
  const char *why = nullptr;
  const char *loc = nullptr;
  int code = 0, e = 0;
  if (fstat(fileno(f), &after) != 0) {
    why = "fstat failed";
    loc = "slsfopen6";
    code = SLSF_ERR_SYS;
    e = errno;
  } else if (after.st_dev != before.st_dev || after.st_ino != before.st_ino) {
    why = "target altered";
    loc = "slsfopen7";
    code = SLSF_ERR_NAME;
  }
  if (why != nullptr) {
    // The stream is ours: it does not outlive the refusal.
    fclose(f);
    free(h);
    slosFillErr(err, code, e, why, loc);
    return nullptr;
  }
  return h;
}
