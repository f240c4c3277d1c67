#include "headless/mqtt_publisher.h"

#include <mosquitto.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>

#include "headless/outbox.h"

namespace fenwyd::headless {

namespace {
constexpr int kQos = 1;
constexpr int kInflightWindow = 50;  // handed to the library, not yet acknowledged
constexpr int kLoopMs = 250;         // longest wait in the network loop; stop requests see it
constexpr int kFirstRetryMs = 500;
constexpr int kMaxRetryMs = 30000;
constexpr int kConnackTimeoutMs = 15000;
constexpr int kOfflineAckMs = 2000;
constexpr int kThreadEndMs = 3000;
constexpr const char* kOnline = "online";
constexpr const char* kOffline = "offline";

using SteadyClock = std::chrono::steady_clock;

std::string Reason(int rc, int savedErrno) {
    if (rc == MOSQ_ERR_ERRNO) return std::strerror(savedErrno);
    return mosquitto_strerror(rc);
}

// Waits up to ms for done(), looking every few milliseconds.
bool WaitFor(const std::function<bool()>& done, int ms) {
    const auto end = SteadyClock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (SteadyClock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}
}  // namespace

struct MqttPublisher::Link {
    Link(MqttSettings settings, std::function<void(const std::string&)> say)
        : s(std::move(settings)), say(std::move(say)), outbox(s.queueBound) {}
    ~Link() {
        if (mosq != nullptr) mosquitto_destroy(mosq);
        if (libraryReady) mosquitto_lib_cleanup();
    }

    MqttSettings s;
    std::function<void(const std::string&)> say;
    bool libraryReady = false;
    mosquitto* mosq = nullptr;

    std::mutex mutex;  // the outbox, and the order in which messages are handed over
    Outbox outbox;
    uint64_t queued = 0;

    std::mutex wakeMutex;
    std::condition_variable wake;  // a stop request ends a back-off sleep
    bool done = false;             // the network thread has finished

    std::atomic<bool> stopping{false};
    std::atomic<bool> connected{false};
    std::atomic<bool> justConnected{false};
    std::atomic<int> connackCode{0};
    std::atomic<int> inflight{0};        // handed to the library, not yet acknowledged
    std::atomic<int> statusInflight{0};  // of those, "online" and "offline"
    std::atomic<uint64_t> delivered{0};  // records acknowledged

    // The message ids of status messages not yet acknowledged, so the
    // acknowledgements can tell them from records. Its own lock: the
    // library's callback takes it, never the other way round.
    std::mutex statusMutex;
    std::set<int> statusMids;

    std::string address() const {
        const bool v6 = s.host.find(':') != std::string::npos;
        return (v6 ? "[" + s.host + "]" : s.host) + ":" + std::to_string(s.port);
    }
    std::string statusTopic() const { return s.topicPrefix + "/status"; }

    // With mutex held.
    bool send(const OutMessage& m) {
        ++inflight;  // before the call: the acknowledgement may come first
        // Only status messages are retained. Their id is known before the
        // acknowledgement can be looked at.
        std::unique_lock<std::mutex> status(statusMutex, std::defer_lock);
        if (m.retain) {
            status.lock();
            ++statusInflight;
        }
        int mid = 0;
        const int rc =
            mosquitto_publish(mosq, &mid, m.topic.c_str(), static_cast<int>(m.payload.size()),
                              m.payload.data(), kQos, m.retain);
        if (rc != MOSQ_ERR_SUCCESS) {
            --inflight;
            if (m.retain) --statusInflight;
        } else if (m.retain) {
            statusMids.insert(mid);
        }
        return rc == MOSQ_ERR_SUCCESS;
    }
    // Hands queued messages to the library while connected, up to the
    // in-flight window. Messages handed over stay with the library, which
    // sends them again after a reconnect until the broker acknowledges
    // them. With mutex held.
    void drain() {
        while (connected && inflight < kInflightWindow && !outbox.empty()) {
            if (!send(outbox.front())) break;
            outbox.pop();
        }
    }
    void sleepFor(int ms) {
        std::unique_lock<std::mutex> lock(wakeMutex);
        wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping.load(); });
    }

