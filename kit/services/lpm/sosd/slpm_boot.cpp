// OS side of products: the product records of a package table, the
// executable descriptor and the stash store.
#include "lpm.h"
#include "lpm_int.h"
#include "lsf.h"
#include "slsl.h"

extern "C" {

const char slpmgexedesccore[] = "core";

const char *slpmgged(void) { return slpmgexedesccore; }

void slpmstor(slpm_table *table, lpm_meta *value) {
  *table->owner->hdr->stash() = value;
}

int slpmali(lpm_meta *obj, slpm_table *table, lpm_node *node, int *call_flag) {
  if (!table || !node) {
    lpmprec(obj, nullptr, call_flag, LPM_BADARG, 0, LSFTXTP, "slpmali()", LSFEND);
    return -1;
  }
  node->osrec.table = table;
  node->osrec.node = node;
  if (sltsmna(nullptr, &table->recs.mutex) != 0) {
    lpmprec(obj, nullptr, call_flag, LPM_STEPFAIL, 0, LSFTXTP, "slpmali()", LSFEND);
    return -1;
  }
  lpm_list_append(&table->recs, reinterpret_cast<lpm_lelem *>(&node->osrec));
  sltsmnr(nullptr, &table->recs.mutex);
  return 0;
}

int slpmfin(lpm_meta *obj, slpm_table *table, lpm_node *node, int *call_flag) {
  if (!table || !node) {
    lpmprec(obj, nullptr, call_flag, LPM_BADARG, 0, LSFTXTP, "slpmfin()", LSFEND);
    return -1;
  }
  int r = -1;
  if (sltsmna(nullptr, &table->recs.mutex) == 0) {
    r = lpm_list_remove(&table->recs, reinterpret_cast<lpm_lelem *>(&node->osrec));
    sltsmnr(nullptr, &table->recs.mutex);
  }
  if (r != 0) lpmprec(obj, nullptr, call_flag, LPM_STEPFAIL, 0, LSFTXTP, "slpmfin()", LSFEND);
  return r;
}

}  // extern "C"
