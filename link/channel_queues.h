// The per-channel packet queues of a shown channel set, between the link
// thread (which pushes and never waits) and the decode workers (which take a
// channel's packets in order, one worker per channel at a time).
//
// Each channel has a bounded queue. A push to a full queue drops the packet
// and the channel then drops everything up to its next key picture (a
// picture without its references would decode wrong); every dropped packet
// is counted. A channel with packets waiting is on the ready list once; a
// worker takes it off, takes its packets, and hands it back with done().
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "link/channel_hand_over.h"

namespace orvix {

// Told of every dropped packet, on the link thread; must not block.
class DropListener {
public:
    virtual ~DropListener() = default;
    // `total` counts the channel's drops since the queues were made.
    virtual void dropped(int channel, uint64_t total) = 0;
};

struct QueuedPacket {
    std::vector<uint8_t> bytes;  // the packet, start marker first
    bool keyPicture = false;
};

class ChannelQueues final : public ChannelHandOver {
public:
    static constexpr int kChannels = 16;
    static constexpr size_t kDefaultCapacity = 8;

    explicit ChannelQueues(size_t capacity = kDefaultCapacity);

    // Before packets come.
    void setDropListener(DropListener* listener) { listener_.store(listener); }

    // Link thread.
    void push(int channel, bool keyPicture, const uint8_t* packet, size_t length) override;

    // Worker threads: the next channel with packets (taken off the ready
    // list), or -1 after `timeout` or once stopped.
    int waitChannel(std::chrono::milliseconds timeout);
    // The oldest packet of a channel the caller took with waitChannel();
    // false when its queue is empty. `out`'s buffer is swapped into the
    // queue, so buffers are reused rather than allocated per packet.
    bool take(int channel, QueuedPacket& out);
    // The caller is done with the channel for now: back on the ready list if
    // packets came meanwhile.
    void done(int channel);

    // Owner: forgets the queued packets of channels not in `mask`.
    void keepOnly(uint32_t mask);
    // Owner: wakes every waiting worker; waitChannel() returns -1 from now on.
    void stop();
    bool stopped() const;

    // Any thread.
    uint64_t dropped(int channel) const;
    size_t queued(int channel) const;
    size_t capacity() const { return capacity_; }

private:
    struct Queue {
        std::vector<QueuedPacket> entries;
        size_t head = 0;
        size_t count = 0;
        bool dropping = false;   // until the next key picture that fits
        bool scheduled = false;  // on the ready list or with a worker
        uint64_t drops = 0;
    };

    const size_t capacity_;
    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::array<Queue, kChannels> queues_;
    std::deque<int> readyList_;
    bool stopped_ = false;
    std::atomic<DropListener*> listener_{nullptr};
};

}  // namespace orvix
