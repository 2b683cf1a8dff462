// File-stream service: start and stop in a process block, product
// instances, standard streams, the closing steps and the service's lists.
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "lem.h"
#include "lfi.h"
#include "lfi_int.h"
#include "lpm.h"

namespace {

lfi_ctx *ctx_of(lfi_inst *inst) {
  return inst && inst->std ? inst->std->ctx : nullptr;
}

lwem_ctx *errs_of(lfi_inst *inst) {
  lfi_ctx *ctx = ctx_of(inst);
  return ctx && ctx->block ? ctx->block->errs : nullptr;
}

// Records of a call are deleted back to the newest mark when the block is not
// ready and the call left any.
struct CallRecords {
  lfi_inst *inst;
  unsigned depth;
  explicit CallRecords(lfi_inst *i) : inst(i), depth(lwemged(errs_of(i))) {}
  void finish() const {
    lfi_ctx *ctx = ctx_of(inst);
    if (!ctx || !ctx->block || ctx->block->ready) return;
    if (lwemged(ctx->block->errs) > depth) lwemdtm(ctx->block->errs);
  }
};

int rec_text(lfi_inst *inst, int *flag, int number, const char *text) {
  return lfirec(inst, flag, number, 0, LSFTXTP, text, LSFEND);
}

void free_name_texts(lfi_name *name) {
  std::free(name->text);
  std::free(name->alt);
  name->text = name->alt = nullptr;
}

// The frame of the list routines: a missing list (or element, where
// elem_ok is false) is a bad argument and a list that cannot be locked a
// mutex failure, both recorded under name; else body runs with the list
// locked. false when body did not run.
template <class Body>
bool with_list(lfi_inst *inst, lfi_list *list, bool elem_ok, const char *name, int *call_flag,
               Body body) {
  if (!list || !elem_ok) {
    rec_text(inst, call_flag, LFI_BADARG, name);
    return false;
  }
  lfi_ctx *ctx = ctx_of(inst);
  slts_ctx *thr = ctx ? ctx->thr : nullptr;
  if (sltsmna(thr, &list->mutex) != 0) {
    rec_text(inst, call_flag, LFI_MUTEX, name);
    return false;
  }
  body();
  sltsmnr(thr, &list->mutex);
  return true;
}

// What an object's own closing steps leave to close_object.
struct Closed {
  int r;         // LFI_FAIL when a step failed, else 0
  bool release;  // the object's mutex and memory go as well
};

// The skeleton of the closing routines: a missing object or service is a
// bad argument; else the object's own steps (steps(ctx, flag)) run, then,
// when they say so, its mutex is destroyed and its memory freed; the call's
// records go as CallRecords lets them. name: the routine, for its records.
template <class Object, class Steps>
int close_object(lfi_inst *inst, Object *obj, const char *name, Steps steps) {
  CallRecords calls(inst);
  int flag = 0;
  lfi_ctx *ctx = ctx_of(inst);
  if (!obj || !ctx) {
    rec_text(inst, &flag, LFI_BADARG, name);
    calls.finish();
    return LFI_FAIL;
  }
  const Closed done = steps(ctx, flag);
  int r = done.r;
  if (done.release) {
    if (sltsmxd(ctx->thr, &obj->mutex) != 0) {
      rec_text(inst, &flag, LFI_MUTEX, name);
      r = LFI_FAIL;
    }
    std::free(obj);
  }
  calls.finish();
  return r;
}

}  // namespace

