// One recorder channel sent to browsers over WebRTC: a pipeline of its own
// fed by one pool handle, whose H.264 goes out as it came (MPEG-4 part 2,
// which browsers cannot play, is decoded and encoded to H.264 here, once for
// all its viewers), split to one webrtcbin per viewer. A viewer starts at a
// key picture: its branch drops what comes before one, and an encoder is
// asked for one at once.
//
// Threads: the owner (a WHEP request's worker, or the service's
// housekeeping) calls everything, one call at a time; GStreamer's threads
// run the pipeline.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gst/gst.h>

#include "bridge/appsrc_target.h"
#include "bridge/whep_offer.h"
#include "session/recorder_pool.h"

namespace orvix::bridge {

class WebrtcChannel {
public:
    // `handle` watches the channel, whose codec is known.
    explicit WebrtcChannel(PoolHandle handle);
    ~WebrtcChannel();
    WebrtcChannel(const WebrtcChannel&) = delete;
    WebrtcChannel& operator=(const WebrtcChannel&) = delete;

    // Builds and plays the pipeline; false with the element that is missing.
    bool start(std::string& error);
    bool transcoded() const { return transcoded_; }
    // The stream ended (the recorder was given up) or failed: no viewer
    // gets pictures from it any more.
    bool ended() const { return ended_; }
    // Why the stream failed, empty when it did not.
    std::string failure() const;

    // A viewer `id` for the browser's `offer`, sent `choice`: the answer's
    // SDP text, with the bridge's ICE candidates in it. False with the
    // reason when negotiation fails.
    bool addViewer(const std::string& id, const std::string& offer, const H264Choice& choice, std::string& answer,
                   std::string& error);
    // False for an unknown viewer.
    bool removeViewer(const std::string& id);
    // Viewers whose connection failed or was closed, taken out.
    int removeGone();
    size_t viewers() const { return viewers_.size(); }
    // Takes the latency of branches that changed it into the pipeline's
    // (not on a streaming thread, where it could deadlock).
    void updateLatency();

private:
    struct Viewer {
        GstElement* queue = nullptr;
        GstElement* payloader = nullptr;
        GstElement* profile = nullptr;
        GstElement* webrtc = nullptr;
        GstPad* teePad = nullptr;
    };
    bool buildBranch(Viewer& viewer, const H264Choice& choice, std::string& error);
    void dropBranch(Viewer& viewer);
    void askForKeyPicture();
    static GstBusSyncReply onBusMessage(GstBus* bus, GstMessage* message, gpointer self);

    PoolHandle handle_;
    bool transcoded_ = false;
    std::atomic<bool> ended_{false};
    std::atomic<bool> latencyChanged_{false};
    GstElement* pipeline_ = nullptr;
    GstElement* tee_ = nullptr;
    GstElement* encoder_ = nullptr;  // transcoding only
    std::vector<GstElement*> chain_;  // appsrc to tee
    std::unique_ptr<AppsrcTarget> target_;
    std::map<std::string, Viewer> viewers_;
    mutable std::mutex mutex_;
    std::string failure_;
};

}  // namespace orvix::bridge
