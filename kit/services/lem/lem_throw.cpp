// Error manager: recording, throwing to the caller's try frames, fatal
// errors, assertions and the frames themselves.
//
// A throw ends in longjmp. Nothing in these functions keeps an object with a
// non-trivial destructor or a lock across it: every callee has released its
// locks before the jump.
#include <csetjmp>
#include <cstddef>

#include "lemx.h"
#include "lemx_int.h"

// The caller's frame is the previous frame and the jump buffer, nothing more.
static_assert(offsetof(lem_tryframe, jb) == sizeof(void *));
static_assert(sizeof(lem_tryframe) == sizeof(void *) + sizeof(jmp_buf));

namespace {

// Severities of an assertion.
enum { kSevFatal = 1, kSevThrow = 2, kSevRecord = 3, kSevNone1 = 4, kSevNone2 = 5 };

lem_ctx *lem_of(lem_frame *root) { return root ? root->lem : nullptr; }

// Takes the innermost frame for a throw; without one records LEM 900 site 4
// (class 2) and returns NULL.
lem_tryframe *take_frame(LemCall &c, lem_frame *root, lwem_facility *fac) {
  if (!root->inner) {
    lem_recordl(c, lem_facility(c.lem), LEM_INTERNAL, LEM_SITE_NOFRAME, LWEM_CLASS_THROWN,
                LSFEND);
    return nullptr;
  }
  if (fac->callbacks && fac->callbacks[3]) {
    auto cb = reinterpret_cast<lem_throwcb>(fac->callbacks[3]);
    cb(c.lem && c.lem->priv ? c.lem->priv->user : 0, root->count);
  }
  lem_tryframe *frame = root->inner;
  lemptfr(root, frame);
  return frame;
}

// The unwinding step: applies the ready rule, then jumps when a frame takes
// the throw; otherwise returns to the caller.
void unwind(LemCall &c, lem_frame *root, lwem_facility *fac, int value) {
  lem_tryframe *frame = take_frame(c, root, fac);
  c.finish();
  if (!frame) return;
  if (c.lem && c.lem->priv) c.lem->priv->thrown = value;
  std::longjmp(frame->jb, value != 0 ? value : 1);
}

void tev(LemCall &c, lem_frame *root, lwem_facility *fac, int number, int cls, va_list ap,
         const char *name) {
  lsf_env env{};
  if (lem_env(c, &env) != 0) {
    c.finish();
    return;
  }
  lwem_ctx *store = c.store();
  int st = LSFST_OK;
  lsf_arglist *list = lwsfdlv(store, &env, &st, ap);
  if (!list) {
    lem_own(c, LEM_CALLEE, name, "lwsfdlv");
    c.finish();
    return;
  }
  if (lwemade(store, fac, number, nullptr, 0, cls, list) == 0)
    c.pushed();
  else if (number != 0 && number != lwemgie(store, fac))
    lwsfdrm(store, &env, list, &st);
  unwind(c, root, fac, number);
}

void tiv(LemCall &c, lem_frame *root, lwem_facility *fac, int site, int cls, va_list ap,
         const char *name) {
  if (site == 0) {
    lem_own(c, LEM_BADARG, "ec", name);
    c.finish();
    return;
  }
  if (cls == 0) {
    lem_own(c, LEM_BADARG, "sv", name);
    c.finish();
    return;
  }
  lem_record(c, fac, 0, site, cls, ap);
  unwind(c, root, fac, site);
}

void tfe(LemCall &c, lem_frame *root, lwem_facility *fac, int number) {
  lwem_ctx *store = c.store();
  if (number != 0) lem_recordl(c, fac, number, 0, LWEM_CLASS_FATAL, LSFEND);
  const int fatal = lwemgfe(store, fac);
  lem_recordl(c, fac, fatal, 0, LWEM_CLASS_FATAL, LSFEND);
  while (root->inner && root->inner->prev) lemptfr(root, root->inner);
  unwind(c, root, fac, fatal);
}

void tfi(LemCall &c, lem_frame *root, lwem_facility *fac, int site) {
  if (site != 0) lem_recordl(c, fac, 0, site, LWEM_CLASS_RECORDED, LSFEND);
  tfe(c, root, fac, 0);
}

void tav(LemCall &c, lem_frame *root, lwem_facility *fac, int site, int severity, va_list ap,
         const char *name) {
  if (site == 0) {
    lem_own(c, LEM_BADARG, "ec", name);
    c.finish();
    return;
  }
  switch (severity) {
    case kSevFatal:
      tfi(c, root, fac, site);
      break;
    case kSevThrow:
      tiv(c, root, fac, site, LWEM_CLASS_THROWN, ap, name);
      break;
    case kSevRecord:
      lem_record(c, fac, 0, site, LWEM_CLASS_RECORDED, ap);
      break;
    case kSevNone1:
    case kSevNone2:
      break;
    default:
      tfi(c, root, lem_facility(c.lem), LEM_SITE_BADSEV);
      break;
  }
  c.finish();
}

}  // namespace

