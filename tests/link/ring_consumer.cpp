#include "tests/link/ring_consumer.h"

#include <chrono>

namespace orvix::test {

void RingConsumer::start() { thread_ = std::thread([this] { loop(); }); }

void RingConsumer::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void RingConsumer::setGated(bool gated) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        gated_ = gated;
    }
    cv_.notify_all();
}

void RingConsumer::allow(int packets) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        permits_ += packets;
    }
    cv_.notify_all();
}

void RingConsumer::loop() {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (quit_) return;
        }
        if (shared_.threadState.load() == kLinkStopped) return;
        if (!ring_.waitFrame(std::chrono::milliseconds(20))) continue;
        const RingSlot slot = ring_.take();
        std::unique_lock<std::mutex> lock(mutex_);
        if (slot.data == nullptr) {
            ++emptyTakes_;
        } else {
            shared_.framesCounter.fetch_add(1);
            packets_.emplace_back(slot.data, slot.data + slot.length);
            // A slow display: hold the slot until allowed, but never past a
            // stop request, as the real display thread keeps going then.
            while (gated_ && permits_ == 0 && !quit_ && shared_.threadState.load() != kLinkStopRequested)
                cv_.wait_for(lock, std::chrono::milliseconds(5));
            if (gated_ && permits_ > 0) --permits_;
        }
        lock.unlock();
        ring_.releaseSlot();
    }
}

std::vector<std::vector<uint8_t>> RingConsumer::packets() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return packets_;
}

size_t RingConsumer::packetCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return packets_.size();
}

int RingConsumer::emptyTakes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return emptyTakes_;
}

}  // namespace orvix::test