extern "C" {

// ---------------------------------------------------------------------------
// Error recording

int lfirec(lfi_inst *inst, int *call_flag, int number, int site, ...) {
  lfi_ctx *ctx = ctx_of(inst);
  if (!ctx || !ctx->block || !ctx->block->ready || !ctx->fac) return -1;
  va_list ap;
  va_start(ap, site);
  int r = lwemrev(ctx->block->errs, ctx->fac, number, nullptr, site, LWEM_CLASS_RECORDED, ap);
  va_end(ap);
  if (r == 0 && call_flag && *call_flag != 1) {
    lwemmrk(ctx->block->errs);
    *call_flag = 1;
  }
  return r;
}

// ---------------------------------------------------------------------------
// Lists

int lfillil(lfi_inst *inst, lfi_list *list, int *call_flag) {
  if (!list) {
    rec_text(inst, call_flag, LFI_BADARG, "lfillil()");
    return LFI_FAIL;
  }
  list->head.next = &list->tail;
  list->head.prev = nullptr;
  list->tail.next = nullptr;
  list->tail.prev = &list->head;
  lfi_ctx *ctx = ctx_of(inst);
  if (sltsmxi(ctx ? ctx->thr : nullptr, &list->mutex) != 0) {
    rec_text(inst, call_flag, LFI_MUTEX, "lfillil()");
    return LFI_FAIL;
  }
  return 0;
}

int lfillae(lfi_inst *inst, lfi_list *list, void *elem, int *call_flag) {
  const bool done = with_list(inst, list, elem != nullptr, "lfillae()", call_flag, [&] {
    auto e = static_cast<lfi_lelem *>(elem);
    e->next = list->head.next;
    e->prev = &list->head;
    list->head.next->prev = e;
    list->head.next = e;
  });
  return done ? 0 : LFI_FAIL;
}

int lfillre(lfi_inst *inst, lfi_list *list, void *elem, int *call_flag) {
  bool found = false;
  const bool done = with_list(inst, list, elem != nullptr, "lfillre()", call_flag, [&] {
    for (lfi_lelem *e = list->head.next; e && e != &list->tail; e = e->next) {
      if (e == elem) {
        e->prev->next = e->next;
        e->next->prev = e->prev;
        e->next = e->prev = nullptr;
        found = true;
        break;
      }
    }
  });
  if (!done) return LFI_FAIL;
  if (!found) {
    lfirec(inst, call_flag, LFI_INTERNAL, 7, LSFTXTP, "List element not found", LSFEND);
    return LFI_FAIL;
  }
  return 0;
}

void *lfillnx(lfi_inst *inst, lfi_list *list, void *elem, int *call_flag) {
  void *r = nullptr;
  with_list(inst, list, true, "lfillnx()", call_flag, [&] {
    lfi_lelem *e = elem ? static_cast<lfi_lelem *>(elem)->next : list->head.next;
    r = (!e || e == &list->tail) ? nullptr : e;
  });
  return r;
}

int lfillmem(lfi_inst *inst, lfi_list *list, void *elem, int *call_flag) {
  int r = 2;
  const bool done = with_list(inst, list, elem != nullptr, "lfillmem()", call_flag, [&] {
    for (lfi_lelem *e = list->head.next; e && e != &list->tail; e = e->next)
      if (e == elem) {
        r = 1;
        break;
      }
  });
  return done ? r : LFI_FAIL;
}

void lfillik(void *elem) {
  if (!elem) return;
  auto e = static_cast<lfi_lelem *>(elem);
  e->next = e->prev = nullptr;
}

// ---------------------------------------------------------------------------
// Standard streams

lfi_file *lfiostd(lfi_inst *inst, int kind) {
  lfi_ctx *ctx = ctx_of(inst);
  if (!ctx || kind < 1 || kind > 3) return nullptr;
  int flag = 0;
  auto f = static_cast<lfi_file *>(std::calloc(1, sizeof(lfi_file)));
  if (!f) return nullptr;
  f->state = LFI_ST_OPEN | LFI_ST_KEEP;
  f->os = slfigf(inst, kind, &flag);
  if (!f->os) {
    std::free(f);
    return nullptr;
  }
  f->access = kind == 1 ? LFI_ACC_READ : LFI_ACC_WRITE;
  f->flags = kind == 1 ? 4 : 36;
  f->one = 1;
  f->max = 32767;
  f->word = 1;
  if (sltsmxi(ctx->thr, &f->mutex) != 0) {
    slfiff(inst, f->os, &flag);
    std::free(f);
    return nullptr;
  }
  return f;
}

int lficstd(lfi_inst *inst, lfi_file *file) {
  if (!file) return 0;
  lfi_ctx *ctx = ctx_of(inst);
  int flag = 0;
  int r = 0;
  if (file->buffer && file->ops && file->ops->flush && file->ops->flush(inst, file) != 0)
    r = LFI_FAIL;
  if (slfiff(inst, file->os, &flag) != 0) r = LFI_FAIL;
  if (sltsmxd(ctx ? ctx->thr : nullptr, &file->mutex) != 0) r = LFI_FAIL;
  std::free(file);
  return r;
}

int lfiboot(lfi_inst *inst) {
  if (!inst || !inst->std) return -1;
  lfi_std *s = inst->std;
  s->in = lfiostd(inst, 1);
  s->out = s->in ? lfiostd(inst, 2) : nullptr;
  s->err = s->out ? lfiostd(inst, 3) : nullptr;
  if (!s->err) {
    lficlean(inst);
    return -1;
  }
  return 0;
}

int lficlean(lfi_inst *inst) {
  if (!inst || !inst->std) return -1;
  lfi_std *s = inst->std;
  int r = 0;
  for (lfi_file **f : {&s->in, &s->out, &s->err}) {
    if (*f && lficstd(inst, *f) != 0) r = -1;
    *f = nullptr;
  }
  return r;
}

// ---------------------------------------------------------------------------
// Closing steps

int lficls(lfi_inst *inst, lfi_file *file) {
  return close_object(inst, file, "lficls()", [&](lfi_ctx *ctx, int &flag) {
    if (file->state & LFI_ST_KEEP) return Closed{0, false};
    if (lfillre(inst, &ctx->files, file, &flag) != 0) {
      rec_text(inst, &flag, LFI_CLOSESTEP, "lfillre()");
      return Closed{LFI_FAIL, false};
    }
    int r = 0;
    if (file->state & LFI_ST_OPEN) {
      const bool temp = (file->access & LFI_ACC_TEMP) && file->temp && file->temp->text;
      if (file->buffer) file->buffer->final_flush = 1;
      int flushed = file->ops && file->ops->flush ? file->ops->flush(inst, file) : 0;
      if (flushed != 0) {
        rec_text(inst, &flag, LFI_CLOSESTEP, "lfibfr()");
        if (slficl(inst, file->os, &flag) != 0) rec_text(inst, &flag, LFI_CLOSESTEP, "slficl()");
        if (temp) slfirf(inst, file->temp->text, &flag);
        r = LFI_FAIL;
      } else if (slficl(inst, file->os, &flag) == 0) {
        // A failed move keeps the temporary file: its data is not lost, and
        // the final name is left as it was.
        if (temp && file->buffer && file->buffer->final_name &&
            slfirn(inst, file->temp->text, file->buffer->final_name, &flag) != 0)
          r = LFI_FAIL;
      } else {
        rec_text(inst, &flag, LFI_CLOSESTEP, "slficl()");
        if (temp) slfirf(inst, file->temp->text, &flag);
        r = LFI_FAIL;
      }
      if (file->temp) {
        free_name_texts(file->temp);
        if (slfifn(inst, file->temp, &flag) != 0) r = LFI_FAIL;
        std::free(file->temp);
        file->temp = nullptr;
      }
      if (slfiff(inst, file->os, &flag) != 0) r = LFI_FAIL;
      file->os = nullptr;
    }
    if (file->buffer) {
      std::free(file->buffer->final_name);
      std::free(file->buffer->data);
      std::free(file->buffer);
    }
    return Closed{r, true};
  });
}

int lfifpo(lfi_inst *inst, lfi_path *path) {
  return close_object(inst, path, "lfifpo()", [&](lfi_ctx *ctx, int &flag) {
    int r = 0;
    if (path->owner != 1 && lfillre(inst, &ctx->paths, path, &flag) != 0) r = LFI_FAIL;
    if (slfifp(inst, path->elements, &flag) != 0) {
      rec_text(inst, &flag, LFI_STEPFAIL, "lfifpo()");
      r = LFI_FAIL;
    }
    path->elements = nullptr;
    return Closed{r, true};
  });
}

int lfifno(lfi_inst *inst, lfi_name *name) {
  return close_object(inst, name, "lfifno()", [&](lfi_ctx *ctx, int &flag) {
    int r = 0;
    if (lfillre(inst, &ctx->names, name, &flag) != 0) {
      rec_text(inst, &flag, LFI_STEPFAIL, "lfifno()");
      r = LFI_FAIL;
    }
    if (name->path && ((name->flags & 0x1) || name->path->owner == 1)) {
      if (lfifpo(inst, name->path) != 0) r = LFI_FAIL;
      name->path = nullptr;
    }
    free_name_texts(name);
    if (slfifn(inst, name, &flag) != 0) {
      rec_text(inst, &flag, LFI_STEPFAIL, "lfifno()");
      r = LFI_FAIL;
    }
    return Closed{r, true};
  });
}

// ---------------------------------------------------------------------------
// Service

int lfirist(lpm_meta *block, void *slot, int mode) {
  (void)slot;
  if (!block || lpm_observe("lfirist", block, mode) != 0) return -1;
  if (mode == 0) {
    auto rec = static_cast<lfi_blockrec *>(std::calloc(1, sizeof(lfi_blockrec)));
    auto std_ = static_cast<lfi_std *>(std::calloc(1, sizeof(lfi_std)));
    auto inst = static_cast<lfi_inst *>(std::calloc(1, sizeof(lfi_inst)));
    auto ctx = static_cast<lfi_ctx *>(std::calloc(1, sizeof(lfi_ctx)));
    int flag = 0;
    int stage = 0;
    if (!rec || !std_ || !inst || !ctx) goto fail;
    ctx->block = block;
    ctx->glo = block->glo;
    ctx->lang = block->lang;
    if (lfi_nls_build(block, ctx) != 0) goto fail;
    stage = 1;
    rec->inst = inst;
    inst->owner = block;
    inst->std = std_;
    std_->ctx = ctx;
    ctx->fac = lwemfaa(block->errs, nullptr, "VODUDED", "LFI", 3, 4);
    if (!ctx->fac) goto fail;
    stage = 2;
    ctx->thr = sltsini();
    if (!ctx->thr) goto fail;
    stage = 3;
    if (sltsmxi(ctx->thr, &ctx->mutex) != 0) goto fail;
    stage = 4;
    if (lfiboot(inst) != 0) goto fail;
    stage = 5;
    if (lfillil(inst, &ctx->files, &flag) != 0) goto fail;
    stage = 6;
    if (lfillil(inst, &ctx->names, &flag) != 0) goto fail;
    stage = 7;
    if (lfillil(inst, &ctx->paths, &flag) != 0) goto fail;
    block->fi = rec;
    return 0;
  fail:
    if (stage >= 7) sltsmxd(ctx->thr, &ctx->names.mutex);
    if (stage >= 6) sltsmxd(ctx->thr, &ctx->files.mutex);
    if (stage >= 5) lficlean(inst);
    if (stage >= 4) sltsmxd(ctx->thr, &ctx->mutex);
    if (stage >= 3) sltster(ctx->thr);
    if (stage >= 2) lwemfaf(block->errs, ctx->fac);
    if (stage >= 1) lfi_nls_end(block, ctx);
    std::free(ctx);
    std::free(inst);
    std::free(std_);
    std::free(rec);
    return -1;
  }
  if (mode == 1) {
    auto rec = static_cast<lfi_blockrec *>(block->fi);
    if (!rec || !rec->inst || !rec->inst->std || !rec->inst->std->ctx) return -1;
    lfi_inst *inst = rec->inst;
    lfi_ctx *ctx = inst->std->ctx;
    int flag = 0;
    while (void *f = lfillnx(inst, &ctx->files, nullptr, &flag)) {
      auto file = static_cast<lfi_file *>(f);
      // A file kept open by lficls stays listed; take it off so the walk ends.
      if (file->state & LFI_ST_KEEP) {
        lfillre(inst, &ctx->files, file, &flag);
        continue;
      }
      if (lficls(inst, file) != 0) return -1;
    }
    while (void *n = lfillnx(inst, &ctx->names, nullptr, &flag))
      if (lfifno(inst, static_cast<lfi_name *>(n)) != 0) return -1;
    while (void *p = lfillnx(inst, &ctx->paths, nullptr, &flag))
      if (lfifpo(inst, static_cast<lfi_path *>(p)) != 0) return -1;
    sltsmxd(ctx->thr, &ctx->files.mutex);
    sltsmxd(ctx->thr, &ctx->names.mutex);
    sltsmxd(ctx->thr, &ctx->paths.mutex);
    lficlean(inst);
    lwemfaf(block->errs, ctx->fac);
    lfi_nls_end(block, ctx);
    sltsmxd(ctx->thr, &ctx->mutex);
    sltster(ctx->thr);
    std::free(ctx);
    std::free(inst->std);
    std::free(inst);
    std::free(rec);
    block->fi = nullptr;
    return 0;
  }
  return -1;
}

int lficis(lpm_meta *block, void **place, lpm_product *product) {
  if (!block || !place || !product || lpm_observe("lficis", block, 0) != 0) return -1;
  auto brec = static_cast<lfi_blockrec *>(block->fi);
  if (!brec || !brec->inst) return -1;
  auto prec = static_cast<lfi_prodrec *>(std::calloc(1, sizeof(lfi_prodrec)));
  auto inst = static_cast<lfi_inst *>(std::calloc(1, sizeof(lfi_inst)));
  if (!prec || !inst) {
    std::free(prec);
    std::free(inst);
    return -1;
  }
  inst->owner = product;
  inst->std = brec->inst->std;
  prec->inst = inst;
  product->m.fi = prec;
  *place = inst;
  return 0;
}

int lficit(lpm_meta *block, void *inst, lpm_product *product) {
  if (lpm_observe("lficit", block, 1) != 0) return -1;
  auto prec = product ? static_cast<lfi_prodrec *>(product->m.fi) : nullptr;
  if (prec) {
    if (prec->inst != inst) std::free(inst);
    std::free(prec->inst);
    std::free(prec);
    product->m.fi = nullptr;
  } else {
    std::free(inst);
  }
  return 0;
}

}  // extern "C"
