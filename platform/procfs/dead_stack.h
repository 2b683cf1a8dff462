// Thread cancellation unwinds frames without AddressSanitizer seeing them
// leave: their poisoned redzones stay on the stack below the frame in which
// a cleanup handler runs, and the sanitizer's own bookkeeping on the way to
// the next frame (its no-return hook) then stumbles over them. A
// cancellation cleanup routine calls qen_clear_dead_stack first thing: it
// clears that dead region, at most span bytes below the routine's frame.
// It does nothing in builds without AddressSanitizer.
#ifndef QEN_PROCFS_DEAD_STACK_H
#define QEN_PROCFS_DEAD_STACK_H

#include <stddef.h>

#if defined(__SANITIZE_ADDRESS__)
#include <pthread.h>
#include <stdint.h>

#include <sanitizer/asan_interface.h>
#endif

// Enough for the sanitizer's and the unwinder's frames below a handler.
constexpr size_t kQenDeadStackSpan = 64 * 1024;

__attribute__((always_inline)) inline void qen_clear_dead_stack(size_t span = kQenDeadStackSpan)
{
#if defined(__SANITIZE_ADDRESS__)
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0)
        return;
    void* low = nullptr;
    size_t size = 0;
    pthread_attr_getstack(&attr, &low, &size);
    pthread_attr_destroy(&attr);
    auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    auto base = reinterpret_cast<uintptr_t>(low);
    if (here <= base || here - base > size)
        return;
    uintptr_t from = here - base > span ? here - span : base;
    __asan_unpoison_memory_region(reinterpret_cast<void*>(from), here - from);
#else
    (void)span;
#endif
}

#endif
