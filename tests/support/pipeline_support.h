// A display thread over a real ring, decoder and renderer switch, with a
// renderer that keeps what it was given, and the packet layouts a recorder
// sends for each frame kind.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "link/link_shared.h"
#include "link/recorder_connection.h"
#include "media/overlay_settings.h"
#include "media/video_decoder.h"
#include "session/display_thread.h"
#include "session/renderer.h"
#include "session/renderer_switch.h"
#include "tests/support/test_stream.h"

namespace orvix::test {

// Header64 / Header32: time at 4, channel (low 4 bits) and picture type
// (high 4 bits) at 8, payload after the header, then a 4-byte end marker.
Packet headerPacket(int headerBytes, const Packet& payload, uint32_t seconds, int channel, bool key);
// Header32Raw: channel at 4, 0 at 5 for a key picture, time since 2008 at 8,
// payload length at 12, coding configuration at 20.
Packet rawPacket(const Packet& payload, uint32_t secondsSince2008, int channel, bool key, uint8_t coding);

class RecordingRenderer : public Renderer {
public:
    struct Shown {
        RgbImage picture;
        OverlayRows overlay;
    };

    explicit RecordingRenderer(bool usable = true) : usable_(usable) {}
    bool present(const DisplayFrame& frame, const OverlayRows& overlay) override;
    // Waits until `count` pictures were presented (a guard against hangs,
    // not a time limit the code must meet).
    bool waitFor(size_t count);
    std::vector<Shown> shown();
    size_t presentCalls();

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<Shown> shown_;
    size_t calls_ = 0;
    bool usable_;
};

struct Pipeline {
    explicit Pipeline(int32_t model, std::u16string name = u"Lobby");
    ~Pipeline();

    void start();
    void push(const Packet& packet);
    // Waits until the display thread has taken `count` packets.
    bool waitTaken(uint32_t count);
    void stop();

    DeviceRecord* record;
    std::u16string name;
    LinkShared shared;
    RecorderConnection connection;
    VideoDecoder decoder;
    RecordingRenderer renderer;
    RendererSwitch renderers;
    OverlaySettings settings;
    DisplayThread thread{connection, decoder, renderers, settings};
};

}  // namespace orvix::test
