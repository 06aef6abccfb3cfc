#include "cli/grid_recorder.h"

#include <algorithm>

extern "C" {
#include <libavformat/avformat.h>
}

#include "recording/elementary_stream.h"
#include "recording/recording_check.h"

namespace orvix::cli {
namespace {

// What may wait, over all channels, for the last channel's first picture.
constexpr size_t kMaxPendingBytes = 64u << 20;

// The video tracks a finished file holds; -1 when it cannot be read.
int videoTracks(const std::string& path) {
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return -1;
    int count = -1;
    if (avformat_find_stream_info(format, nullptr) >= 0) {
        count = 0;
        for (unsigned i = 0; i < format->nb_streams; ++i) {
            if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) ++count;
        }
    }
    avformat_close_input(&format);
    return count;
}

}  // namespace

GridRecorder::GridRecorder(std::string path, const ChannelSet& channels) : path_(std::move(path)), writer_(path_) {
    for (int i = 0; i < channels.size(); ++i) {
        Track t;
        t.channel = channels.at(i);
        tracks_.push_back(std::move(t));
    }
}

GridRecorder::~GridRecorder() {
    std::string ignored;
    finish(ignored);
}

void GridRecorder::setCodec(VideoCodec codec) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (codec == codec_) return;
    if (codec_ != VideoCodec::None && open_) {
        // Packets of another codec would make the tracks unplayable: the
        // file keeps what came before the change.
        closeFile();
        endedAtChange_ = true;
    }
    // Nothing written yet: the tracks start again with the new codec.
    codec_ = codec;
    for (Track& t : tracks_) {
        t.started = false;
        t.headers.clear();
        t.pending.clear();
    }
    pendingBytes_ = 0;
}

GridRecorder::Track* GridRecorder::track(int channel) {
    for (Track& t : tracks_) {
        if (t.channel == channel) return &t;
    }
    return nullptr;
}

void GridRecorder::packet(int channel, const AccessUnit& unit) {
    std::lock_guard<std::mutex> lock(mutex_);
    Track* t = track(channel);
    if (t == nullptr || failed_ || finished_ || closed_ || codec_ == VideoCodec::None || unit.length() == 0) return;
    Held p;
    p.bytes.reserve(unit.length());
    if (unit.parameterSet != nullptr) p.bytes.insert(p.bytes.end(), unit.parameterSet, unit.parameterSet + unit.parameterSetLength);
    p.bytes.insert(p.bytes.end(), unit.payload, unit.payload + unit.payloadLength);
    p.key = isKeyPacket(codec_, p.bytes.data(), p.bytes.size());
    if (!t->started) {
        if (!p.key) return;  // a track starts with a key picture
        std::vector<uint8_t> headers = streamHeaders(codec_, p.bytes.data(), p.bytes.size());
        if (headers.empty()) return;
        t->headers = std::move(headers);
        t->started = true;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!anyStarted_) {
        anyStarted_ = true;
        start_ = now;
    }
    p.milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(now - start_).count();
    const size_t index = static_cast<size_t>(t - tracks_.data());
    if (open_) {
        write(index, p);
        return;
    }
    pendingBytes_ += p.bytes.size();
    if (pendingBytes_ > kMaxPendingBytes) {
        fail("not every channel gave a picture to record");
        return;
    }
    t->pending.push_back(std::move(p));
    openWhenReady();
}

void GridRecorder::pictureSize(int channel, int width, int height) {
    std::lock_guard<std::mutex> lock(mutex_);
    Track* t = track(channel);
    if (t == nullptr || open_ || failed_ || t->width != 0 || width <= 0 || height <= 0) return;
    t->width = width;
    t->height = height;
    openWhenReady();
}

void GridRecorder::openWhenReady() {
    std::vector<Mp4Track> formats;
    for (const Track& t : tracks_) {
        if (!t.started || t.width <= 0 || t.height <= 0) return;
        formats.push_back(Mp4Track{codec_, t.width, t.height, t.headers});
    }
    std::string error;
    if (!writer_.open(formats, error)) return fail(error);
    open_ = true;
    // What waited goes out in arrival order over all tracks.
    std::vector<std::pair<size_t, Held>> waiting;
    for (size_t i = 0; i < tracks_.size(); ++i) {
        for (Held& p : tracks_[i].pending) waiting.emplace_back(i, std::move(p));
        tracks_[i].pending.clear();
    }
    std::stable_sort(waiting.begin(), waiting.end(),
                     [](const auto& a, const auto& b) { return a.second.milliseconds < b.second.milliseconds; });
    for (const auto& [index, p] : waiting) write(index, p);
    pendingBytes_ = 0;
}

void GridRecorder::write(size_t index, const Held& p) {
    std::string error;
    if (!failed_ && !writer_.write(index, p.bytes.data(), p.bytes.size(), p.milliseconds, p.key, error)) fail(error);
}

void GridRecorder::closeFile() {
    if (!open_) return;
    std::string error;
    if (!writer_.finish(error)) fail(error);
    open_ = false;
    closed_ = true;
}

void GridRecorder::fail(std::string reason) {
    if (!failed_) error_ = std::move(reason);
    failed_ = true;
    for (Track& t : tracks_) t.pending.clear();
    pendingBytes_ = 0;
}

bool GridRecorder::finish(std::string& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (finished_) {
        error = error_;
        return !failed_;
    }
    finished_ = true;
    closeFile();
    if (!closed_ && !failed_) {
        for (const Track& t : tracks_) {
            if (!t.started || t.width <= 0) {
                fail("channel " + std::to_string(t.channel + 1) + " gave no video to record");
                break;
            }
        }
    }
    if (closed_ && !failed_) {
        std::string unplayable;
        const int tracks = videoTracks(path_);
        if (tracks != static_cast<int>(tracks_.size())) {
            fail("the recording holds " + std::to_string(tracks) + " video tracks, not " +
                 std::to_string(tracks_.size()));
        } else if (!hasPlayableVideo(path_, unplayable)) {
            fail(unplayable);
        }
    }
    error = error_;
    return !failed_;
}

bool GridRecorder::fileBegun() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_ || closed_;
}

bool GridRecorder::endedAtCodecChange() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return endedAtChange_;
}

}  // namespace orvix::cli
