// Keeps the received video of several channels in one MP4 file, one video
// track per channel in the order of the set, without re-encoding: each
// channel's codec-ready packets as the decode workers hand them on. The file
// is opened once every channel has had its first key picture with its
// stream headers and a decoded picture size; until then the packets wait.
// Time stamps are arrival times in milliseconds from the first packet kept,
// shared by all tracks, so the tracks play side by side.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/channel_set.h"
#include "media/access_unit.h"
#include "media/video_codec.h"

struct AVFormatContext;
struct AVPacket;

namespace orvix::cli {

class GridRecorder {
public:
    GridRecorder(std::string path, const ChannelSet& channels);
    ~GridRecorder();
    GridRecorder(const GridRecorder&) = delete;
    GridRecorder& operator=(const GridRecorder&) = delete;

    // Before packets come (the recorder's description gives it).
    void setCodec(VideoCodec codec);
    // Decode workers (any channel, any worker).
    void packet(int channel, const AccessUnit& unit);
    void pictureDecoded(int channel, int width, int height);

    // Writes the end of the file and reads it back. False with `error` when
    // a channel gave nothing to record, the file could not be written, or it
    // does not hold one video track per channel.
    bool finish(std::string& error);

private:
    struct Held {
        std::vector<uint8_t> bytes;
        int64_t milliseconds = 0;
        bool key = false;
    };
    struct Track {
        int channel = 0;
        bool started = false;  // its first key picture came
        std::vector<uint8_t> headers;
        int width = 0;
        int height = 0;
        std::vector<Held> pending;  // before the file is open
        Held held;                  // written one behind, for its duration
        bool holding = false;
        int64_t lastTime = -1;
        int64_t lastDuration = 40;
    };
    Track* track(int channel);
    void openWhenReady();
    void queue(size_t index, Held packet);
    void writeHeld(size_t index, int64_t duration);
    void fail(std::string reason);

    const std::string path_;
    std::mutex mutex_;
    VideoCodec codec_ = VideoCodec::None;
    std::vector<Track> tracks_;
    std::chrono::steady_clock::time_point start_;
    bool anyStarted_ = false;
    size_t pendingBytes_ = 0;
    bool open_ = false;
    bool finished_ = false;
    bool failed_ = false;
    std::string error_;
    AVFormatContext* format_ = nullptr;
    AVPacket* packet_ = nullptr;
};

}  // namespace orvix::cli
