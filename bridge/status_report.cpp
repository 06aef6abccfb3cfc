#include "bridge/status_report.h"

#include <cstdio>
#include <sstream>

namespace orvix::bridge {
namespace {

const RecorderPhase kPhases[] = {RecorderPhase::Idle,         RecorderPhase::Connecting,   RecorderPhase::Streaming,
                                 RecorderPhase::Reconnecting, RecorderPhase::LoginRefused, RecorderPhase::Unreachable};

// The phase as one word, for the page, the JSON and the metrics' labels.
const char* phaseWord(RecorderPhase phase) {
    switch (phase) {
        case RecorderPhase::Idle: return "idle";
        case RecorderPhase::Connecting: return "connecting";
        case RecorderPhase::Streaming: return "streaming";
        case RecorderPhase::Reconnecting: return "reconnecting";
        case RecorderPhase::LoginRefused: return "refused";
        case RecorderPhase::Unreachable: return "unreachable";
    }
    return "idle";
}

bool reachable(RecorderPhase phase) {
    return phase == RecorderPhase::Idle || phase == RecorderPhase::Connecting || phase == RecorderPhase::Streaming;
}

std::string jsonText(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        switch (c) {
            case '"': quoted += "\\\""; break;
            case '\\': quoted += "\\\\"; break;
            case '\n': quoted += "\\n"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    quoted += escaped;
                } else {
                    quoted += c;
                }
        }
    }
    return quoted + "\"";
}

// A label value of the Prometheus text format.
std::string labelText(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '\\' || c == '"') quoted += '\\';
        quoted += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return quoted + "\"";
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

const RecorderStatus* recorderOf(const BridgeSnapshot& snapshot, const std::string& name) {
    for (const RecorderStatus& recorder : snapshot.recorders) {
        if (recorder.name == name) return &recorder;
    }
    return nullptr;
}

class Metrics {
public:
    // A family: its HELP and TYPE lines once, before its first sample.
    void family(const std::string& name, const char* type, const char* help) {
        text_ << "# HELP " << name << " " << help << "\n# TYPE " << name << " " << type << "\n";
    }
    void sample(const std::string& name, const std::vector<std::pair<std::string, std::string>>& labels,
                uint64_t value) {
        text_ << name;
        if (!labels.empty()) {
            text_ << "{";
            for (size_t i = 0; i < labels.size(); ++i) {
                text_ << (i ? "," : "") << labels[i].first << "=" << labelText(labels[i].second);
            }
            text_ << "}";
        }
        text_ << " " << value << "\n";
    }
    std::string text() const { return text_.str(); }

private:
    std::ostringstream text_;
};

}  // namespace

std::string statusPage(const BridgeSnapshot& snapshot) {
    std::ostringstream text;
    text << "orvix-bridge";
    for (const std::string& url : snapshot.rtspUrls) text << " " << url;
    text << "\n";
    for (const RecorderStatus& status : snapshot.recorders) {
        text << "recorder " << status.name << " " << phaseWord(status.state.phase);
        if (!status.carried.empty())
            text << (status.carried.size() == 1 ? " channel " : " channels ") << status.carried.text();
        if (status.cameras > 0) text << " cameras " << status.cameras;
        text << " bytes " << status.bytes << " reconnects " << status.reconnects << ": "
             << status.state.words(snapshot.now) << "\n";
    }
    for (const PathSnapshot& path : snapshot.paths) {
        if (path.clients == 0 && path.watchers == 0 && path.counters.pictures == 0) continue;
        text << "channel " << path.recorder << "/" << path.channel << " clients " << path.clients << " watchers "
             << path.watchers << " pictures " << path.counters.pictures << " bytes " << path.counters.bytes
             << " drops " << path.counters.drops << "\n";
    }
    for (const PublisherSnapshot& publisher : snapshot.publishers) {
        text << "publish " << publisher.path << " " << publisher.url << " " << publisher.state << "\n";
    }
    text << "rtsp connections " << snapshot.front.open << " login failures " << snapshot.front.loginFailures << "\n";
    return text.str();
}

