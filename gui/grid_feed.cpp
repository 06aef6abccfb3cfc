#include "gui/grid_feed.h"

#include <QMetaObject>
#include <QTimer>
#include <vector>

#include "gui/aspect_fit.h"
#include "recording/stream_recorder.h"

namespace orvix {
namespace {

bool validChannel(int channel) { return channel >= 0 && channel < kMaxChannels; }

}  // namespace

GridFeed::GridFeed(QObject* parent) : QObject(parent) {}

void GridFeed::setTileArea(int channel, const QSize& area) {
    if (!validChannel(channel)) return;
    Slot& slot = slots_[static_cast<size_t>(channel)];
    std::lock_guard<std::mutex> lock(slot.mutex);
    slot.area = area;
}

void GridFeed::clearPictures() {
    for (Slot& slot : slots_) {
        std::lock_guard<std::mutex> lock(slot.mutex);
        slot.picture = TilePicture();
    }
    for (auto& count : dropped_) count.store(0);
}

void GridFeed::clearPicture(int channel) {
    if (!validChannel(channel)) return;
    Slot& slot = slots_[static_cast<size_t>(channel)];
    std::lock_guard<std::mutex> lock(slot.mutex);
    slot.picture = TilePicture();
}

TilePicture GridFeed::latest(int channel) const {
    if (!validChannel(channel)) return {};
    const Slot& slot = slots_[static_cast<size_t>(channel)];
    std::lock_guard<std::mutex> lock(slot.mutex);
    return slot.picture;
}

uint64_t GridFeed::dropped(int channel) const {
    return validChannel(channel) ? dropped_[static_cast<size_t>(channel)].load() : 0;
}

void GridFeed::setRecorder(int channel, StreamRecorder* recorder) {
    std::lock_guard<std::mutex> lock(recorderMutex_);
    recorder_ = recorder;
    recorderChannel_ = channel;
}

QSize GridFeed::Slot::shownSize(const QSize& decoded) const {
    return fitPicture(QRect(QPoint(0, 0), area), decoded).size();
}

std::pair<int, int> GridFeed::pictureSize(int channel, int width, int height) {
    // The channel kept whole is decoded at its own size and scaled for its
    // tile here.
    if (!validChannel(channel) || channel == fullChannel_.load()) return {width, height};
    const Slot& slot = slots_[static_cast<size_t>(channel)];
    std::lock_guard<std::mutex> lock(slot.mutex);
    const QSize shown = slot.shownSize(QSize(width, height));
    // Without a tile the picture keeps its size.
    if (shown.isEmpty()) return {width, height};
    return {shown.width(), shown.height()};
}

void GridFeed::picture(int channel, const ChannelPicture& frame) {
    if (!validChannel(channel) || frame.pixels == nullptr || frame.width <= 0 || frame.height <= 0) return;
    const QSize source(frame.decodedWidth > 0 ? frame.decodedWidth : frame.width,
                       frame.decodedHeight > 0 ? frame.decodedHeight : frame.height);
    {
        std::lock_guard<std::mutex> lock(recorderMutex_);
        if (recorder_ != nullptr && recorderChannel_ == channel) {
            recorder_->pictureDecoded(source.width(), source.height());
        }
    }
    Slot& slot = slots_[static_cast<size_t>(channel)];
    QSize shown;
    {
        std::lock_guard<std::mutex> lock(slot.mutex);
        shown = slot.shownSize(source);
    }
    // Normally the decoder converted it to the tile's size and this is a
    // copy; after a resize it is scaled here once.
    // Written while only the slot holds it, then shared with the tile.
    QImage image;
    QImage& buffer = slot.buffers.take(shown);
    if (!buffer.isNull() && slot.scaler.scale(frame.pixels, frame.width, frame.height, frame.rowBytes, buffer.bits(),
                                              buffer.width(), buffer.height(),
                                              static_cast<int>(buffer.bytesPerLine()))) {
        image = buffer;
    }
    QImage full;
    if (channel == fullChannel_.load() && QSize(frame.width, frame.height) == source) {
        QImage& whole = slot.fullBuffers.take(source);
        if (!whole.isNull() && slot.scaler.scale(frame.pixels, frame.width, frame.height, frame.rowBytes, whole.bits(),
                                                 whole.width(), whole.height(),
                                                 static_cast<int>(whole.bytesPerLine()))) {
            full = whole;
        }
    }
    {
        std::lock_guard<std::mutex> lock(slot.mutex);
        slot.picture.image = image;
        slot.picture.full = full;
        slot.picture.source = source;
        slot.picture.recorderSeconds = frame.recorderSeconds;
        ++slot.picture.serial;
    }
    // One queued call per batch; queued by name so that Qt alone builds it.
    if (!notifyPending_.exchange(true)) QMetaObject::invokeMethod(this, "deliver", Qt::QueuedConnection);
}

void GridFeed::packet(int channel, const AccessUnit& unit) {
    std::lock_guard<std::mutex> lock(recorderMutex_);
    if (recorder_ == nullptr || recorderChannel_ != channel) return;
    if (unit.parameterSetLength == 0) {
        recorder_->decoderInput(unit.payload, unit.payloadLength);
        return;
    }
    // The recording takes the bytes the decoder is given: the set in front.
    std::vector<uint8_t> bytes(unit.parameterSet, unit.parameterSet + unit.parameterSetLength);
    bytes.insert(bytes.end(), unit.payload, unit.payload + unit.payloadLength);
    recorder_->decoderInput(bytes.data(), bytes.size());
}

void GridFeed::dropped(int channel, uint64_t total) {
    if (validChannel(channel)) dropped_[static_cast<size_t>(channel)].store(total);
}

void GridFeed::deliver() {
    // Pictures that come sooner wait for the rest of the interval (the
    // pending flag stays set meanwhile, so the workers post nothing more).
    if (sinceReady_.isValid() && sinceReady_.elapsed() < kPaintIntervalMs) {
        QTimer::singleShot(static_cast<int>(kPaintIntervalMs - sinceReady_.elapsed()), this, &GridFeed::deliver);
        return;
    }
    sinceReady_.start();
    notifyPending_.store(false);
    emit picturesReady();
}

}  // namespace orvix
