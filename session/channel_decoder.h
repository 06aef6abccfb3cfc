// One channel's decoding outside the single view: a decoder opened from the
// recorder's model on the channel's first packet (and again when the model,
// and so the codec, changed), pictures converted to the size the consumer
// asks for, each handed on as a ChannelPicture. The decode workers keep one
// per channel; the recorder pool decodes a channel of a set of one with it.
// Used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>

#include "core/device_record.h"
#include "media/access_unit.h"
#include "media/video_decoder.h"
#include "session/channel_events.h"

namespace orvix {

class ChannelDecoder {
public:
    ChannelDecoder() = default;
    ~ChannelDecoder();
    ChannelDecoder(const ChannelDecoder&) = delete;
    ChannelDecoder& operator=(const ChannelDecoder&) = delete;

    // The size each picture is converted to (as decoded when unset). Set
    // before the first decode.
    void setConvertedSize(VideoDecoder::ConvertedSize size) { size_ = std::move(size); }
    // Asked before pictures of a new size are held (see VideoDecoder). Set
    // before the first decode.
    void setAdmission(VideoDecoder::SizeAdmission admission) { admission_ = std::move(admission); }

    // Decodes `unit`, read from the stream whose raw configuration memory is
    // `rawConfig`. False when no picture came (or the codec cannot be
    // opened); else `picture` is valid until the next decode or close().
    bool decode(const AccessUnit& unit, uint8_t& rawConfig, const DeviceRecord& record, ChannelPicture& picture);
    // A raw key picture of a configuration without a fixed set came.
    void reportMissingParameterSet(int resolutionCode);
    void close();

private:
    VideoDecoder::ConvertedSize size_;
    VideoDecoder::SizeAdmission admission_;
    std::unique_ptr<VideoDecoder> decoder_;
    int32_t openedModel_ = -1;
};

}  // namespace orvix
