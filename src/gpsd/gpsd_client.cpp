#include "gpsd/gpsd_client.h"

#include <fcntl.h>
#include <gps.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <QDateTime>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

namespace fenwyd {

namespace {

// Reports read in one turn of the event loop before it runs other work.
constexpr int kMessagesPerTurn = 64;
// A dead peer behind a silent network is noticed after about 25 s.
constexpr int kKeepIdleS = 10;
constexpr int kKeepIntervalS = 5;
constexpr int kKeepCount = 3;

bool IsHostChar(char c, bool ipv6) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_' || (ipv6 && (c == ':' || c == '%'));
}

bool ParsePort(const std::string& text, uint16_t& port) {
    if (text.empty() || text.size() > 5) return false;
    long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535) return false;
    port = static_cast<uint16_t>(value);
    return true;
}

bool StartsWith(const char* line, const char* prefix) {
    return std::strncmp(line, prefix, std::strlen(prefix)) == 0;
}

}  // namespace

bool ParseGpsdAddress(const std::string& text, GpsdAddress& out, std::string& error) {
    const std::size_t first = text.find_first_not_of(" \t");
    const std::size_t last = text.find_last_not_of(" \t");
    const std::string s = first == std::string::npos ? "" : text.substr(first, last - first + 1);
    if (s.empty()) {
        error = "no gpsd host given";
        return false;
    }
    std::string host = s;
    std::string port;
    bool ipv6 = false;
    if (s[0] == '[') {
        const std::size_t close = s.find(']');
        if (close == std::string::npos) {
            error = "\"" + s + "\": no ']' after the IPv6 address";
            return false;
        }
        host = s.substr(1, close - 1);
        ipv6 = true;
        const std::string rest = s.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != ':') {
                error = "\"" + s + "\": only \":PORT\" may follow the IPv6 address";
                return false;
            }
            port = rest.substr(1);
            if (port.empty()) port = "-";  // "[::1]:" names no port
        }
    } else if (std::count(s.begin(), s.end(), ':') > 1) {
        ipv6 = true;  // a bare IPv6 address: no port can follow it
    } else if (const std::size_t colon = s.find(':'); colon != std::string::npos) {
        host = s.substr(0, colon);
        port = s.substr(colon + 1);
        if (port.empty()) port = "-";
    }
    if (host.empty()) {
        error = "\"" + s + "\": no gpsd host given";
        return false;
    }
    for (const char c : host) {
        if (!IsHostChar(c, ipv6)) {
            error = "\"" + s + "\" is not a host name or address";
            return false;
        }
    }
    GpsdAddress a;
    a.host = host;
    if (!port.empty() && !ParsePort(port, a.port)) {
        error = "\"" + s + "\": the gpsd port must be a number from 1 to 65535";
        return false;
    }
    out = a;
    return true;
}

std::string GpsdAddressText(const GpsdAddress& a) {
    const std::string host = a.host.find(':') != std::string::npos ? "[" + a.host + "]" : a.host;
    return host + ":" + std::to_string(a.port);
}

// One connection attempt, shared with the thread that makes it. client is
// cleared (under the mutex) when the attempt is abandoned, so the thread
// never posts to a client that is gone.
struct GpsdClient::Attempt {
    std::mutex mutex;
    GpsdClient* client = nullptr;
    GpsdAddress address;
};

// An open libgps session; closed with its last reference, on whichever
// thread lets go of it.
struct GpsdClient::Connection {
    gps_data_t data{};
    bool open = false;
    ~Connection() {
        if (open) gps_close(&data);
    }
};

GpsdClient::GpsdClient(QObject* parent) : QObject(parent) {
    qRegisterMetaType<fenwyd::Position>();
    qRegisterMetaType<fenwyd::GpsState>();
    clock_ = [] { return QDateTime::currentMSecsSinceEpoch(); };
    retry_.setSingleShot(true);
    stale_.setSingleShot(true);
    greeting_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &GpsdClient::connectNow);
    connect(&stale_, &QTimer::timeout, this, [this] {
        latest_.reset();
        updateState();
    });
    connect(&greeting_, &QTimer::timeout, this,
            [this] { lose(QStringLiteral("no greeting from gpsd")); });
}

GpsdClient::~GpsdClient() {
    abandonAttempt();
    closeConnection();
}

void GpsdClient::setClock(std::function<int64_t()> nowUtcMs) { clock_ = std::move(nowUtcMs); }

void GpsdClient::start(const GpsdAddress& address) {
    abandonAttempt();
    closeConnection();
    retry_.stop();
    address_ = address;
    on_ = true;
    latest_.reset();
    nextRetryMs_ = kGpsdFirstRetryMs;
    updateState();
    connectNow();
}

void GpsdClient::stop() {
    abandonAttempt();
    closeConnection();
    retry_.stop();
    on_ = false;
    latest_.reset();
    updateState();
}

