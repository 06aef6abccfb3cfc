// The decoder's tap as the owner changes it while the display thread
// decodes: once set() returns, the tap set before is not called any more,
// so its owner may finish and free it at once.
//
// With a span of recorder time [from, to) only the packets inside it reach
// the tap: from the first packet inside it (pictures still on their way
// from elsewhere are passed over) until the first one at or past its end.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "media/decode_tap.h"

namespace orvix {

class TapGate final : public DecodeTap {
public:
    enum class Span { None, Waiting, Inside, Ended };

    // `seconds`: the recorder time of the packet being decoded, written by
    // the display thread before it hands the packet to the decoder.
    explicit TapGate(const std::atomic<int64_t>& seconds) : seconds_(seconds) {}

    // Owner's thread; waits while a packet is being handed to the old tap.
    void set(DecodeTap* tap) {
        std::lock_guard<std::mutex> lock(mutex_);
        tap_ = tap;
    }
    // Owner's thread: only [from, to) from now on (Waiting); to <= from
    // passes nothing.
    void setSpan(uint32_t from, uint32_t to) {
        std::lock_guard<std::mutex> lock(mutex_);
        from_ = from;
        to_ = to;
        span_.store(Span::Waiting);
    }
    void clearSpan() {
        std::lock_guard<std::mutex> lock(mutex_);
        span_.store(Span::None);
    }
    Span span() const { return span_.load(); }

    // Display thread.
    void decoderInput(const uint8_t* bytes, size_t length) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!passes()) return;
        if (tap_ != nullptr) tap_->decoderInput(bytes, length);
    }

private:
    // Under the lock: the span's one transition, for the packet now.
    bool passes() {
        const Span span = span_.load();
        if (span == Span::None) return true;
        if (span == Span::Ended) return false;
        const int64_t t = seconds_.load();
        const bool inside = t >= from_ && t < to_;
        if (span == Span::Waiting) {
            if (inside) span_.store(Span::Inside);
            return inside;
        }
        if (inside) return true;
        span_.store(Span::Ended);
        return false;
    }

    const std::atomic<int64_t>& seconds_;
    std::mutex mutex_;
    DecodeTap* tap_ = nullptr;
    int64_t from_ = 0;
    int64_t to_ = 0;
    std::atomic<Span> span_{Span::None};
};

}  // namespace orvix
