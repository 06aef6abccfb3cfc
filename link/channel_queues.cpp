#include "link/channel_queues.h"

#include <algorithm>

namespace orvix {

ChannelQueues::ChannelQueues(size_t capacity) : capacity_(std::max<size_t>(capacity, 1)) {
    for (Queue& q : queues_) q.entries.resize(capacity_);
}

void ChannelQueues::push(int channel, bool keyPicture, const uint8_t* packet, size_t length) {
    if (channel < 0 || channel >= kChannels || packet == nullptr) return;
    uint64_t drops = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Queue& q = queues_[static_cast<size_t>(channel)];
        const bool full = q.count == capacity_;
        if (full || (q.dropping && !keyPicture)) {
            q.dropping = true;
            drops = ++q.drops;
        } else {
            q.dropping = false;
            QueuedPacket& slot = q.entries[(q.head + q.count) % capacity_];
            slot.bytes.assign(packet, packet + length);
            slot.keyPicture = keyPicture;
            ++q.count;
            if (!q.scheduled && !stopped_) {
                q.scheduled = true;
                readyList_.push_back(channel);
                ready_.notify_one();
            }
        }
    }
    if (drops != 0) {
        if (DropListener* listener = listener_.load()) listener->dropped(channel, drops);
    }
}

int ChannelQueues::waitChannel(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!ready_.wait_for(lock, timeout, [this] { return stopped_ || !readyList_.empty(); })) return -1;
    if (stopped_) return -1;
    const int channel = readyList_.front();
    readyList_.pop_front();
    return channel;
}

bool ChannelQueues::take(int channel, QueuedPacket& out) {
    if (channel < 0 || channel >= kChannels) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    Queue& q = queues_[static_cast<size_t>(channel)];
    if (q.count == 0) return false;
    QueuedPacket& slot = q.entries[q.head];
    std::swap(slot.bytes, out.bytes);
    out.keyPicture = slot.keyPicture;
    q.head = (q.head + 1) % capacity_;
    --q.count;
    return true;
}

void ChannelQueues::done(int channel) {
    if (channel < 0 || channel >= kChannels) return;
    std::lock_guard<std::mutex> lock(mutex_);
    Queue& q = queues_[static_cast<size_t>(channel)];
    if (q.count != 0 && !stopped_) {
        readyList_.push_back(channel);
        ready_.notify_one();
    } else {
        q.scheduled = false;
    }
}

void ChannelQueues::keepOnly(uint32_t mask) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int c = 0; c < kChannels; ++c) {
        if ((mask >> c) & 1u) continue;
        Queue& q = queues_[static_cast<size_t>(c)];
        q.head = 0;
        q.count = 0;
        q.dropping = false;
    }
}

void ChannelQueues::stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
    readyList_.clear();
    ready_.notify_all();
}

bool ChannelQueues::stopped() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopped_;
}

uint64_t ChannelQueues::dropped(int channel) const {
    if (channel < 0 || channel >= kChannels) return 0;
    std::lock_guard<std::mutex> lock(mutex_);
    return queues_[static_cast<size_t>(channel)].drops;
}

size_t ChannelQueues::queued(int channel) const {
    if (channel < 0 || channel >= kChannels) return 0;
    std::lock_guard<std::mutex> lock(mutex_);
    return queues_[static_cast<size_t>(channel)].count;
}

}  // namespace orvix
