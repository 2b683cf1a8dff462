// Environment variables and OS error texts.
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "slz.h"

namespace {

// Every assignment handed to putenv stays alive with the environment; the
// blocks are chained here so that they stay reachable after a later
// assignment replaces them.
struct env_block {
  env_block *next;
  char text[1];
};
std::atomic<env_block *> env_blocks{nullptr};

}  // namespace

extern "C" int slzgetevar(sl_status *st, const char *name, size_t namelen,
                          char *buf, size_t buflen, uint32_t flags) {
  if (st == nullptr) return -2;
  st->code = 0;
  if (name == nullptr || namelen == 0 || name[0] == '\0' || buf == nullptr ||
      buflen == 0) {
    st->code = SL_STATUS_BADARG;
    return -2;
  }
  if (namelen > SLZ_MAXNAME) {
    st->code = SL_STATUS_TOOLONG;
    return -2;
  }
  char first[SLZ_MAXNAME + 1];
  memcpy(first, name, namelen);
  first[namelen] = '\0';

  const char *value = getenv(first);
  if (value == nullptr) {
    st->code = SL_STATUS_UNSET;
    return -1;
  }
  if (flags & SLZ_INDIRECT) {
    // Follow the chain; the last name that is not set is the value.
    for (int hops = 0;; ++hops) {
      const char *next = getenv(value);
      if (next == nullptr) break;
      if (hops >= SLZ_MAXINDIRECT) {
        st->code = SL_STATUS_BADARG;
        return -2;
      }
      value = next;
    }
  }
  size_t len = strlen(value);
  if (len == 0) {
    st->code = SL_STATUS_UNSET;
    return -1;
  }
  if (len > buflen || len > SLZ_MAXVALUE) {
    st->code = SL_STATUS_TOOLONG;
    return -2;
  }
  memcpy(buf, value, len);
  return static_cast<int>(len);
}

extern "C" int slzsetevar(sl_status *st, const char *name, size_t namelen,
                          const char *value, size_t valuelen) {
  st->code = 0;
  if (name == nullptr || namelen == 0 || memchr(name, '=', namelen) != nullptr ||
      memchr(name, '\0', namelen) != nullptr) {
    st->code = SL_STATUS_BADARG;
    return 0;
  }
  if (value == nullptr) valuelen = 0;
  size_t size = offsetof(env_block, text) + namelen + 1 + valuelen + 1;
  auto *block = static_cast<env_block *>(malloc(size));
  if (block == nullptr) {
    st->code = SL_STATUS_NOMEM;
    return 0;
  }
  char *p = block->text;
  memcpy(p, name, namelen);
  p[namelen] = '=';
  if (valuelen) memcpy(p + namelen + 1, value, valuelen);
  p[namelen + 1 + valuelen] = '\0';
  if (putenv(p) != 0) {
    free(block);
    st->code = SL_STATUS_BADARG;
    return 0;
  }
  block->next = env_blocks.load(std::memory_order_relaxed);
  while (!env_blocks.compare_exchange_weak(block->next, block,
                                           std::memory_order_release,
                                           std::memory_order_relaxed)) {
  }
  return 1;
}

extern "C" char *slzerrstr(int32_t oserr, char *buf, size_t len) {
  if (buf == nullptr || len == 0) return nullptr;
  if (strerrordesc_np(oserr) == nullptr) return nullptr;  // no text for the number
  char text[256];
  const char *msg = strerror_r(oserr, text, sizeof text);
  size_t n = strnlen(msg, len - 1);
  memcpy(buf, msg, n);
  buf[n] = '\0';
  return buf;
}
