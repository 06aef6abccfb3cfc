#include "link/frame_ring.h"

#include <cstring>
#include <new>

namespace orvix {

bool FrameRing::allocate() {
    for (auto& slot : slots_) {
        slot.reset(new (std::nothrow) uint8_t[kSlotSize]);
        if (!slot) {
            release();
            return false;
        }
        std::memset(slot.get(), 0, kSlotSize);
    }
    resetIndices();
    return true;
}

void FrameRing::release() {
    for (auto& slot : slots_) slot.reset();
}

void FrameRing::resetIndices() {
    for (auto& length : lengths_) length.store(0);
    readIndex_.store(0);
    writeIndex_.store(0);
    published_.store(0);
    consumed_.store(0);
    released_.store(0);
    frameReady_.reset();
    slotFree_.reset();
}

bool FrameRing::push(const uint8_t* packet, size_t length, PushDiscipline discipline) {
    if (packet == nullptr || length == 0 || length > kSlotSize || !allocated()) return false;

    const int index = (writeIndex_.load() + 1) % kRingSlots;
    writeIndex_.store(index);
    if (discipline == PushDiscipline::LockStep) {
        while (!slotFree_.wait(kPushWait)) {
        }
    }
    // The slot at readIndex is being decoded; never write into it.
    while (index == readIndex_.load()) slotFree_.wait(kPushWait);

    std::memcpy(slots_[index].get(), packet, length);
    lengths_[index].store(length);
    published_.fetch_add(1);
    frameReady_.set();
    return true;
}

bool FrameRing::waitFrame(std::chrono::milliseconds timeout) {
    if (pending() > 0) return true;
    return frameReady_.wait(timeout);
}

RingSlot FrameRing::take() {
    if (pending() <= 0) return RingSlot{};
    // The signal of this packet may still be set when the wait returned at
    // once because packets were pending. Packets pushed after this point
    // signal again; those pushed before it are found through pending().
    frameReady_.reset();
    const int index = (readIndex_.load() + 1) % kRingSlots;
    readIndex_.store(index);
    consumed_.fetch_add(1);
    return RingSlot{slots_[index].get(), lengths_[index].load()};
}

void FrameRing::releaseSlot() {
    if (released_.load() >= consumed_.load()) return;
    released_.fetch_add(1);
    slotFree_.set();
}

}  // namespace orvix
