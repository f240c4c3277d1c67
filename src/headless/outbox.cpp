#include "headless/outbox.h"

namespace fenwyd::headless {

void Outbox::push(OutMessage message) {
    while (queue_.size() >= bound_) {
        queue_.pop_front();
        ++dropped_;
    }
    queue_.push_back(std::move(message));
}

uint64_t Outbox::takeNewlyDropped() {
    const uint64_t n = dropped_ - reported_;
    reported_ = dropped_;
    return n;
}

}  // namespace fenwyd::headless
