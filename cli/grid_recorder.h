// Keeps the received video of several channels in one MP4 file, one video
// track per channel in the order of the set, without re-encoding: each
// channel's codec-ready packets as the decode workers hand them on. The file
// is opened once every channel has had its first key picture with its
// stream headers and a picture size; until then the packets wait. Time
// stamps are arrival times in milliseconds from the first packet kept,
// shared by all tracks, so the tracks play side by side. The file is
// fragmented (Mp4Writer). One file holds one codec: a change of codec once
// the file is open ends it there.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/channel_set.h"
#include "media/access_unit.h"
#include "media/video_codec.h"
#include "recording/mp4_writer.h"

namespace orvix::cli {

class GridRecorder {
public:
    GridRecorder(std::string path, const ChannelSet& channels);
    ~GridRecorder();
    GridRecorder(const GridRecorder&) = delete;
    GridRecorder& operator=(const GridRecorder&) = delete;

    // Before packets come (the recorder's description gives it); a later
    // change ends a file already open.
    void setCodec(VideoCodec codec);
    // Decode workers (any channel, any worker).
    void packet(int channel, const AccessUnit& unit);
    // The size of the channel's pictures, decoded or too large to decode.
    void pictureSize(int channel, int width, int height);

    // Writes the end of the file and reads it back. False with `error` when
    // a channel gave nothing to record, the file could not be written, or it
    // does not hold one video track per channel.
    bool finish(std::string& error);

    // True once the file was created (it may have ended since).
    bool fileBegun() const;
    bool endedAtCodecChange() const;

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
    };
    Track* track(int channel);
    void openWhenReady();
    void write(size_t index, const Held& packet);
    void closeFile();
    void fail(std::string reason);

    const std::string path_;
    mutable std::mutex mutex_;
    VideoCodec codec_ = VideoCodec::None;
    std::vector<Track> tracks_;
    std::chrono::steady_clock::time_point start_;
    bool anyStarted_ = false;
    size_t pendingBytes_ = 0;
    bool open_ = false;
    bool closed_ = false;  // the file was begun and is finished
    bool endedAtChange_ = false;
    bool finished_ = false;
    bool failed_ = false;
    std::string error_;
    Mp4Writer writer_;
};

}  // namespace orvix::cli
