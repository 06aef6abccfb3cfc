// An MP4 file of one or more video tracks, written as the packets come,
// without re-encoding. The file is fragmented: a header that describes the
// tracks, then a fragment about every second, each flushed to the file at
// once. A file cut short anywhere (the program killed, the machine off)
// plays up to its last whole fragment, and the muxer keeps no index of every
// picture in memory until the end. Each track's packets are written one
// behind, so that each gets its duration (the time to the next).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "media/video_codec.h"

struct AVFormatContext;
struct AVPacket;

namespace orvix {

struct Mp4Track {
    VideoCodec codec = VideoCodec::None;
    int width = 0;
    int height = 0;
    // The stream headers players need (MPEG-4: VOS/VO/VOL; H.264: the
    // parameter sets with their start codes).
    std::vector<uint8_t> headers;
};

// The fragment length, in microseconds.
constexpr int64_t kMp4FragmentMicroseconds = 1000000;

// Not thread-safe: the owner serialises the calls.
class Mp4Writer {
public:
    explicit Mp4Writer(std::string path) : path_(std::move(path)) {}
    ~Mp4Writer();
    Mp4Writer(const Mp4Writer&) = delete;
    Mp4Writer& operator=(const Mp4Writer&) = delete;

    // Creates the file and writes its header. False with `error` when a track
    // is unusable or the file cannot be created.
    bool open(const std::vector<Mp4Track>& tracks, std::string& error);
    // One packet of `track` at `milliseconds` from the recording's start
    // (moved just after the track's previous packet where it is not later).
    bool write(size_t track, const uint8_t* bytes, size_t length, int64_t milliseconds, bool key,
               std::string& error);
    // Writes what is held and the end of the file, and closes it. True when
    // nothing was open.
    bool finish(std::string& error);

    bool isOpen() const { return format_ != nullptr; }
    int packetsWritten() const { return written_; }
    const std::string& path() const { return path_; }

private:
    struct Held {
        std::vector<uint8_t> bytes;
        int64_t milliseconds = 0;
        bool key = false;
        bool holding = false;
        int64_t lastTime = -1;
        int64_t lastDuration = 40;
    };
    bool writeHeld(size_t track, int64_t duration, std::string& error);
    void close();

    const std::string path_;
    AVFormatContext* format_ = nullptr;
    AVPacket* packet_ = nullptr;
    std::vector<Held> held_;
    int written_ = 0;
};

}  // namespace orvix
