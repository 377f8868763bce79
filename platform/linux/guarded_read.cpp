#include <csetjmp>
#include <csignal>

#include "platform/mapped_window.h"

namespace tandrel {
namespace {

// Where a fault inside RunGuardedRead returns to; null outside the guarded body. Per thread, so
// a fault in another thread is never taken for one of ours.
thread_local sigjmp_buf* guardedJump = nullptr;
struct sigaction previousAction;

void OnBusError(int signal, siginfo_t* info, void* context) {
    // Only a fault (a positive code) comes from reading a window; a SIGBUS sent with kill is
    // not ours either.
    if (guardedJump != nullptr && info->si_code > 0) {
        siglongjmp(*guardedJump, 1);
    }
    if ((previousAction.sa_flags & SA_SIGINFO) != 0) {
        previousAction.sa_sigaction(signal, info, context);
    } else if (previousAction.sa_handler != SIG_DFL && previousAction.sa_handler != SIG_IGN) {
        previousAction.sa_handler(signal);
    } else {
        // The default action: put it back and let the signal arrive again once this returns.
        ::sigaction(SIGBUS, &previousAction, nullptr);
        ::raise(signal);
    }
}

}  // namespace

bool RunGuardedRead(void (*body)(void*), void* context) {
    struct sigaction guard = {};
    guard.sa_sigaction = OnBusError;
    guard.sa_flags = SA_SIGINFO;
    sigemptyset(&guard.sa_mask);
    if (::sigaction(SIGBUS, &guard, &previousAction) != 0) {
        return false;
    }
    sigjmp_buf jump;
    // Set after the body, so it keeps its value across a jump only as a volatile.
    volatile bool finished = false;
    // The jump restores the signal mask, so SIGBUS is deliverable again afterwards.
    if (sigsetjmp(jump, 1) == 0) {
        guardedJump = &jump;
        body(context);
        finished = true;
    }
    guardedJump = nullptr;
    ::sigaction(SIGBUS, &previousAction, nullptr);
    return finished;
}

}  // namespace tandrel
