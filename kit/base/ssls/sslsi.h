// Internal helpers shared by the multiplexer and its sigaction layer.
#ifndef QEN_KIT_CORE_SSLSI_H
#define QEN_KIT_CORE_SSLSI_H

#include <signal.h>

#include "ssls.h"

// The mask of every handler the layer installs.
void sslsigmask(sigset_t *set);
// Installs handler with the layer's mask and flags (0: SA_SIGINFO|SA_RESTART);
// the previous action goes to old when given. The sigaction result.
int sslsigset(int sig, sslsigfn handler, int flags, struct sigaction *old);
// The handler address of an action, whichever member it uses.
sslsigfn sslsighandlerof(const struct sigaction *sa);

#endif
