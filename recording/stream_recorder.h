// Keeps the received video in an MP4 file: the packets the decoder is given,
// remuxed with libavformat, no re-encoding. Recording starts at the first key
// picture; the file is opened once the first picture has decoded (its size
// goes into the file). Time stamps are the packets' arrival times, in
// milliseconds, so the file plays at the rate the video came in. The file is
// fragmented (Mp4Writer): it plays up to its last fragment if the program
// never finishes it. One file holds one codec: when the recorder switches
// codec, a file already begun ends there. The finished file is read back; one
// without a playable video track is reported as a failure.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "media/decode_tap.h"
#include "media/video_codec.h"
#include "recording/mp4_writer.h"

namespace orvix {

class StreamRecorder final : public DecodeTap {
public:
    // `clock` gives the arrival time of each packet (tests pass their own).
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    explicit StreamRecorder(std::string path, Clock clock = std::chrono::steady_clock::now);
    ~StreamRecorder() override;
    StreamRecorder(const StreamRecorder&) = delete;
    StreamRecorder& operator=(const StreamRecorder&) = delete;

    // Set once the codec is known (before packets arrive), any thread. A
    // different codec later ends the file begun with the earlier one; if no
    // file was begun yet, the new codec is recorded from its first key
    // picture.
    void setCodec(VideoCodec codec);

    // Display thread: a packet for the decoder.
    void decoderInput(const uint8_t* bytes, size_t length) override;
    // Display thread: a picture of this size was decoded.
    void pictureDecoded(int width, int height);

    // Writes the end of the file and reads it back. False with `error` when
    // nothing could be recorded, the file could not be written, or what was
    // written holds no playable video.
    bool finish(std::string& error);

    int packetsWritten() const;
    // True once the file was created (it may have ended since).
    bool fileBegun() const;
    // True once a change of codec has ended the file.
    bool endedAtCodecChange() const;

private:
    struct Pending {
        std::vector<uint8_t> bytes;
        int64_t milliseconds = 0;
        bool key = false;
    };
    bool openFile(int width, int height);
    void closeFile();
    void writePacket(const uint8_t* bytes, size_t length, int64_t milliseconds, bool key);
    void fail(std::string reason);

    const std::string path_;
    const Clock clock_;
    mutable std::mutex mutex_;
    VideoCodec codec_ = VideoCodec::None;
    std::chrono::steady_clock::time_point start_;
    bool started_ = false;  // a key picture has come
    bool open_ = false;
    bool closed_ = false;   // the file was begun and is finished
    bool endedAtChange_ = false;
    bool checked_ = false;  // the finished file was read back
    bool failed_ = false;
    std::string error_;
    std::vector<Pending> pending_;
    // The stream headers last seen before the file was opened: a recorder
    // may send them apart from the key picture.
    std::vector<uint8_t> headers_;
    size_t pendingBytes_ = 0;
    Mp4Writer writer_;
    int written_ = 0;  // what the file held when it was closed
};

}  // namespace orvix
