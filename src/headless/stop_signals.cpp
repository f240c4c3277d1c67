#include "headless/stop_signals.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#else
#include <windows.h>
#endif

namespace fenwyd::headless {

namespace {
#ifdef Q_OS_UNIX
int gPipe[2] = {-1, -1};

void OnSignal(int signo) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signo);
    // Nothing else is safe here; a full pipe already holds a wake-up.
    [[maybe_unused]] const ssize_t n = ::write(gPipe[1], &byte, 1);
    errno = saved;
}
#else
StopSignals* gSignals = nullptr;
std::function<void()>* gStop = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD) {
    // Runs on a thread of its own: hand the stop to the Qt thread.
    if (gSignals != nullptr && gStop != nullptr) {
        QMetaObject::invokeMethod(gSignals, *gStop, Qt::QueuedConnection);
    }
    return TRUE;
}
#endif
}  // namespace

StopSignals::StopSignals(std::function<void()> onStop, std::function<void()> onReopen)
    : onStop_(std::move(onStop)), onReopen_(std::move(onReopen)) {}

StopSignals::~StopSignals() {
#ifdef Q_OS_UNIX
    notifier_.reset();
    for (int signo : {SIGINT, SIGTERM, SIGHUP}) ::signal(signo, SIG_DFL);
    for (int& fd : gPipe) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
#else
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    gSignals = nullptr;
    gStop = nullptr;
#endif
}

bool StopSignals::install(QString& error) {
#ifdef Q_OS_UNIX
    if (::pipe(gPipe) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    for (int fd : gPipe) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    notifier_ = std::make_unique<QSocketNotifier>(gPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { readSignals(); });
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int signo : {SIGINT, SIGTERM, SIGHUP}) {
        if (::sigaction(signo, &sa, nullptr) != 0) {
            error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
    }
    // A reader that went away (stdout into a closed pipe) or a broker that
    // closed its socket is an error to report, not a reason to die.
    ::signal(SIGPIPE, SIG_IGN);
    return true;
#else
    gSignals = this;
    gStop = &onStop_;
    if (!SetConsoleCtrlHandler(OnConsoleEvent, TRUE)) {
        error = QStringLiteral("cannot install the console handler");
        return false;
    }
    return true;
#endif
}

void StopSignals::readSignals() {
#ifdef Q_OS_UNIX
    unsigned char buf[64];
    ssize_t n = 0;
    bool stop = false, reopen = false;
    while ((n = ::read(gPipe[0], buf, sizeof buf)) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            if (buf[i] == SIGHUP) {
                reopen = true;
            } else {
                stop = true;
            }
        }
    }
    if (reopen && onReopen_) onReopen_();
    if (stop && onStop_) onStop_();
#endif
}

}  // namespace fenwyd::headless
