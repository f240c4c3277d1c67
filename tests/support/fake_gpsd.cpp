#include "support/fake_gpsd.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/shm.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <filesystem>

namespace fenwyd::testing {

namespace {
sockaddr_in Loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// Polls until done() or the time runs out, running the event loop (when
// there is one) so a client under test goes on meanwhile.
template <typename Done>
bool WaitFor(Done done, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) return false;
        if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
        ::usleep(5000);
    }
    return true;
}
}  // namespace

QProcessEnvironment IsolatedEnvironment(const TempFolder& dir) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                             "XDG_RUNTIME_DIR", "TMPDIR"}) {
        const std::filesystem::path path = dir.path() / QString(name).toLower().toStdString();
        std::filesystem::create_directories(path);
        ::chmod(path.c_str(), 0700);
        env.insert(name, QString::fromStdString(path.string()));
    }
    return env;
}

std::string NmeaLog(const std::string& name) { return FENWYD_NMEA_LOGS "/" + name; }

int FreeLocalPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(0);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
        port = ntohs(a.sin_port);
    }
    ::close(fd);
    return port;
}

bool Accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(port);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

bool FakeGpsd::Installed() { return !QStandardPaths::findExecutable("gpsfake").isEmpty(); }

bool FakeGpsd::start(const std::string& log, std::string& why) {
    const bool fixedPort = port != 0;
    for (int attempt = 0; attempt < 3; ++attempt) {  // another test may take a free port first
        if (!fixedPort) port = FreeLocalPort();
        proc_.setProcessEnvironment(IsolatedEnvironment(dir_));
        proc_.setProcessChannelMode(QProcess::MergedChannels);
        proc_.setChildProcessModifier([] { ::setpgid(0, 0); });
        proc_.start("gpsfake",
                    {"-q", "-c", "0.05", "-P", QString::number(port), QString::fromStdString(log)});
        bool ended = false;
        if (proc_.waitForStarted(10000) &&
            WaitFor([&] { return Accepts(port) || (ended = proc_.waitForFinished(1)); }, 20000) &&
            !ended) {
            return true;
        }
        why = proc_.readAll().toStdString() + proc_.errorString().toStdString();
        stop();
    }
    return false;
}

void FakeGpsd::stop() {
    if (proc_.state() != QProcess::NotRunning) {
        const auto group = static_cast<pid_t>(proc_.processId());
        ::kill(-group, SIGTERM);
        // gpsfake can hang in a write to its pty once gpsd is gone.
        if (!proc_.waitForFinished(3000)) ::kill(-group, SIGKILL);
        proc_.waitForFinished(5000);
    }
    if (port == 0) return;
    WaitFor([&] { return !Accepts(port); }, 10000);
    // gpsd leaves its export segment behind, keyed by the port as gpsfake sets it.
    const int id = ::shmget(static_cast<key_t>(0x47700000 + port), 0, 0);
    shmid_ds info{};
    if (id >= 0 && ::shmctl(id, IPC_STAT, &info) == 0 && info.shm_nattch == 0) {
        ::shmctl(id, IPC_RMID, nullptr);
    }
}

}  // namespace fenwyd::testing
