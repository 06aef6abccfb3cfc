// What the bridge tells about itself over HTTP, from one snapshot of its
// state: the human page, the JSON of its paths, the Prometheus metrics and
// the health verdict.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "bridge/rtsp_front.h"
#include "session/recorder_pool.h"

namespace orvix::bridge {

// A path's WebRTC viewers.
struct WhepPathInfo {
    int viewers = 0;
    bool transcoded = false;  // its MPEG-4 is encoded to H.264 for them
};

struct PathSnapshot {
    std::string path;  // "/NAME/CH"
    std::string recorder;
    int channel = 0;   // 1-based
    int clients = 0;   // RTSP clients playing it
    int watchers = 0;  // pool handles on its channel (clients, publishers, WebRTC)
    WhepPathInfo webrtc;  // its WebRTC viewers
    FeedCounters counters;
    double picturesPerSecond = 0;
    double bytesPerSecond = 0;
};

struct PublisherSnapshot {
    std::string path;
    std::string url;  // without password
    std::string state;
};

struct BridgeSnapshot {
    std::vector<std::string> rtspUrls;  // "rtsp://ADDR:PORT/"
    std::vector<RecorderStatus> recorders;
    std::vector<PathSnapshot> paths;
    FrontCounters front;
    std::vector<PublisherSnapshot> publishers;
    std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
};

// Plain text, a line per recorder, path with data and publisher.
std::string statusPage(const BridgeSnapshot& snapshot);
// {"recorders": [...], "paths": [...]}: every served path with its
// recorder's state, its clients and rates.
std::string pathsJson(const BridgeSnapshot& snapshot);
// The Prometheus text format (version 0.0.4).
std::string prometheusMetrics(const BridgeSnapshot& snapshot);
// Whether every recorder is reachable or idle by design (no client wants
// it); `why` names the others, a line each.
bool healthy(const BridgeSnapshot& snapshot, std::string& why);

}  // namespace orvix::bridge
