#include "session/channel_feed.h"

#include <algorithm>

#include "link/recorder_connection.h"
#include "media/access_unit.h"
#include "recording/elementary_stream.h"

namespace orvix {
namespace {

constexpr int kH264AccessUnitDelimiter = 9;

// Where configuration goes in front of an H.264 key picture: after an
// access unit delimiter, which must stay first.
size_t configurationPlace(VideoCodec codec, const std::vector<uint8_t>& bytes) {
    if (codec != VideoCodec::H264) return 0;
    size_t header = 0;
    if (bytes.size() > 4 && bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 1) header = 3;
    if (bytes.size() > 5 && bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 0 && bytes[3] == 1) header = 4;
    if (header == 0 || (bytes[header] & 0x1F) != kH264AccessUnitDelimiter) return 0;
    for (size_t i = header + 1; i + 3 <= bytes.size(); ++i) {
        if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1) return i > 0 && bytes[i - 1] == 0 ? i - 1 : i;
    }
    return bytes.size();
}

}  // namespace

void ChannelFeed::forgetGroupLocked() {
    group_.clear();
    groupBytes_ = 0;
    groupValid_ = false;
}

void ChannelFeed::start(VideoCodec codec) {
    std::lock_guard<std::mutex> lock(mutex_);
    configuration_.clear();
    restartLocked(codec);
}

void ChannelFeed::rejoin(VideoCodec codec) {
    std::lock_guard<std::mutex> lock(mutex_);
    // The feed's codec is none once the channel left; the configuration
    // remembers its own.
    if (codec != configurationCodec_) configuration_.clear();
    restartLocked(codec);
}

void ChannelFeed::forgetConfiguration() {
    std::lock_guard<std::mutex> lock(mutex_);
    configuration_.clear();
}

void ChannelFeed::restartLocked(VideoCodec codec) {
    codec_ = codec;
    rawConfig_ = kRawConfigInitial;
    smoother_.reset();
    forgetGroupLocked();
    // Targets still attached start again at the new stream's first key picture.
    for (Attached& a : attached_) a.waitingForKey = true;
}

void ChannelFeed::resume(VideoCodec codec) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (codec != codec_) {
        // Another codec does not fit the targets' streams: they end.
        for (Attached& a : attached_) a.target->end();
        attached_.clear();
        codec_ = codec;
        configuration_.clear();
        smoother_.reset();
    } else {
        smoother_.resume();
        // Not a skip for lack of room: nothing counts as dropped.
        for (Attached& a : attached_) {
            a.waitingForKey = true;
            a.overflowed = false;
        }
    }
    rawConfig_ = kRawConfigInitial;
    forgetGroupLocked();
}

void ChannelFeed::stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (Attached& a : attached_) a.target->end();
    attached_.clear();
    codec_ = VideoCodec::None;
    forgetGroupLocked();
}

bool ChannelFeed::ready() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return groupValid_;
}

VideoCodec ChannelFeed::codec() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return codec_;
}

size_t ChannelFeed::targets() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return attached_.size();
}

FeedCounters ChannelFeed::counters() const {
    std::lock_guard<std::mutex> lock(mutex_);
    FeedCounters counters = counters_;
    counters.drops += queueDrops_.load(std::memory_order_relaxed);
    return counters;
}

void ChannelFeed::packet(const uint8_t* slot, size_t length, FrameKind kind, int64_t arrivalNs) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (codec_ == VideoCodec::None) return;
    AccessUnit unit;
    if (readAccessUnit(slot, length, kind, channel_, rawConfig_, unit) != AccessUnitStep::Ready) return;
    unitLocked(unit, arrivalNs);
}

void ChannelFeed::accessUnit(const AccessUnit& unit, int64_t arrivalNs) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (codec_ == VideoCodec::None || unit.channel != channel_) return;
    unitLocked(unit, arrivalNs);
}

void ChannelFeed::unitLocked(const AccessUnit& unit, int64_t arrivalNs) {
    if (unit.payloadLength == 0) return;

    FeedFrame frame;
    frame.key = unit.keyPicture;
    frame.arrivalNs = arrivalNs;
    frame.bytes = std::make_shared<const std::vector<uint8_t>>(
        composeLocked(unit.parameterSet, unit.parameterSetLength, unit.payload, unit.payloadLength, unit.keyPicture));
    frame.timeNs = smoother_.next(unit.recorderSeconds, arrivalNs);
    frame.newestNs = frame.timeNs;
    ++counters_.pictures;
    counters_.bytes += frame.bytes->size();

    // The group a new target starts with: from this key picture on.
    if (frame.key) {
        group_.clear();
        groupBytes_ = 0;
        groupValid_ = true;
    }
    if (groupValid_) {
        groupBytes_ += frame.bytes->size();
        if (groupBytes_ > kMaxGroupBytes) {
            forgetGroupLocked();
        } else {
            group_.push_back(frame);
        }
    }
    for (Attached& a : attached_) deliverLocked(a, frame);
}

std::vector<uint8_t> ChannelFeed::composeLocked(const uint8_t* prefix, size_t prefixLength, const uint8_t* payload,
                                                size_t payloadLength, bool key) {
    std::vector<uint8_t> bytes;
    bytes.reserve(configuration_.size() + prefixLength + payloadLength);
    if (prefixLength > 0) bytes.insert(bytes.end(), prefix, prefix + prefixLength);
    bytes.insert(bytes.end(), payload, payload + payloadLength);
    if (!key) return bytes;
    // A key picture that brings its configuration renews what is kept; one
    // without it gets the kept configuration in front, so every key picture
    // can start a decoder.
    std::vector<uint8_t> headers = streamHeaders(codec_, bytes.data(), bytes.size());
    if (!headers.empty()) {
        configuration_ = std::move(headers);
        configurationCodec_ = codec_;
    } else if (!configuration_.empty()) {
        const size_t place = configurationPlace(codec_, bytes);
        bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(place), configuration_.begin(), configuration_.end());
    }
    return bytes;
}

void ChannelFeed::deliverLocked(Attached& attached, const FeedFrame& frame) {
    if (attached.waitingForKey) {
        if (!frame.key) {
            // A target that had no room misses these; a new one just waits.
            if (attached.overflowed) ++counters_.drops;
            return;
        }
        attached.waitingForKey = false;
        attached.overflowed = false;
    }
    if (!attached.target->offer(frame)) {
        attached.waitingForKey = true;
        attached.overflowed = true;
        ++counters_.drops;
    }
}

void ChannelFeed::attach(FeedTarget* target, bool withGroup) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (target == nullptr) return;
    for (const Attached& a : attached_) {
        if (a.target == target) return;
    }
    attached_.push_back(Attached{target, true, false});
    Attached& added = attached_.back();
    if (!groupValid_ || !withGroup) return;
    const int64_t newest = group_.back().timeNs;
    for (FeedFrame frame : group_) {
        frame.newestNs = newest;
        deliverLocked(added, frame);
        if (added.waitingForKey) break;
    }
}

void ChannelFeed::detach(FeedTarget* target) {
    std::lock_guard<std::mutex> lock(mutex_);
    attached_.erase(std::remove_if(attached_.begin(), attached_.end(),
                                   [target](const Attached& a) { return a.target == target; }),
                    attached_.end());
}

}  // namespace orvix