    // The library's callbacks run inside mosquitto_loop on the network
    // thread; they only set counters.
    static void OnConnect(mosquitto*, void* self, int rc) {
        auto* link = static_cast<Link*>(self);
        link->connackCode = rc;
        if (rc == 0) {
            link->connected = true;
            link->justConnected = true;
        }
    }
    static void OnDisconnect(mosquitto*, void* self, int) {
        static_cast<Link*>(self)->connected = false;
    }
    static void OnPublish(mosquitto*, void* self, int mid) {
        auto* link = static_cast<Link*>(self);
        {
            std::lock_guard<std::mutex> lock(link->statusMutex);
            if (link->statusMids.erase(mid) > 0) {
                --link->statusInflight;
            } else {
                ++link->delivered;
            }
        }
        --link->inflight;
    }

    static void Run(const std::shared_ptr<Link>& link) { link->run(); }
    void run();
};

void MqttPublisher::Link::run() {
    int retryMs = kFirstRetryMs;
    bool socketUp = false;
    bool up = false;          // connected, as far as this loop has seen
    bool complained = false;  // a failure already reported since the last connection
    auto attemptStart = SteadyClock::now();
    auto fail = [&](const std::string& what) {
        socketUp = false;
        up = false;
        if (!complained) {
            say("mqtt: " + what + "; records are kept (up to " + std::to_string(s.queueBound) +
                ") until it is back");
        }
        complained = true;
        sleepFor(retryMs);
        retryMs = std::min(retryMs * 2, kMaxRetryMs);
    };

    while (!stopping) {
        if (!socketUp) {
            // Blocking (name lookup and TCP connect), on this thread only.
            connackCode = 0;
            const int rc = mosquitto_connect(mosq, s.host.c_str(), s.port, s.keepAliveSeconds);
            if (rc != MOSQ_ERR_SUCCESS) {
                fail("cannot reach the broker " + address() + ": " + Reason(rc, errno));
                continue;
            }
            socketUp = true;
            attemptStart = SteadyClock::now();
        }
        const int rc = mosquitto_loop(mosq, kLoopMs, 1);
        const int savedErrno = errno;
        if (justConnected.exchange(false)) {
            up = true;
            retryMs = kFirstRetryMs;
            complained = false;
            std::lock_guard<std::mutex> lock(mutex);
            const uint64_t dropped = outbox.takeNewlyDropped();
            say("mqtt: connected to " + address() +
                (dropped > 0
                     ? "; " + std::to_string(dropped) + " records were dropped while it was away"
                     : std::string()));
            send({statusTopic(), kOnline, true});
        }
        if (connected) {
            std::lock_guard<std::mutex> lock(mutex);
            drain();
        }
        if (rc != MOSQ_ERR_SUCCESS) {
            // The library's disconnect callback may already have cleared
            // connected; this loop remembers what it saw.
            const bool was = up;
            connected = false;
            const int code = connackCode;
            if (code != 0) {
                fail("the broker " + address() + " refused us: " + mosquitto_connack_string(code));
            } else if (was) {
                complained = false;
                fail("lost the broker " + address() + " (" + Reason(rc, savedErrno) + ")");
            } else {
                fail("cannot reach the broker " + address() + ": " + Reason(rc, savedErrno));
            }
        } else if (!connected && SteadyClock::now() - attemptStart >
                                     std::chrono::milliseconds(kConnackTimeoutMs)) {
            mosquitto_disconnect(mosq);
            fail("no answer from the broker " + address());
        }
    }
    if (socketUp) {
        mosquitto_disconnect(mosq);
        for (int i = 0; i < 8 && mosquitto_socket(mosq) != -1; ++i) mosquitto_loop(mosq, 50, 1);
    }
    std::lock_guard<std::mutex> lock(wakeMutex);
    done = true;
    wake.notify_all();
}

