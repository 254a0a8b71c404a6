#include "platform/stop_signals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace platform {

int BlockStopSignals() {
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGHUP);
    ::sigprocmask(SIG_BLOCK, &mask, nullptr);
    return ::signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
}

void DrainStopSignals(int fd) {
    signalfd_siginfo info{};
    while (::read(fd, &info, sizeof info) == sizeof info) {
    }
}

}  // namespace platform
