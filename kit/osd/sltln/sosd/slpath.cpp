// Search of a relative file name along a colon-separated directory list, and
// the composition of directory, name and extension.
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string_view>

#include "sltln.h"
#include "vzclient.h"

namespace {

// Looks name up in the directories of list; see sslpath.
void search(sl_status *st, const char *list, char *name, size_t dstlen, size_t *outlen) {
  st->code = 0;
  if (name[0] == '/' || list == nullptr || list[0] == '\0') return;
  std::string_view rest(list);
  for (bool first = true;; first = false) {
    size_t colon = rest.find(':');
    std::string_view entry = rest.substr(0, colon);
    // A colon at the very end adds no entry.
    if (colon == std::string_view::npos && entry.empty() && !first) return;
    char dir[SLPATH_CANDIDATE];
    char cand[SLPATH_CANDIDATE];
    sl_status gs;
    if (entry.size() >= sizeof dir) {
      gs.code = SLPATH_ERR_COMPOSE;
    } else {
      memcpy(dir, entry.data(), entry.size());
      dir[entry.size()] = '\0';
      slgfn(&gs, dir, name, "", nullptr, cand, sizeof cand);
    }
    if (gs.code != 0) {
      st->code = SLPATH_ERR_COMPOSE;
      *outlen = 0;
      return;
    }
    if (access(cand, F_OK) == 0) {
      size_t len = strlen(cand);
      if (len < dstlen) {
        memcpy(name, cand, len + 1);
        *outlen = len;
      } else {
        st->code = SLPATH_ERR_FOUNDLONG;
        st->detail[0] = static_cast<intptr_t>(dstlen);
        st->detail[1] = static_cast<intptr_t>(len);
        *outlen = 0;
      }
      return;
    }
    if (colon == std::string_view::npos) return;
    rest.remove_prefix(colon + 1);
  }
}

bool bad_args(sl_status *st, const char *varname, const char *name, size_t *outlen) {
  if (varname != nullptr && name != nullptr && outlen != nullptr) return false;
  st->code = SLTLN_ERR_BADARG;
  if (outlen != nullptr) *outlen = 0;
  return true;
}

}  // namespace

extern "C" void sslpath(sl_status *st, const char *varname, char *name, size_t dstlen,
                        size_t *outlen) {
  if (st == nullptr || bad_args(st, varname, name, outlen)) return;
  if (!slphinit) {
    const char *value = getenv(varname);
    if (value != nullptr && value[0] != '\0') {
      errno = 0;
      char *copy = strdup(value);
      if (copy == nullptr) {
        st->code = SLPATH_ERR_NOMEM;
        st->oserr = errno;
        *outlen = 0;
        return;
      }
      slorpath = copy;
    }
    slphinit = 1;
  }
  search(st, slorpath, name, dstlen, outlen);
}

extern "C" void sslpath2(sl_status *st, const char *varname, char *name, size_t dstlen,
                         size_t *outlen) {
  if (st == nullptr || bad_args(st, varname, name, outlen)) return;
  search(st, getenv(varname), name, dstlen, outlen);
}

extern "C" void slgfn(sl_status *st, const char *directory, const char *name,
                      const char *extension, const char *reserved, char *dst, size_t dstlen) {
  (void)reserved;
  if (st == nullptr) return;
  memset(st, 0, sizeof *st);
  if (name == nullptr || dst == nullptr) {
    st->code = SLTLN_ERR_BADARG;
    return;
  }
  std::string_view dir(directory != nullptr ? directory : "");
  std::string_view base(name);
  std::string_view ext(extension != nullptr ? extension : "");
  bool slash = !dir.empty() && dir.back() != '/';
  size_t need = dir.size() + (slash ? 1 : 0) + base.size() + (ext.empty() ? 0 : 1 + ext.size()) + 1;
  if (need > dstlen) {
    st->code = SLPATH_ERR_COMPOSE;
    return;
  }
  char *p = dst;
  p = static_cast<char *>(mempcpy(p, dir.data(), dir.size()));
  if (slash) *p++ = '/';
  p = static_cast<char *>(mempcpy(p, base.data(), base.size()));
  if (!ext.empty()) {
    *p++ = '.';
    p = static_cast<char *>(mempcpy(p, ext.data(), ext.size()));
  }
  *p = '\0';
}
