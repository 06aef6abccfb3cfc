// What Ctrl+S and Ctrl+R take from a wall tile: its camera's next picture
// at the size it was decoded (not as scaled for the tile), and its received
// video kept in an MP4 file without re-encoding.
#pragma once

#include <QImage>
#include <atomic>
#include <mutex>
#include <string>

#include "recording/stream_recorder.h"
#include "session/recorder_pool.h"

namespace orvix {

// A picture target that keeps the first picture it gets, at the size it
// was decoded. On the pool's threads; take() on any.
class FullPictureGrab final : public PictureTarget {
public:
    void picture(const ChannelPicture& picture) override;
    // The picture, null until one came.
    QImage take() const;

private:
    mutable std::mutex mutex_;
    QImage image_;
};

// A tile's packets into a StreamRecorder; the picture size comes from the
// tile's pictures (GridFeed::setRecorder). offer() and end() on the pool's
// threads.
class TileRecording final : public FeedTarget {
public:
    explicit TileRecording(std::string path) : path_(path), recorder_(std::move(path)) {}

    bool offer(const FeedFrame& frame) override;
    // The recorder's connection was given up: no more packets come.
    void end() override { ended_.store(true); }

    const std::string& path() const { return path_; }
    StreamRecorder& recorder() { return recorder_; }
    bool ended() const { return ended_.load(); }

private:
    const std::string path_;
    StreamRecorder recorder_;
    std::atomic<bool> ended_{false};
};

}  // namespace orvix
