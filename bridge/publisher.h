// Pushes one recorder channel to an RTSP server that accepts publishing
// (ANNOUNCE and RECORD), which then does the fan-out. The channel's access
// units go out as they are, through libavformat's RTSP output over TCP,
// with the stream's configuration in the announced SDP. The publisher
// watches its channel for as long as it runs. When the server fails or goes
// away it is tried again every few seconds; when the recorder's connection
// is gone the publisher ends, as an RTSP client's stream does.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "bridge/event_log.h"
#include "session/channel_feed.h"
#include "session/recorder_pool.h"

namespace orvix::bridge {

class Publisher final : public FeedTarget {
public:
    static constexpr int kRetrySeconds = 5;
    static constexpr size_t kMaxQueuedBytes = 4u << 20;

    // `channel` 0-based of the pool's `recorder`; `url` the server's URL for
    // it, `password` (when not empty) the password of the URL's user;
    // `joinWait` how long the recorder's first pictures are waited for.
    Publisher(RecorderPool& pool, std::string recorder, int channel, std::string url, const std::string& password,
              std::chrono::milliseconds joinWait, EventLog& log);
    ~Publisher() override { stop(); }
    Publisher(const Publisher&) = delete;
    Publisher& operator=(const Publisher&) = delete;

    void start();
    void stop();

    // The URL without its password.
    const std::string& url() const { return url_; }
    // "NAME/CH".
    const std::string& path() const { return path_; }
    // "waiting", "publishing", "retrying", "ended"
    std::string state() const;

    // The channel feed: queued for the publisher's thread, never waited for.
    bool offer(const FeedFrame& frame) override;
    void end() override;

private:
    enum class Outcome { Stopped, Ended, Failed };
    void run();
    Outcome publishOnce(VideoCodec codec, std::string& failure);
    // The next queued picture; false when stopped or the stream ended (or
    // nothing came for `waitSeconds`, then `timedOut`).
    bool nextFrame(FeedFrame& frame, int waitSeconds, bool& timedOut);
    void setState(const char* state);
    bool stopping() const;

    RecorderPool& pool_;
    const std::string recorder_;
    const int channel_;
    const std::chrono::milliseconds joinWait_;
    const std::string url_;     // shown
    std::string target_;        // given to libavformat, with the password
    const std::string path_;
    EventLog& log_;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::atomic<bool> interrupt_{false};  // stop_ for libavformat's waits
    bool ended_ = false;
    std::deque<FeedFrame> queue_;
    size_t queuedBytes_ = 0;
    std::string state_ = "waiting";
};

}  // namespace orvix::bridge