extern "C" {

// ---------------------------------------------------------------------------
// Recording

void lemriv(lem_ctx *lem, lwem_facility *facility, int site, int cls, va_list ap) {
  if (!lem || !lem->priv) return;
  LemCall c(lem);
  lem_record(c, facility, 0, site, cls, ap);
  c.finish();
}

void lemric(lem_ctx *lem, lwem_facility *facility, int site, int cls, ...) {
  va_list ap;
  va_start(ap, cls);
  lemriv(lem, facility, site, cls, ap);
  va_end(ap);
}

void lemrec(lem_ctx *lem, lwem_facility *facility, int number, int cls, ...) {
  if (!lem || !lem->priv) return;
  LemCall c(lem);
  va_list ap;
  va_start(ap, cls);
  lem_record(c, facility, number, 0, cls, ap);
  va_end(ap);
  c.finish();
}

// ---------------------------------------------------------------------------
// Throwing

void lemptpo(lem_frame *root, lwem_facility *facility, int value, int *flag) {
  if (!root || !facility) return;
  LemCall c(root->lem, flag);
  unwind(c, root, facility, value);
}

void lemtev(lem_frame *root, lwem_facility *facility, int number, int cls, va_list ap) {
  if (!root || !facility || !lem_of(root)) return;
  LemCall c(root->lem);
  tev(c, root, facility, number, cls, ap, "lemtev");
}

void lemtec(lem_frame *root, lwem_facility *facility, int number, int cls, ...) {
  if (!root || !facility || !lem_of(root)) return;
  LemCall c(root->lem);
  va_list ap;
  va_start(ap, cls);
  // A throw leaves through longjmp without reaching va_end; the argument list
  // holds no resources on the platforms the kit is built for.
  tev(c, root, facility, number, cls, ap, "lemtec");
  va_end(ap);
}

void lemtiv(lem_frame *root, lwem_facility *facility, int site, int cls, va_list ap) {
  if (!root || !facility || !lem_of(root)) return;
  LemCall c(root->lem);
  tiv(c, root, facility, site, cls, ap, "lemtiv");
}

void lemtic(lem_frame *root, lwem_facility *facility, int site, int cls, ...) {
  if (!root || !facility || !lem_of(root)) return;
  LemCall c(root->lem);
  va_list ap;
  va_start(ap, cls);
  tiv(c, root, facility, site, cls, ap, "lemtic");
  va_end(ap);
}

void lemtfe(lem_frame *root, lwem_facility *facility, int number) {
  if (!root || !facility || !lem_of(root)) return;
  LemCall c(root->lem);
  tfe(c, root, facility, number);
}

void lemtfi(lem_frame *root, lwem_facility *facility, int site) {
  if (!root || !facility || !lem_of(root)) return;
  LemCall c(root->lem);
  tfi(c, root, facility, site);
}

void lemtav(lem_frame *root, lwem_facility *facility, int site, int severity, va_list ap) {
  if (!root || !facility || !lem_of(root)) return;
  LemCall c(root->lem);
  tav(c, root, facility, site, severity, ap, "lemtav");
}

void lemtas(lem_frame *root, lwem_facility *facility, int site, int severity, ...) {
  if (!root || !facility || !lem_of(root)) return;
  LemCall c(root->lem);
  va_list ap;
  va_start(ap, severity);
  tav(c, root, facility, site, severity, ap, "lemtas");
  va_end(ap);
}

void lemsec(lem_ctx *lem, lwem_facility *facility, int number, int cls, ...) {
  if (!lem || !lem->priv || !lem->root || !facility) return;
  LemCall c(lem);
  va_list ap;
  va_start(ap, cls);
  tev(c, lem->root, facility, number, cls, ap, "lemtev");
  va_end(ap);
}

void lemsic(lem_ctx *lem, lwem_facility *facility, int site, int cls, ...) {
  if (!lem || !lem->priv || !lem->root || !facility) return;
  LemCall c(lem);
  va_list ap;
  va_start(ap, cls);
  tiv(c, lem->root, facility, site, cls, ap, "lemsic");
  va_end(ap);
}

void lemasi(lem_ctx *lem, lwem_facility *facility, int site, int severity, ...) {
  if (!lem || !lem->priv || !lem->root || !facility) return;
  LemCall c(lem);
  va_list ap;
  va_start(ap, severity);
  tav(c, lem->root, facility, site, severity, ap, "lemasi");
  va_end(ap);
}

// ---------------------------------------------------------------------------
// Frames

void lemfri(lem_ctx *lem, lem_frame *root) {
  if (!root) {
    if (lem && lem->priv) {
      LemCall c(lem);
      lem_own(c, LEM_BADARG, "frdptr", "lemfri");
      c.finish();
    }
    return;
  }
  root->inner = nullptr;
  root->count = 0;
  root->lem = lem;
}

void lemptfs(lem_frame *root, lem_tryframe *frame) {
  if (!root) return;
  if (!frame) {
    if (root->lem && root->lem->priv) {
      LemCall c(root->lem);
      lem_own(c, LEM_BADARG, "fr", "lemptfs");
      c.finish();
    }
    return;
  }
  frame->prev = root->inner;
  root->inner = frame;
  root->count++;
}

void lemptfr(lem_frame *root, lem_tryframe *frame) {
  if (!root) return;
  if (!frame) {
    if (root->lem && root->lem->priv) {
      LemCall c(root->lem);
      lem_own(c, LEM_BADARG, "fr", "lemptfr");
      c.finish();
    }
    return;
  }
  if (frame != root->inner) return;
  root->inner = frame->prev;
  root->count--;
}

// ---------------------------------------------------------------------------
// Function addresses

lem_recfn lempfrec(void) { return lemrec; }
lem_recfn lempfric(void) { return lemric; }
lem_recfn lempfsec(void) { return lemsec; }
lem_recfn lempfsic(void) { return lemsic; }
lem_recfn lempfasi(void) { return lemasi; }
lem_throwfn lempftas(void) { return lemtas; }
lem_throwfn lempftec(void) { return lemtec; }
lem_throwfn lempftic(void) { return lemtic; }

}  // extern "C"
