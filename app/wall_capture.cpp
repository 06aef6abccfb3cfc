#include "app/wall_capture.h"

namespace orvix {

void FullPictureGrab::picture(const ChannelPicture& picture) {
    if (picture.pixels == nullptr || picture.width <= 0 || picture.height <= 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!image_.isNull()) return;
    // Valid only during the call: copied out.
    image_ = QImage(picture.pixels, picture.width, picture.height, picture.rowBytes, QImage::Format_RGB32).copy();
}

QImage FullPictureGrab::take() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return image_;
}

bool TileRecording::offer(const FeedFrame& frame) {
    // Access units as the decoder takes them, the stream's headers in
    // front of key pictures: what the recorder keeps.
    if (frame.bytes != nullptr && !frame.bytes->empty()) recorder_.decoderInput(frame.bytes->data(), frame.bytes->size());
    return true;
}

}  // namespace orvix
