/* Preloaded into 32-bit Wine when it runs under qemu-user (tools/test's
 * 32-bit suite). qemu-user leaves the trap number of the i386 signal context
 * at -1, and Wine classifies every fault by it: a fault that Wine handles
 * itself (IsBadReadPtr, a stack guard page) would become "unhandled illegal
 * instruction". The wrapper reports such a SIGSEGV or SIGBUS as the page
 * fault (trap 14) that it is, then hands it to Wine's own handler.
 * Built for both ELF classes (LD_PRELOAD=.../$LIB/...); only i386 wraps. */
#if defined(__i386__)
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stddef.h>
#include <ucontext.h>

typedef int (*sigaction_fn)(int, const struct sigaction*, struct sigaction*);
static void (*wine_handler[2])(int, siginfo_t*, void*);

static int slot(int sig) {
    return sig == SIGSEGV ? 0 : sig == SIGBUS ? 1 : -1;
}

static void trap_fixer(int sig, siginfo_t* info, void* context) {
    ucontext_t* uc = context;
    if (uc && uc->uc_mcontext.gregs[REG_TRAPNO] == -1)
        uc->uc_mcontext.gregs[REG_TRAPNO] = 14;
    wine_handler[slot(sig)](sig, info, context);
}

int sigaction(int sig, const struct sigaction* act, struct sigaction* old) {
    static sigaction_fn real;
    if (!real)
        real = (sigaction_fn)dlsym(RTLD_NEXT, "sigaction");
    int s = slot(sig);
    if (s < 0 || !act || !(act->sa_flags & SA_SIGINFO))
        return real(sig, act, old);
    struct sigaction wrapped = *act;
    void (*previous)(int, siginfo_t*, void*) = wine_handler[s];
    wine_handler[s] = act->sa_sigaction;
    wrapped.sa_sigaction = trap_fixer;
    int rc = real(sig, &wrapped, old);
    if (rc == 0 && old && old->sa_sigaction == trap_fixer)
        old->sa_sigaction = previous;
    return rc;
}
#endif
