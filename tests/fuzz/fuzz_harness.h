// What the fuzz targets share: a connection with its buffers and a record,
// and a stream handler that answers commands with the real link handling
// (the link thread object is never started; its sends fail on the closed
// socket) and moves each video packet through the frame ring at once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/link_shared.h"
#include "link/link_thread.h"
#include "link/recorder_connection.h"
#include "link/stream_parser.h"

namespace orvix::fuzz {

class Harness : public StreamHandler {
public:
    Harness() : link_(connection) {
        record = createRecord();
        connection.record = record;
        connection.shared = &shared;
        if (!connection.allocateBuffers()) __builtin_trap();
    }
    ~Harness() override { destroyRecord(record); }

    // A fresh parser and link state, with the filter inputs from `flags`:
    // bit 0 search mode, bit 1 I-frame-only, bit 2 resync, bits 4-7 channel.
    void reset(uint8_t flags, int threadState) {
        resetStreamParser(connection);
        shared.threadState = threadState;
        connection.mode = flags & 1;
        shared.iframeOnly = (flags >> 1) & 1;
        connection.resync = (flags >> 2) & 1;
        record->currentChannel = flags >> 4;
    }

    void onCommand(uint32_t code, const uint8_t* payload, size_t length) override {
        link_.onCommand(code, payload, length);
    }
    void onVideo(const uint8_t* packet, size_t length, PushDiscipline discipline) override {
        if (length > kSlotSize) __builtin_trap();
        connection.ring.signalSlotFree();  // lock-step waits for one signal
        connection.ring.push(packet, length, discipline);
        const RingSlot slot = connection.ring.take();
        if (slot.data == nullptr || slot.length != length) __builtin_trap();
        connection.ring.releaseSlot();
    }

    LinkShared shared;
    RecorderConnection connection;
    DeviceRecord* record = nullptr;

private:
    LinkThread link_;
};

// Feeds `data` to `parse` in chunks of 1 + `chunkSeed` bytes (the whole input
// at once for seed 255), so markers fall across chunk boundaries.
template <typename Parse>
void feedInChunks(const uint8_t* data, size_t size, uint8_t chunkSeed, Parse parse) {
    const size_t chunk = chunkSeed == 255 ? (size > 0 ? size : 1) : size_t{chunkSeed} + 1;
    for (size_t at = 0; at < size; at += chunk) parse(data + at, size - at < chunk ? size - at : chunk);
}

}  // namespace orvix::fuzz
