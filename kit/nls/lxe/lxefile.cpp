// Calendar files and era and deviation lookups: the built-in rows first,
// then the records of <VIRUZE_HOME>/nls/lxecal<short name>.nlb, opened,
// read and closed on every lookup.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "lxe.h"
#include "lxeint.h"
#include "lxlint.h"
#include "slz.h"

namespace {

constexpr char kVar[] = "VIRUZE_HOME";
constexpr char kSubdir[] = "nls/";
constexpr char kPrefix[] = "lxecal";
constexpr char kExt[] = ".nlb";
// Bytes the path adds to VIRUZE_HOME besides the short name: a separator,
// the subdirectory, the file-name prefix, the extension, a spare byte and
// the terminator, as the installation counts them.
constexpr size_t kPathExtra = 22;

bool seek_to(slxfh *fh, long offset) {
  if (fh->vf) return slxcfstlfv(fh, offset, SEEK_SET) == offset;
  return lseek(fh->fd, offset, SEEK_SET) == offset;
}

// Opens the calendar's file and reads its header; NULL when there is no
// file or its magic is not this host's.
slxfh *open_file(const lxecal *cal, lxecfhdr *hdr) {
  slxfh *fh = slxefop(cal->shortname, "r", kExt);
  if (!fh) return nullptr;
  if (slxcfread(fh, hdr, sizeof *hdr) != sizeof *hdr || hdr->magic != LXE_FILE_MAGIC) {
    slxcfct(fh);
    return nullptr;
  }
  return fh;
}

// Copies one era text into the caller's buffer: at most the field less its
// NUL, always terminated.
void put_text(lxeera *era, int i, const char *src, uint8_t len, size_t field) {
  if (len >= field) len = uint8_t(field - 1);
  era->len[i] = len;
  if (!era->text[i]) return;
  std::memcpy(era->text[i], src, len);
  era->text[i][len] = 0;
}

constexpr size_t kField[4] = {LXE_NAME_FIELD, LXE_ABBR_FIELD, LXE_NAME_FIELD, LXE_ABBR_FIELD};

}  // namespace

extern "C" {

slxfh *slxefop(const char *shortname, const char *mode, const char *ext) {
  if (!shortname || !mode || !ext) return nullptr;
  char dir[LXE_PATH_MAX];
  sl_status st;
  int n = slzgetevar(&st, kVar, sizeof kVar - 1, dir, sizeof dir - 1, 0);
  if (n <= 0) return nullptr;
  size_t len = size_t(n);
  if (len + kPathExtra + std::strlen(shortname) >= LXE_PATH_MAX) return nullptr;
  if (dir[len - 1] != '/') dir[len++] = '/';
  std::memcpy(dir + len, kSubdir, sizeof kSubdir);
  char name[sizeof kPrefix + 8];
  int w = std::snprintf(name, sizeof name, "%s%s", kPrefix, shortname);
  if (w < 0 || size_t(w) >= sizeof name) return nullptr;
  return slxcfot(dir, name, ext, mode);
}

int lxegera(const lxecal *cal, int n, lxeera *era) {
  if (!cal || !era || cal->neras == 0 || n < 0) return 0;
  if (n < cal->neras) {
    const lxeerow &row = cal->eras[n];
    for (int i = 0; i < 4; ++i) put_text(era, i, row.text[i], row.len[i], kField[i]);
    era->first = row.first;
    era->last = row.last;
    if (n == cal->neras - 1) {
      // A file era that follows ends the last built-in one the day before.
      lxeera next{};
      if (lxegera(cal, n + 1, &next)) era->last = int32_t(int64_t(next.first) - 1);
    }
    return 1;
  }
  lxecfhdr hdr;
  slxfh *fh = open_file(cal, &hdr);
  if (!fh) return 0;
  const unsigned k = unsigned(n - cal->neras);
  lxecfera rec;
  bool ok = k < hdr.neras && seek_to(fh, long(sizeof hdr + sizeof rec * k)) &&
            slxcfread(fh, &rec, sizeof rec) == sizeof rec;
  slxcfct(fh);
  if (!ok) return 0;
  const char *texts[4] = {rec.name, rec.abbr, rec.name2, rec.abbr2};
  for (int i = 0; i < 4; ++i) put_text(era, i, texts[i], rec.len[i], kField[i]);
  era->first = rec.first;
  era->last = rec.last;
  return 1;
}

int lxegdev(const lxecal *cal, int n, lxedev *dev) {
  if (!cal || !dev || n < 0) return 0;
  if (n < cal->ndevs) {
    *dev = cal->devs[n];
    return 1;
  }
  lxecfhdr hdr;
  slxfh *fh = open_file(cal, &hdr);
  if (!fh) return 0;
  const unsigned k = unsigned(n - cal->ndevs);
  bool ok = hdr.ndevs > 0 && k < hdr.ndevs &&
            seek_to(fh, long(sizeof hdr + sizeof(lxecfera) * hdr.neras + sizeof *dev * k)) &&
            slxcfread(fh, dev, sizeof *dev) == sizeof *dev;
  slxcfct(fh);
  return ok ? 1 : 0;
}

}  // extern "C"
