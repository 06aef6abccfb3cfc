// The display thread of one connection: takes packets out of the frame ring,
// keeps those of the selected channel, decodes them, stamps the recorder's
// time and presents the picture with its overlay. Runs until the link thread
// state becomes 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <thread>

#include "link/recorder_connection.h"
#include "media/overlay_settings.h"
#include "media/video_decoder.h"
#include "session/renderer_switch.h"

namespace orvix {

class DisplayThread {
public:
    // The connection must carry its LinkShared before start(); the record
    // may be absent (every packet is then released unread).
    DisplayThread(RecorderConnection& connection, VideoDecoder& decoder, RendererSwitch& renderers,
                  const OverlaySettings& settings);
    ~DisplayThread();  // waits for the thread to end
    DisplayThread(const DisplayThread&) = delete;
    DisplayThread& operator=(const DisplayThread&) = delete;

    // False when already started or the connection has no shared state.
    bool start();
    // Waits for the end of the thread (it ends once the state is 0).
    void join();
    bool joinable() const { return thread_.joinable(); }

private:
    void run();
    void process(const uint8_t* slot, size_t length);
    void show(int32_t seconds);

    RecorderConnection& connection_;
    VideoDecoder& decoder_;
    RendererSwitch& renderers_;
    const OverlaySettings& settings_;
    std::thread thread_;
};

}  // namespace orvix