std::string pathsJson(const BridgeSnapshot& snapshot) {
    std::ostringstream json;
    json << "{\"recorders\":[";
    for (size_t i = 0; i < snapshot.recorders.size(); ++i) {
        const RecorderStatus& r = snapshot.recorders[i];
        json << (i ? "," : "") << "{\"name\":" << jsonText(r.name) << ",\"state\":\"" << phaseWord(r.state.phase)
             << "\",\"words\":" << jsonText(r.state.words(snapshot.now)) << ",\"cameras\":" << r.cameras
             << ",\"channels\":" << jsonText(r.carried.text()) << ",\"bytes\":" << r.bytes
             << ",\"reconnects\":" << r.reconnects << "}";
    }
    json << "],\"paths\":[";
    for (size_t i = 0; i < snapshot.paths.size(); ++i) {
        const PathSnapshot& p = snapshot.paths[i];
        const RecorderStatus* recorder = recorderOf(snapshot, p.recorder);
        json << (i ? "," : "") << "{\"path\":" << jsonText(p.path) << ",\"recorder\":" << jsonText(p.recorder)
             << ",\"channel\":" << p.channel << ",\"state\":\""
             << phaseWord(recorder != nullptr ? recorder->state.phase : RecorderPhase::Idle)
             << "\",\"clients\":" << p.clients << ",\"watchers\":" << p.watchers
             << ",\"pictures\":" << p.counters.pictures << ",\"bytes\":" << p.counters.bytes
             << ",\"drops\":" << p.counters.drops << ",\"pictures_per_second\":" << number(p.picturesPerSecond)
             << ",\"bytes_per_second\":" << number(p.bytesPerSecond)
             << ",\"words\":" << jsonText(recorder != nullptr ? recorder->state.words(snapshot.now) : "idle")
             << ",\"webrtc_viewers\":" << p.webrtc.viewers
             << ",\"transcoded\":" << (p.webrtc.transcoded ? "true" : "false") << "}";
    }
    json << "]}\n";
    return json.str();
}

std::string prometheusMetrics(const BridgeSnapshot& snapshot) {
    Metrics m;
    m.family("orvix_recorder_up", "gauge", "1 while the recorder is reachable or idle by design, else 0.");
    for (const RecorderStatus& r : snapshot.recorders) m.sample("orvix_recorder_up", {{"recorder", r.name}}, reachable(r.state.phase));
    m.family("orvix_recorder_state", "gauge", "The recorder's connection state: 1 for the state it is in.");
    for (const RecorderStatus& r : snapshot.recorders) {
        for (RecorderPhase phase : kPhases) {
            m.sample("orvix_recorder_state", {{"recorder", r.name}, {"state", phaseWord(phase)}}, r.state.phase == phase);
        }
    }
    m.family("orvix_recorder_reconnects_total", "counter", "Lost recorder connections made again.");
    for (const RecorderStatus& r : snapshot.recorders) m.sample("orvix_recorder_reconnects_total", {{"recorder", r.name}}, r.reconnects);
    m.family("orvix_recorder_received_bytes_total", "counter", "Bytes received from the recorder.");
    for (const RecorderStatus& r : snapshot.recorders) m.sample("orvix_recorder_received_bytes_total", {{"recorder", r.name}}, r.bytes);

    struct PathCounter {
        const char* name;
        const char* help;
        uint64_t FeedCounters::*field;
    };
    const PathCounter counters[] = {
        {"orvix_channel_pictures_total", "Pictures of the channel handed on.", &FeedCounters::pictures},
        {"orvix_channel_bytes_total", "Bytes of the channel's pictures handed on.", &FeedCounters::bytes},
        {"orvix_channel_drops_total", "Pictures of the channel dropped for a slow consumer or a full queue.",
         &FeedCounters::drops},
    };
    for (const PathCounter& counter : counters) {
        m.family(counter.name, "counter", counter.help);
        for (const PathSnapshot& p : snapshot.paths) {
            m.sample(counter.name, {{"recorder", p.recorder}, {"channel", std::to_string(p.channel)}}, p.counters.*counter.field);
        }
    }
    m.family("orvix_path_clients", "gauge", "RTSP clients playing the path.");
    for (const PathSnapshot& p : snapshot.paths) m.sample("orvix_path_clients", {{"path", p.path}}, static_cast<uint64_t>(p.clients));

    m.family("orvix_rtsp_connections", "gauge", "Open RTSP client connections.");
    m.sample("orvix_rtsp_connections", {}, snapshot.front.open);
    m.family("orvix_rtsp_connections_accepted_total", "counter", "RTSP client connections taken.");
    m.sample("orvix_rtsp_connections_accepted_total", {}, snapshot.front.accepted);
    m.family("orvix_rtsp_connections_turned_away_total", "counter",
             "RTSP client connections closed at once: over the limit or from a refused address.");
    m.sample("orvix_rtsp_connections_turned_away_total", {}, snapshot.front.turnedAway);
    m.family("orvix_rtsp_login_failures_total", "counter", "RTSP requests whose credentials were wrong.");
    m.sample("orvix_rtsp_login_failures_total", {}, snapshot.front.loginFailures);
    m.family("orvix_rtsp_requests_refused_total", "counter", "RTSP requests refused: too large, malformed or throttled.");
    m.sample("orvix_rtsp_requests_refused_total", {}, snapshot.front.refusedRequests);
    return m.text();
}

bool healthy(const BridgeSnapshot& snapshot, std::string& why) {
    why.clear();
    for (const RecorderStatus& r : snapshot.recorders) {
        if (!reachable(r.state.phase)) why += "recorder " + r.name + ": " + r.state.words(snapshot.now) + "\n";
    }
    return why.empty();
}

}  // namespace orvix::bridge
