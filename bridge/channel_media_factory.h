// The RTSP media of one recorder channel (/NAME/CH): a media of its own for
// each client, whose pipeline is appsrc ! payloader, fed by a pool handle's
// packets, never re-encoded. Each client thus starts at a key picture with
// the channel's kept group, on a timeline of its own. Building the media is
// where a client "watches" the channel: it takes the handle its request was
// admitted with (or takes one and waits for the recorder's pictures), and
// gives no media when they do not come, which the client sees as an error
// before any stream was set up. The media's end (its client gone) releases
// the handle.
#pragma once

#include <gst/rtsp-server/rtsp-client.h>
#include <gst/rtsp-server/rtsp-media-factory.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "bridge/event_log.h"
#include "session/recorder_pool.h"

namespace orvix::bridge {

// Handles whose channel a client's request waited for, kept for the media
// that request goes on to build, so that a request waits once; and the
// media a client has, which its later requests (a SETUP after the DESCRIBE)
// use again without waiting.
class AdmittedWatches {
public:
    void put(GstRTSPClient* client, const std::string& path, PoolHandle handle);
    // The handle kept for `client` and `path`; an empty one when there is none.
    PoolHandle take(GstRTSPClient* client, const std::string& path);
    // `client` has a media of `path` from now on, or no longer.
    void built(GstRTSPClient* client, const std::string& path);
    void unbuilt(GstRTSPClient* client, const std::string& path);
    bool has(GstRTSPClient* client, const std::string& path);
    // The client is gone: nothing of it is kept.
    void forget(GstRTSPClient* client);
    // The server stops: every handle kept is let go.
    void clear();

private:
    std::mutex mutex_;
    std::map<GstRTSPClient*, std::pair<std::string, PoolHandle>> watches_;
    std::set<std::pair<GstRTSPClient*, std::string>> media_;
};

struct ChannelMount {
    RecorderPool* pool = nullptr;
    std::string recorder;  // its name in the pool
    int channel = 0;  // 0-based
    std::string path;  // "/NAME/CH"
    std::chrono::milliseconds joinWait{10000};  // a client waits this long for pictures
    EventLog* log = nullptr;
    std::shared_ptr<AdmittedWatches> admitted;
};

// A new factory for `mount`, which it copies.
GstRTSPMediaFactory* createChannelMediaFactory(const ChannelMount& mount);

// The appsrc ! payloader (pay0) bin of a media for `codec`; null when an
// element is missing. `appsrc` is set to the source.
GstElement* buildChannelPipeline(VideoCodec codec, GstElement** appsrc);

}  // namespace orvix::bridge
