// Hand-over of complete video packets from the link thread (producer) to the
// display thread (consumer): four fixed slots, one writer per index, and two
// auto-reset events that carry the ordering. The producer never drops a
// packet that fits a slot; when the ring is full it waits.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "link/auto_reset_event.h"

namespace orvix {

constexpr int kRingSlots = 4;
constexpr size_t kSlotSize = 262144;

enum class PushDiscipline {
    WaitWhenFull,  // wait only while the next slot is the one being read
    LockStep,      // wait for one slot-free signal before every packet
};

struct RingSlot {
    const uint8_t* data = nullptr;
    size_t length = 0;
};

class FrameRing {
public:
    static constexpr std::chrono::milliseconds kPushWait{2000};
    static constexpr std::chrono::milliseconds kFrameWait{500};

    // Allocates the four zero-filled slots; false when memory runs out.
    bool allocate();
    void release();  // frees the slots (after both threads have ended)
    bool allocated() const { return slots_[0] != nullptr; }
    // Indices and lengths back to 0, events unsignalled (a new connection).
    void resetIndices();

    // Link thread. Returns false, storing nothing, when the packet is empty
    // or longer than a slot; otherwise waits as the discipline says, copies
    // the packet, and signals frameReady.
    bool push(const uint8_t* packet, size_t length, PushDiscipline discipline);

    // Display thread: true at once while a pushed packet is waiting, else
    // waits for frameReady (at most kFrameWait by default). Not waiting while
    // packets are pending keeps the display from trailing the stream when
    // several pushes merge into one signal.
    bool waitFrame(std::chrono::milliseconds timeout = kFrameWait);
    // Advances the read index and yields that slot; an empty slot (null data)
    // when no pushed packet is waiting, as after the wake-up at stop, so the
    // consumer never reads a slot that is still being written. Taking a
    // packet also takes its frameReady signal, so that the next wait does
    // not wake on a packet already taken.
    RingSlot take();
    // Packets pushed and not yet taken.
    int pending() const { return static_cast<int>(published_.load() - consumed_.load()); }
    // Hands the slot back after every take(). A take() that found no packet
    // has nothing to hand back: signalling then would let a lock-step push
    // run one packet ahead of the display.
    void releaseSlot();
    // Slots handed back since the indices were reset.
    uint64_t released() const { return released_.load(); }

    // Window thread: once after starting the threads, and to wake the
    // display thread when stopping.
    void signalSlotFree() { slotFree_.set(); }
    void signalFrameReady() { frameReady_.set(); }

    int readIndex() const { return readIndex_.load(); }
    int writeIndex() const { return writeIndex_.load(); }
    size_t slotLength(int index) const { return lengths_[index].load(); }
    const uint8_t* slotData(int index) const { return slots_[index].get(); }

private:
    std::unique_ptr<uint8_t[]> slots_[kRingSlots];
    std::atomic<size_t> lengths_[kRingSlots]{};
    std::atomic<int> readIndex_{0};
    std::atomic<int> writeIndex_{0};
    std::atomic<uint64_t> published_{0};  // written by the producer only
    std::atomic<uint64_t> consumed_{0};   // written by the consumer only
    std::atomic<uint64_t> released_{0};   // written by the consumer only
    AutoResetEvent frameReady_;
    AutoResetEvent slotFree_;
};

}  // namespace orvix
