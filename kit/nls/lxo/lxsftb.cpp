// The table of special-sort functions, by function number.
#include "lxsf.h"

extern "C" const lxsfent lxsftb[LXSF_ROWS] = {
    {1, {.key = lxsmdth}},  {2, {.cmp = lxscdth}},  {3, {.key = lxsmtth}}, {4, {.cmp = lxsctth}},
    {5, {.key = lxsmdja}},  {6, {.cmp = lxscdja}},  {7, {.key = lxsmdcf}}, {8, {.cmp = lxscdcf}},
    {9, {.key = lxsmasc}},  {10, {.cmp = lxscasc}}, {0, {.key = nullptr}}};
