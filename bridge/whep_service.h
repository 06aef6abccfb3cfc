// WebRTC playback over WHEP on the bridge's HTTP server: a POST of an SDP
// offer to /whep/NAME/CH makes a viewer of that channel and is answered
// (201) with the SDP answer and the viewer's resource in Location
// (/whep/NAME/CH/ID), which a DELETE ends. Each watched channel has one
// WebrtcChannel for all its viewers, made by its first viewer (who waits
// for the recorder as an RTSP client does) and closed a few seconds after
// its last viewer left, its connection failed, or its stream ended.
//
// Threads: serveOn() and stop() from the owner's thread; the HTTP server's
// thread hands the requests to the service's workers, which wait for the
// recorder and the negotiation; a housekeeping thread closes what is gone.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bridge/event_log.h"
#include "bridge/http_server.h"
#include "bridge/status_report.h"
#include "bridge/webrtc_channel.h"
#include "session/recorder_pool.h"

namespace orvix::bridge {

struct WhepTarget {
    std::string recorder;
    int channel = 0;  // 0-based
};

// The recorder channel served at "/NAME/CH", none for a path not served.
using WhepLookup = std::function<std::optional<WhepTarget>(const std::string& path)>;

class WhepService {
public:
    static constexpr int kMaxViewers = 64;
    static constexpr int kWorkers = 4;
    static constexpr std::chrono::seconds kIdleClose{5};

    WhepService(RecorderPool& pool, WhepLookup lookup, std::chrono::milliseconds joinWait, EventLog& log);
    ~WhepService() { stop(); }
    WhepService(const WhepService&) = delete;
    WhepService& operator=(const WhepService&) = delete;

    // Routes /whep/ on `server` (before it starts) and starts the workers.
    void serveOn(HttpServer& server);
    // Answers what waits with 503 and closes every channel.
    void stop();
    // By path ("/NAME/CH").
    std::map<std::string, WhepPathInfo> paths() const;

private:
    struct Entry {
        std::mutex mutex;  // one change of the channel at a time
        std::unique_ptr<WebrtcChannel> channel;
        std::chrono::steady_clock::time_point emptySince = std::chrono::steady_clock::now();
    };
    struct Task {
        HttpRequest request;
        HttpServer::Responder respond;
    };

    void work();
    void housekeep();
    HttpReply offer(const HttpRequest& request);
    HttpReply remove(const HttpRequest& request);
    // The entry of `path` with a running channel, or the refusal.
    std::shared_ptr<Entry> entryFor(const std::string& path, const WhepTarget& target, HttpReply& refusal);
    // Closes what is gone in `entry` (under its lock); true when it may go.
    bool tidy(const std::string& path, Entry& entry);

    RecorderPool& pool_;
    WhepLookup lookup_;
    const std::chrono::milliseconds joinWait_;
    EventLog& log_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> tasks_;
    std::map<std::string, std::shared_ptr<Entry>> entries_;
    int viewers_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace orvix::bridge