MqttPublisher::MqttPublisher(MqttSettings settings, std::function<void(const std::string&)> say)
    : link_(std::make_shared<Link>(std::move(settings), std::move(say))) {}

MqttPublisher::~MqttPublisher() { stop(0); }

bool MqttPublisher::start(std::string& error) {
    Link& l = *link_;
    l.libraryReady = mosquitto_lib_init() == MOSQ_ERR_SUCCESS;
    l.mosq = mosquitto_new(nullptr, true, &l);
    if (l.mosq == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    const std::string status = l.statusTopic();
    int rc = mosquitto_threaded_set(l.mosq, true);
    if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_int_option(l.mosq, MOSQ_OPT_TCP_NODELAY, 1);
    if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_max_inflight_messages_set(l.mosq, kInflightWindow);
    if (rc == MOSQ_ERR_SUCCESS) {
        rc = mosquitto_will_set(l.mosq, status.c_str(), static_cast<int>(std::strlen(kOffline)),
                                kOffline, kQos, true);
    }
    if (rc == MOSQ_ERR_SUCCESS && !l.s.user.empty()) {
        rc = mosquitto_username_pw_set(l.mosq, l.s.user.c_str(), l.s.password.c_str());
    }
    if (rc == MOSQ_ERR_SUCCESS && !l.s.caFile.empty()) {
        rc = mosquitto_tls_set(l.mosq, l.s.caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            error = "cannot use the CA file " + l.s.caFile + ": " + mosquitto_strerror(rc);
            return false;
        }
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        error = mosquitto_strerror(rc);
        return false;
    }
    mosquitto_connect_callback_set(l.mosq, &Link::OnConnect);
    mosquitto_disconnect_callback_set(l.mosq, &Link::OnDisconnect);
    mosquitto_publish_callback_set(l.mosq, &Link::OnPublish);
    thread_ = std::thread(&Link::Run, link_);
    return true;
}

void MqttPublisher::publish(const char* kind, std::string payload) {
    Link& l = *link_;
    std::lock_guard<std::mutex> lock(l.mutex);
    l.outbox.push({l.s.topicPrefix + "/" + kind, std::move(payload), false});
    ++l.queued;
    if (l.mosq != nullptr) l.drain();
}

void MqttPublisher::stop(int drainMs) {
    Link& l = *link_;
    if (!thread_.joinable()) return;
    WaitFor(
        [&l] {
            std::lock_guard<std::mutex> lock(l.mutex);
            return !l.connected || (l.outbox.empty() && l.inflight <= 0);
        },
        drainMs);
    if (l.connected) {
        // A clean disconnect sends no will: say "offline" ourselves.
        std::lock_guard<std::mutex> lock(l.mutex);
        l.send({l.statusTopic(), kOffline, true});
    }
    WaitFor([&l] { return !l.connected || l.inflight <= 0; }, kOfflineAckMs);

    std::unique_lock<std::mutex> lock(l.wakeMutex);
    l.stopping = true;
    l.wake.notify_all();
    const bool ended =
        l.wake.wait_for(lock, std::chrono::milliseconds(kThreadEndMs), [&l] { return l.done; });
    lock.unlock();
    // A thread still inside a blocking connect keeps its share of the link
    // until the process ends.
    if (ended) {
        thread_.join();
    } else {
        thread_.detach();
    }
}

MqttPublisher::Counts MqttPublisher::counts() const {
    Link& l = *link_;
    std::lock_guard<std::mutex> lock(l.mutex);
    Counts c;
    c.queued = l.queued;
    c.delivered = l.delivered;
    c.dropped = l.outbox.dropped();
    c.waiting = l.outbox.size() +
                static_cast<uint64_t>(std::max(0, l.inflight.load() - l.statusInflight.load()));
    c.connected = l.connected;
    return c;
}

}  // namespace fenwyd::headless
