// The RTSP media of one recorder channel (/NAME/CH): a shared media whose
// pipeline is appsrc ! parser ! payloader, fed by a pool handle's packets,
// never re-encoded. Building the media is where a client "watches" the
// channel: it takes a handle and waits for the recorder's pictures (the
// connection opens on demand), and gives no media when they do not come,
// which the client sees as an error before any stream was set up. The
// media's end (its last client gone) releases the handle.
#pragma once

#include <gst/rtsp-server/rtsp-media-factory.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "bridge/event_log.h"
#include "session/recorder_pool.h"

namespace orvix::bridge {

// Which media of a mount new clients share: the generation grows when the
// shared media's last client leaves and when it starts to be taken down, so
// that a client asking meanwhile gets a new media instead of the one going
// away (which would refuse it). Copies of a mount share it.
struct MediaGeneration {
    std::atomic<unsigned> value{0};
};

struct ChannelMount {
    RecorderPool* pool = nullptr;
    std::string recorder;  // its name in the pool
    int channel = 0;  // 0-based
    std::string path;  // "/NAME/CH"
    std::chrono::milliseconds joinWait{10000};  // a client waits this long for pictures
    EventLog* log = nullptr;
    std::shared_ptr<MediaGeneration> generation = std::make_shared<MediaGeneration>();
};

// A new factory for `mount`, which must outlive it. Shared media, one per
// mount at a time.
GstRTSPMediaFactory* createChannelMediaFactory(const ChannelMount& mount);

}  // namespace orvix::bridge
