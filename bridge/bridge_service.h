// The whole bridge: its recorders in a recorder pool, the RTSP front and
// server with a mount for each of their channels, the HTTP status server
// with the web page and WebRTC (WHEP) viewers, and the publishers, started and stopped together, and changed recorder by
// recorder when the configuration is read again.
//
// Threads: start(), stop() and reload() from the owner's thread; the HTTP
// server's thread reads snapshot().
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bridge/bridge_settings.h"
#include "bridge/event_log.h"
#include "bridge/http_server.h"
#include "bridge/loopback_pair.h"
#include "bridge/publisher.h"
#include "bridge/rate_meter.h"
#include "bridge/rtsp_front.h"
#include "bridge/rtsp_server.h"
#include "bridge/status_report.h"
#include "bridge/whep_service.h"
#include "session/recorder_pool.h"

namespace orvix::bridge {

class BridgeService {
public:
    BridgeService(BridgeSettings settings, EventLog& log);
    ~BridgeService() { stop(); }
    BridgeService(const BridgeService&) = delete;
    BridgeService& operator=(const BridgeService&) = delete;

    // False, with the reason, when the RTSP front or the status server
    // cannot listen; nothing then runs.
    bool start(std::string& error);
    void stop();
    // Serves `next` from now on: recorders whose definition is the same
    // keep their connection and clients; the others are closed, changed or
    // added; the RTSP users change at once. Listen addresses, limits and the
    // status address keep until a restart (the log says so).
    void reload(BridgeSettings next);

    // The RTSP URL of each listen address ("rtsp://127.0.0.1:8554/").
    const std::vector<std::string>& rtspUrls() const { return rtspUrls_; }
    // "http://127.0.0.1:8081/", empty without a status server.
    std::string statusUrl() const;
    BridgeSnapshot snapshot() const;
    // The recorders, for benchmarks that watch a channel beside the clients.
    RecorderPool& pool() { return pool_; }

private:
    void addRecorder(const ServedRecorder& recorder);
    void removeRecorder(const std::string& name, const std::string& reason);
    int openBackend(const Peer& peer);
    void routeStatus();
    std::optional<WhepTarget> whepTarget(const std::string& path) const;

    BridgeSettings settings_;  // the owner's thread only
    EventLog& log_;
    // Before the server: its clients' media may still let go of their
    // handles while it stops.
    RecorderPool pool_;
    RtspServer rtsp_;
    LoopbackPairs pairs_;
    std::unique_ptr<RtspFront> front_;
    std::unique_ptr<HttpServer> status_;
    std::unique_ptr<WhepService> whep_;  // with the status server
    std::vector<std::string> rtspUrls_;
    mutable RateMeter rates_;
    mutable std::mutex publishersMutex_;
    std::map<std::string, std::vector<std::unique_ptr<Publisher>>> publishers_;  // by recorder
    bool running_ = false;
};

}  // namespace orvix::bridge
