// The realm dump: the context, the list of attached realms and one realm's
// areas and subareas as text through the trace callback, followed by the
// Solaris layer's part (its state, or the realm's segments).
#include <stdio.h>
#include <string.h>

#include "skgm.h"
#include "skgm_int.h"
#include "sskgm.h"

namespace {

// A NUL-terminated copy of at most n bytes of a name.
template <size_t N>
void name_copy(char (&dst)[N], const char *src, size_t n) {
  const size_t len = strnlen(src, n < N - 1 ? n : N - 1);
  memcpy(dst, src, len);
  dst[len] = '\0';
}

}  // namespace

extern "C" int skgmdumprealm(void *a, skgm_ctx *ctx, skgm_realm *handle, uint32_t flags) {
  if (ctx->ops == nullptr || ctx->ops->trace == nullptr) return sskgmdumprealm(a, ctx, handle, flags);
  auto trace = ctx->ops->trace;
  void *o = ctx->osdctx;
  if (!(flags & SKGM_DUMP_SEGMENTS)) {
    trace(o,
          "Dump of unix-generic skgm context\nareaflags            %08lx\nrealmflags           "
          "%08lx\nmapsize              %08lx\nprotectsize          %08lx\nlcmsize              "
          "%08lx\nseglen               %08lx\nlargestsize  %08lx%08lx\nsmallestsize %08lx%08lx\n"
          "stacklimit   %16p\nstackdir             %8ld\nmode                 %8lo\nmagic       "
          "         %08lx\n",
          static_cast<unsigned long>(ctx->areaflags), static_cast<unsigned long>(ctx->realmflags),
          static_cast<unsigned long>(ctx->mapsize), static_cast<unsigned long>(ctx->protectsize),
          static_cast<unsigned long>(ctx->lcmsize), static_cast<unsigned long>(ctx->seglen),
          static_cast<unsigned long>(sskgm_hi(ctx->largestsize)),
          static_cast<unsigned long>(sskgm_lo(ctx->largestsize)),
          static_cast<unsigned long>(sskgm_hi(ctx->smallestsize)),
          static_cast<unsigned long>(sskgm_lo(ctx->smallestsize)),
          reinterpret_cast<void *>(ctx->stacklimit), static_cast<long>(ctx->stackdir),
          static_cast<unsigned long>(ctx->mode), static_cast<unsigned long>(ctx->magic));
    for (const skgm_realm *h = ctx->handles; h != nullptr; h = h->next) {
      char name[SKGM_NAMEMAX + 1];
      name_copy(name, h->hdr.realm.name, h->hdr.realm.namelen);
      trace(o, "Handle:      %16p `%s'\n", static_cast<const void *>(h), name);
    }
    if (handle != nullptr) {
      char name[SKGM_NAMEMAX + 1];
      name_copy(name, handle->hdr.realm.name, handle->hdr.realm.namelen);
      trace(o, "Dump of unix-generic realm handle `%s', flags = %08lx\n", name,
            static_cast<unsigned long>(handle->hdr.realm.flags));
      for (uint32_t i = 0; !handle->concealed && i < handle->hdr.nareas; i++) {
        const skgm_areaent &e = handle->areas[i];
        char aname[SKGM_AREANAME + 1];
        name_copy(aname, e.area.name, SKGM_AREANAME);
        trace(o, " Area #%ld `%s' containing Subareas %ld-%ld\n", static_cast<long>(i), aname,
              static_cast<long>(e.firstsub), static_cast<long>(e.firstsub) + e.nsub - 1);
        trace(o, "  Total size %08lx%08lx Minimum Subarea size %08lx\n",
              static_cast<unsigned long>(sskgm_hi(e.area.size)),
              static_cast<unsigned long>(sskgm_lo(e.area.size)),
              static_cast<unsigned long>(e.area.minsub));
        if (e.area.flags & SKGM_AF_NUMA) {
          trace(o, "  Owned by: ");
          const uint32_t n = e.area.nowners < SKGM_MAXOWNERS ? e.area.nowners : SKGM_MAXOWNERS;
          for (uint32_t k = 0; k < n; k++)
            trace(o, k == 0 ? "%2ld" : ", %2ld", static_cast<long>(e.area.owners[k]));
          trace(o, "\n");
        }
        for (uint32_t j = e.firstsub; j < e.firstsub + e.nsub && j < handle->hdr.nsub; j++) {
          const skgm_subarea &s = handle->subs[j];
          trace(o,
                "   Area  Subarea    Shmid      Stable Addr      Actual Addr\n   %4ld %8ld %8ld "
                "%016p %016p\n                              Subarea size     Segment size\n     "
                "                     %08lx%08lx %08lx%08lx\n",
                static_cast<long>(s.area), static_cast<long>(j), static_cast<long>(s.shmid),
                reinterpret_cast<void *>(s.stable), reinterpret_cast<void *>(handle->addrs[j]),
                static_cast<unsigned long>(sskgm_hi(s.size)),
                static_cast<unsigned long>(sskgm_lo(s.size)),
                static_cast<unsigned long>(sskgm_hi(s.segsize)),
                static_cast<unsigned long>(sskgm_lo(s.segsize)));
        }
      }
    }
  }
  return sskgmdumprealm(a, ctx, handle, flags);
}
