// The RTSP media of one recorder channel (/NAME/CH): a shared media whose
// pipeline is appsrc ! parser ! payloader, fed by the channel's feed, never
// re-encoded. Building the media is where a client "watches" the channel:
// it waits for the recorder's pictures (the connection opens on demand) and
// gives no media when they do not come, which the client sees as an error
// before any stream was set up. The media's end (its last client gone)
// "unwatches" it.
#pragma once

#include <gst/rtsp-server/rtsp-media-factory.h>

#include <atomic>
#include <memory>
#include <string>

#include "bridge/bridged_recorder.h"
#include "bridge/event_log.h"

namespace orvix::bridge {

// Which media of a mount new clients share: the generation grows when the
// shared media's last client leaves and when it starts to be taken down, so
// that a client asking meanwhile gets a new media instead of the one going
// away (which would refuse it). Copies of a mount share it.
struct MediaGeneration {
    std::atomic<unsigned> value{0};
};

struct ChannelMount {
    BridgedRecorder* recorder = nullptr;
    int channel = 0;  // 0-based
    std::string path;  // "/NAME/CH"
    EventLog* log = nullptr;
    std::shared_ptr<MediaGeneration> generation = std::make_shared<MediaGeneration>();
};

// A new factory for `mount`, which must outlive it. Shared media, one per
// mount at a time.
GstRTSPMediaFactory* createChannelMediaFactory(const ChannelMount& mount);

}  // namespace orvix::bridge
