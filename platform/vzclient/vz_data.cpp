// Data words of the client library.
#include "vzclient.h"

extern "C" {
const uint32_t vsnnum = VZ_VSNNUM;
char *slorpath = nullptr;
int32_t slphinit = 0;
sigjmp_buf sltenv;
slgs_info slgsinfo;
int32_t slgsst = 0;
}

static_assert(sizeof(slgs_info) == 5 * SLGS_FIELD);
static_assert(offsetof(slgs_info, machine) == 4 * SLGS_FIELD);
