#include "platform/stop_signal.h"

#include <signal.h>

namespace tandrel {
namespace {

// Set by the handler, read by the run: the one value a signal handler may safely write.
volatile sig_atomic_t stopSignal = 0;

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

void OnStopSignal(int signal) {
    if (stopSignal != 0) {
        // Asked twice: the run is not ending fast enough for the user.
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigaction(signal, &fallback, nullptr);
        raise(signal);
        return;
    }
    stopSignal = signal;
}

}  // namespace

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : kStopSignals) {
        // A signal ignored when the program started (SIGHUP under nohup) stays ignored.
        struct sigaction before {};
        if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN) {
            sigaction(signal, &action, nullptr);
        }
    }
}

int StopSignal() {
    return stopSignal;
}

void EndBySignal(int signal) {
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigaction(signal, &fallback, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(signal);
}

}  // namespace tandrel
