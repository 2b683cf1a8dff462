#include <cstdlib>

#include "lml.h"
#include "lpm_int.h"

int lpm_list_init(slts_ctx *thr, lpm_list *list) {
  list->head.next = &list->tail;
  list->head.prev = nullptr;
  list->tail.next = nullptr;
  list->tail.prev = &list->head;
  return sltsmxi(thr, &list->mutex);
}

void lpm_list_fini(slts_ctx *thr, lpm_list *list) { sltsmxd(thr, &list->mutex); }

void lpm_list_append(lpm_list *list, lpm_lelem *e) {
  e->prev = list->tail.prev;
  e->next = &list->tail;
  list->tail.prev->next = e;
  list->tail.prev = e;
}

int lpm_list_remove(lpm_list *list, lpm_lelem *e) {
  for (lpm_lelem *p = list->head.next; p && p != &list->tail; p = p->next) {
    if (p == e) {
      e->prev->next = e->next;
      e->next->prev = e->prev;
      e->next = e->prev = nullptr;
      return 0;
    }
  }
  return -1;
}

void *lpm_calloc(lpm_meta *obj, size_t size) {
  return obj && obj->mem ? lmlcalloc(obj->mem, size) : std::calloc(1, size);
}

void lpm_free(lpm_meta *obj, void *p) {
  if (!p) return;
  if (obj && obj->mem)
    lmlfree(obj->mem, p);
  else
    std::free(p);
}
