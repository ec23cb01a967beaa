// Console interruption on POSIX: SIGINT, SIGTERM and SIGHUP stop a run at
// its next stop poll the first time and end the process the second time;
// an interrupt hold keeps the signals pending while a removal and its record
// are made. SIGPIPE and SIGXFSZ are ignored, so that a closed pipe or a
// file-size limit is a failed write.
#include <signal.h>

#include <mutex>

#include "platform/platform.h"

namespace zub::platform {

namespace {

// Set by the first SIGINT, SIGTERM or SIGHUP (watch_interrupts).
volatile sig_atomic_t interrupted = 0;

// The signals that stop a run, and end the process the second time.
constexpr int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

void on_interrupt(int) { interrupted = 1; }

}  // namespace

void watch_interrupts() {
    static std::once_flag once;
    std::call_once(once, [] {
        // SA_RESETHAND: the first signal is recorded, the second one meets
        // the default action and ends the process at once.
        struct sigaction action {};
        action.sa_handler = on_interrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        for (int number : STOP_SIGNALS) sigaction(number, &action, nullptr);
        // A reader that went away or a file-size limit makes the write fail
        // (EPIPE, EFBIG), which stops removals like a full disk does.
        signal(SIGPIPE, SIG_IGN);
        signal(SIGXFSZ, SIG_IGN);
    });
}

bool interrupt_requested() { return interrupted != 0; }

namespace {

// The signal mask of the calling thread before its hold.
thread_local sigset_t mask_before_hold;

}  // namespace

// A signal that arrives during a hold stays pending and is delivered when
// the hold ends.
void hold_interrupts() {
    sigset_t stops;
    sigemptyset(&stops);
    for (int number : STOP_SIGNALS) sigaddset(&stops, number);
    pthread_sigmask(SIG_BLOCK, &stops, &mask_before_hold);
}

void release_interrupts() { pthread_sigmask(SIG_SETMASK, &mask_before_hold, nullptr); }
}  // namespace zub::platform
