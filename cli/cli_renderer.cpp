#include "cli/cli_renderer.h"

#include <cstring>

#include "media/calendar_time.h"

namespace orvix::cli {

std::optional<uint32_t> parseDateText(const char16_t* text, size_t capacity) {
    int fields[6] = {};
    int field = 0;
    bool digits = false;
    for (size_t i = 0; i < capacity && text[i] != 0; ++i) {
        const char16_t c = text[i];
        if (c >= u'0' && c <= u'9') {
            if (field >= 6 || fields[field] > 100000) return std::nullopt;
            fields[field] = fields[field] * 10 + (c - u'0');
            digits = true;
        } else if ((c == u':' || c == u' ') && digits) {
            ++field;
            digits = false;
        } else {
            return std::nullopt;
        }
    }
    if (field != 5 || !digits) return std::nullopt;
    return calendarToSeconds(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]);
}

bool CliRenderer::present(const DisplayFrame& frame, const OverlayRows& overlay) {
    if (frame.picture == nullptr || frame.width <= 0 || frame.height <= 0 || frame.rowBytes < frame.width * 4) {
        return true;
    }
    if (recorder_ != nullptr) recorder_->pictureDecoded(frame.width, frame.height);

    PictureEvent event;
    event.width = frame.width;
    event.height = frame.height;
    event.channel = frame.channel.load();
    if (const auto seconds = parseDateText(frame.dateText, kDateTextChars)) {
        event.timeKnown = true;
        event.seconds = *seconds;
    }
    if (keepPicture_) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!frozen_) {
            const size_t rowBytes = static_cast<size_t>(frame.width) * 4;
            kept_.pixels.resize(rowBytes * static_cast<size_t>(frame.height));
            for (int y = 0; y < frame.height; ++y) {
                std::memcpy(kept_.pixels.data() + rowBytes * static_cast<size_t>(y),
                            frame.picture + static_cast<size_t>(frame.rowBytes) * static_cast<size_t>(y), rowBytes);
            }
            kept_.width = frame.width;
            kept_.height = frame.height;
            kept_.overlay = overlay;
        }
    }
    loop_.postPicture(event);
    return true;
}

void CliRenderer::freeze() {
    std::lock_guard<std::mutex> lock(mutex_);
    frozen_ = true;
}

KeptPicture CliRenderer::keptPicture() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return kept_;
}

}  // namespace orvix::cli
