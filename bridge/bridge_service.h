// The whole bridge: its recorders in a recorder pool, the RTSP server with a
// mount for each of their channels, the status page and the publishers,
// started and stopped together.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bridge/event_log.h"
#include "bridge/publisher.h"
#include "bridge/rtsp_server.h"
#include "bridge/status_server.h"
#include "session/recorder_pool.h"

namespace orvix::bridge {

struct BridgeSettings {
    std::vector<RecorderSettings> recorders;
    RtspSettings rtsp;
    std::optional<int> statusPort;
    std::string publishUrl;      // with {name} and {ch}; empty: no publishing
    std::vector<int> published;  // channels to publish, 1-based
};

class BridgeService {
public:
    BridgeService(BridgeSettings settings, EventLog& log);
    ~BridgeService() { stop(); }
    BridgeService(const BridgeService&) = delete;
    BridgeService& operator=(const BridgeService&) = delete;

    // False, with the reason, when the RTSP server or the status page cannot
    // listen; nothing then runs.
    bool start(std::string& error);
    void stop();

    int rtspPort() const { return rtsp_.port(); }
    int statusPort() const { return status_ != nullptr ? status_->port() : 0; }
    // The status page's text.
    std::string statusText() const;

private:
    BridgeSettings settings_;
    EventLog& log_;
    // Before the server: its clients' media may still let go of their
    // handles while it stops.
    RecorderPool pool_;
    RtspServer rtsp_;
    std::unique_ptr<StatusServer> status_;
    std::vector<std::unique_ptr<Publisher>> publishers_;
    bool running_ = false;
};

}  // namespace orvix::bridge
