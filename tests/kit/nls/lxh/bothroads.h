// The comparisons' two roads side by side: a comparison is made once with
// its first-character shortcut and once with the shortcut off (the test hook
// lxoi::cmp_whole_road), over fresh cursors and the same environment record,
// so that a test can hold the two results equal.
#ifndef QEN_TESTS_BOTHROADS_H
#define QEN_TESTS_BOTHROADS_H

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "lxm.h"
#include "lxo.h"
#include "lxoint.h"

namespace nlstest {

// What each road gave: [0] with the shortcut, [1] without it.
struct RoadResults {
    int value[2];
    uint32_t status[2];
    uintptr_t nbytes[2];
};

// call(l, r) makes the comparison over cursors opened on a and b.
template <class Call>
RoadResults both_roads(const std::string &a, const std::string &b, const lxlangid *h, lxglo *glo,
                       Call call)
{
    RoadResults out{};
    for (int whole = 0; whole < 2; ++whole) {
        lxoi::cmp_whole_road = whole != 0;
        lxmcur l, r;
        lxmcpen(a.data(), a.size(), &l, h, glo);
        lxmcpen(b.data(), b.size(), &r, h, glo);
        glo->status = 7;
        glo->nbytes = 12345;
        out.value[whole] = call(l, r);
        out.status[whole] = glo->status;
        out.nbytes[whole] = glo->nbytes;
    }
    lxoi::cmp_whole_road = false;
    return out;
}

// lxoCmpStr of a and b under flags, by both roads.
inline RoadResults cmpstr_both_roads(const std::string &a, const std::string &b, const lxlangid *h,
                                     lxglo *glo, uint32_t flags)
{
    return both_roads(a, b, h, glo, [&](lxmcur &l, lxmcur &r) {
        return lxoCmpStr(&l, a.size(), &r, b.size(), flags, glo);
    });
}

}  // namespace nlstest

#endif
