// Messages waiting for the broker: at most `bound` of them; when one more
// comes, the oldest is dropped and counted. Not thread-safe by itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace fenwyd::headless {

struct OutMessage {
    std::string topic;
    std::string payload;
    bool retain = false;
};

class Outbox {
public:
    explicit Outbox(std::size_t bound) : bound_(bound == 0 ? 1 : bound) {}

    void push(OutMessage message);
    bool empty() const { return queue_.empty(); }
    std::size_t size() const { return queue_.size(); }
    std::size_t bound() const { return bound_; }
    OutMessage& front() { return queue_.front(); }
    void pop() { queue_.pop_front(); }

    // Dropped since the start, and since the last call of takeNewlyDropped().
    uint64_t dropped() const { return dropped_; }
    uint64_t takeNewlyDropped();

private:
    std::size_t bound_;
    std::deque<OutMessage> queue_;
    uint64_t dropped_ = 0;
    uint64_t reported_ = 0;
};

}  // namespace fenwyd::headless
