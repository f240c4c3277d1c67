// Positions from gpsd through its own client library (libgps), on the Qt
// event loop. The caller never waits on the network: the connection is
// opened on a short-lived thread of its own (name lookup and connect block
// inside libgps, for as long as a remote host takes to answer), and the
// reports are read when the socket has data. A gpsd that is absent, goes
// away or comes back is tried again with back-off, 1 s doubling to 30 s.
#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "position/position.h"

class QSocketNotifier;

namespace fenwyd {

constexpr uint16_t kGpsdDefaultPort = 2947;
constexpr int kGpsdFirstRetryMs = 1000;
constexpr int kGpsdLastRetryMs = 30000;
// An open connection that has not said it is gpsd by then is given up.
constexpr int kGpsdGreetingMs = 10000;

struct GpsdAddress {
    std::string host = "localhost";
    uint16_t port = kGpsdDefaultPort;
};

// "HOST", "HOST:PORT", "[IPv6]:PORT" or a bare IPv6 address; the port is
// 1..65535, 2947 when not given. False, with the reason, for anything else.
bool ParseGpsdAddress(const std::string& text, GpsdAddress& out, std::string& error);
// "host:2947", "[::1]:2947".
std::string GpsdAddressText(const GpsdAddress& address);

class GpsdClient : public QObject {
    Q_OBJECT
public:
    explicit GpsdClient(QObject* parent = nullptr);
    ~GpsdClient() override;
    GpsdClient(const GpsdClient&) = delete;
    GpsdClient& operator=(const GpsdClient&) = delete;

    // Talks to gpsd at address from now on (again from the first attempt
    // when it was talking to one already). Returns at once.
    void start(const GpsdAddress& address);
    // Closes the connection; the state is Off.
    void stop();

    GpsState state() const { return state_; }
    const GpsdAddress& address() const { return address_; }
    // The last fix while the state is 2D or 3D fix; nothing otherwise.
    std::optional<Position> latest() const { return latest_; }
    // The position that counts for a reading made at utcMs (the clock
    // below): the latest fix when it arrived within 5 s of it.
    std::optional<Position> positionAt(int64_t utcMs) const {
        return PositionForReading(latest_, utcMs);
    }
    // Position reports (with or without a fix) since start.
    uint64_t reportCount() const { return reports_; }

    // The clock fixes are stamped with when they arrive, ms since 1970
    // (UTC): the system clock unless set. Give it the clock readings are
    // stamped with.
    void setClock(std::function<int64_t()> nowUtcMs);

signals:
    void stateChanged(fenwyd::GpsState state);
    // Every report with a 2D or 3D fix.
    void positionReported(const fenwyd::Position& position);
    // Why gpsd cannot be reached, for a log: "gpsd at localhost:2947:
    // can't connect to host/port pair; trying again in 2 s".
    void problem(const QString& text);

private:
    struct Attempt;
    struct Connection;

    void connectNow();
    void opened(const Attempt* attempt, const std::shared_ptr<Connection>& connection,
                const QString& error);
    void readAvailable();
    void handleMessage(const char* line);
    void lose(const QString& reason);
    void closeConnection();
    void abandonAttempt();
    void updateState();

    GpsdAddress address_;
    bool on_ = false;
    bool talking_ = false;  // gpsd has greeted us on this connection
    GpsState state_ = GpsState::Off;
    std::optional<Position> latest_;
    uint64_t reports_ = 0;
    int nextRetryMs_ = kGpsdFirstRetryMs;
    uint64_t generation_ = 0;  // bumped whenever the connection closes
    std::shared_ptr<Attempt> attempt_;
    std::shared_ptr<Connection> connection_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer retry_;
    QTimer stale_;     // the latest fix is 5 s old
    QTimer greeting_;  // no word from gpsd on a new connection
    std::function<int64_t()> clock_;
};

}  // namespace fenwyd

Q_DECLARE_METATYPE(fenwyd::Position)
Q_DECLARE_METATYPE(fenwyd::GpsState)
