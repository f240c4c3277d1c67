// Records to an MQTT broker through libmosquitto: QoS 1, a retained "online"
// on PREFIX/status with "offline" as the last will.
//
// The network side runs on a thread of its own that owns the connection:
// connect, reconnect with back-off, keep-alive and acknowledgements. The
// probe's transactions block the Qt thread for 300 ms to several seconds at a
// time, and a name lookup or a connect to an unreachable broker blocks for
// seconds, so neither may share a thread. libmosquitto's own loop_start()
// thread is not used because it ends for good on a failed name lookup or a
// refused login; ours keeps trying. The Qt thread only queues records and
// hands them to the library (mosquitto_publish is thread-safe); the
// library's callbacks touch nothing but this object's counters.
//
// Records wait in a bounded queue while the broker is away; when it is full
// the oldest is dropped and counted. Logging never waits for the broker.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace fenwyd::headless {

struct MqttSettings {
    std::string host;
    int port = 1883;
    std::string topicPrefix;
    std::string user;  // empty: no login
    std::string password;
    std::string caFile;  // empty: no TLS
    std::size_t queueBound = 10000;
    int keepAliveSeconds = 30;
};

class MqttPublisher {
public:
    // say: one line for the operator; called from either thread.
    MqttPublisher(MqttSettings settings, std::function<void(const std::string&)> say);
    ~MqttPublisher();
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Sets up the client and starts the network thread, which connects in
    // the background. False (with the reason) for settings the library
    // refuses, such as an unreadable CA file.
    bool start(std::string& error);
    // Queues one record for PREFIX/<kind> (QoS 1); sent at once while the
    // broker is there.
    void publish(const char* kind, std::string payload);
    // Gives the queue up to drainMs to reach the broker, then publishes
    // "offline" and disconnects cleanly.
    void stop(int drainMs);

    // Every record handed to publish() is delivered, dropped or waiting.
    struct Counts {
        uint64_t queued = 0;     // records handed to publish()
        uint64_t delivered = 0;  // acknowledged by the broker
        uint64_t dropped = 0;    // dropped from a full queue
        uint64_t waiting = 0;    // queued or not yet acknowledged
        bool connected = false;  // the broker has acknowledged our connection
    };
    Counts counts() const;

private:
    // Everything the network thread touches. Shared with it, so a thread
    // still stuck in a connect at exit never sees freed memory.
    struct Link;
    std::shared_ptr<Link> link_;
    std::thread thread_;
};

}  // namespace fenwyd::headless
