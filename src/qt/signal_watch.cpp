#include "qt/signal_watch.h"

#include <QSocketNotifier>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#endif
#include <algorithm>
#include <chrono>
#include <climits>
#include <thread>

namespace fenwyd {

#ifndef _WIN32
namespace {
int gPipe[2] = {-1, -1};
volatile sig_atomic_t gArrived = 0;

void OnSignal(int sig) {
    const int saved = errno;
    gArrived = 1;  // before the byte: whoever sees the byte sees the mark
    const unsigned char byte = static_cast<unsigned char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(gPipe[1], &byte, 1);  // async-signal-safe
    errno = saved;
}
}  // namespace

SignalWatch::SignalWatch(std::initializer_list<int> signalNumbers) {
    gArrived = 0;
    if (::pipe(gPipe) != 0) return;
    for (int fd : gPipe) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(gPipe[1], F_SETFL, ::fcntl(gPipe[1], F_GETFL) | O_NONBLOCK);
    ::fcntl(gPipe[0], F_SETFL, ::fcntl(gPipe[0], F_GETFL) | O_NONBLOCK);
    notifier_ = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, this);
    QObject::connect(notifier_, &QSocketNotifier::activated, this, [this] { drain(); });
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : signalNumbers) ::sigaction(sig, &sa, nullptr);
}

SignalWatch::~SignalWatch() {
    delete notifier_;
    for (int& fd : gPipe) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

void SignalWatch::drain() {
    unsigned char bytes[16];
    ssize_t n;
    while ((n = ::read(gPipe[0], bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            if (onSignal) onSignal(bytes[i]);
        }
    }
}
bool SignalWatch::Arrived() { return gArrived != 0; }

void SignalWatch::SleepUnlessSignalled(double ms) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::microseconds(static_cast<long long>(ms * 1000.0));
    for (auto now = Clock::now(); now < end && gArrived == 0; now = Clock::now()) {
        // Woken by the byte the handler writes; a pipe not made (-1) is
        // ignored by poll, which then only sleeps.
        const long long left = std::chrono::ceil<std::chrono::milliseconds>(end - now).count();
        pollfd p{gPipe[0], POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(std::min<long long>(left, INT_MAX)));
    }
}
#else
SignalWatch::SignalWatch(std::initializer_list<int>) {}
SignalWatch::~SignalWatch() = default;
void SignalWatch::drain() {}
bool SignalWatch::Arrived() { return false; }
void SignalWatch::SleepUnlessSignalled(double ms) {
    std::this_thread::sleep_for(std::chrono::microseconds(static_cast<long long>(ms * 1000.0)));
}
#endif

}  // namespace fenwyd