void GpsdClient::connectNow() {
    if (!on_) return;
    abandonAttempt();
    auto attempt = std::make_shared<Attempt>();
    attempt->client = this;
    attempt->address = address_;
    attempt_ = attempt;
    try {
        std::thread([attempt] {
            auto connection = std::make_shared<Connection>();
            const std::string port = std::to_string(attempt->address.port);
            QString error;
            if (gps_open(attempt->address.host.c_str(), port.c_str(), &connection->data) != 0) {
                error = QString::fromLocal8Bit(gps_errstr(errno));
            } else {
                connection->open = true;
                if (gps_stream(&connection->data, WATCH_ENABLE | WATCH_JSON, nullptr) != 0) {
                    error = QStringLiteral("cannot ask gpsd for reports");
                    gps_close(&connection->data);
                    connection->open = false;
                }
            }
            const std::lock_guard<std::mutex> lock(attempt->mutex);
            if (GpsdClient* client = attempt->client) {
                QMetaObject::invokeMethod(
                    client,
                    [client, attempt, connection, error] {
                        client->opened(attempt.get(), connection, error);
                    },
                    Qt::QueuedConnection);
            }
        }).detach();
    } catch (const std::system_error& e) {
        attempt_.reset();
        lose(QString::fromLocal8Bit(e.what()));
    }
}

void GpsdClient::opened(const Attempt* attempt, const std::shared_ptr<Connection>& connection,
                        const QString& error) {
    if (attempt != attempt_.get()) return;  // given up: the connection closes with its owner
    attempt_.reset();
    if (!connection->open) {
        lose(error);
        return;
    }
    const int fd = connection->data.gps_fd;
    // Read only what has arrived: libgps reads once per call and reports
    // "nothing yet" (0) when the socket would block.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
#ifdef TCP_KEEPIDLE
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepIdleS, sizeof kKeepIdleS);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepIntervalS, sizeof kKeepIntervalS);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepCount, sizeof kKeepCount);
#endif
    connection_ = connection;
    notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &GpsdClient::readAvailable);
    greeting_.start(kGpsdGreetingMs);
}

void GpsdClient::readAvailable() {
    const uint64_t generation = generation_;
    for (int n = 0; n < kMessagesPerTurn; ++n) {
        // Only the start of a message is looked at here; libgps unpacks the
        // whole of it into connection_->data.
        char line[64];
        const int got = gps_read(&connection_->data, line, sizeof line);
        if (got < 0) {
            lose(QStringLiteral("the connection was closed"));
            return;
        }
        if (got == 0) return;
        handleMessage(line);
        if (generation != generation_) return;  // closed or restarted from a signal
    }
    // More may wait in libgps's own buffer, which the notifier cannot see.
    QTimer::singleShot(0, this, [this, generation] {
        if (generation == generation_ && connection_) readAvailable();
    });
}

void GpsdClient::handleMessage(const char* line) {
    if (StartsWith(line, "{\"class\":\"VERSION\"")) {
        talking_ = true;
        greeting_.stop();
        nextRetryMs_ = kGpsdFirstRetryMs;
        updateState();
        return;
    }
    if (!StartsWith(line, "{\"class\":\"TPV\"")) return;
    ++reports_;
    const gps_fix_t& f = connection_->data.fix;
    Position p;
    p.latitude = f.latitude;
    p.longitude = f.longitude;
    p.fix =
        f.mode == MODE_3D ? FixMode::ThreeD : (f.mode == MODE_2D ? FixMode::TwoD : FixMode::None);
    if (p.fix == FixMode::ThreeD) {
        if (std::isfinite(f.altMSL)) p.altitudeM = f.altMSL;
        if (std::isfinite(f.altHAE)) p.ellipsoidHeightM = f.altHAE;
    }
    if (f.time.tv_sec > 0) {
        p.fixUtcMs = static_cast<int64_t>(f.time.tv_sec) * 1000 + f.time.tv_nsec / 1000000;
    }
    p.receivedUtcMs = clock_();
    if (p.fix == FixMode::None) {
        // gpsd says there is no fix now: the last one no longer counts.
        latest_.reset();
        stale_.stop();
        updateState();
        return;
    }
    // A report with a fix but without coordinates (gpsd sends those while
    // it sorts out a receiver's cycle) tells nothing new.
    if (!HasFix(p)) return;
    latest_ = p;
    stale_.start(static_cast<int>(kPositionFreshMs) + 1);
    updateState();
    emit positionReported(p);
}

void GpsdClient::lose(const QString& reason) {
    closeConnection();
    latest_.reset();
    updateState();
    if (!on_) return;
    const int delay = nextRetryMs_;
    nextRetryMs_ = std::min(nextRetryMs_ * 2, kGpsdLastRetryMs);
    retry_.start(delay);
    emit problem(QStringLiteral("gpsd at %1: %2; trying again in %3 s")
                     .arg(QString::fromStdString(GpsdAddressText(address_)), reason)
                     .arg(delay / 1000));
}

void GpsdClient::closeConnection() {
    ++generation_;
    talking_ = false;
    greeting_.stop();
    stale_.stop();
    if (notifier_ != nullptr) {
        // Possibly inside its own signal: disabled now, deleted later.
        notifier_->setEnabled(false);
        notifier_->deleteLater();
        notifier_ = nullptr;
    }
    connection_.reset();
}

void GpsdClient::abandonAttempt() {
    if (!attempt_) return;
    {
        const std::lock_guard<std::mutex> lock(attempt_->mutex);
        attempt_->client = nullptr;
    }
    attempt_.reset();
}

void GpsdClient::updateState() {
    const GpsState s = on_ ? StateFor(talking_, latest_, clock_()) : GpsState::Off;
    if (s == state_) return;
    state_ = s;
    emit stateChanged(s);
}

}  // namespace fenwyd
