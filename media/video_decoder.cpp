#include "media/video_decoder.h"

#include <cstdarg>
#include <cstring>
#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include "core/debug_log.h"
#include "link/recorder_connection.h"
#include "media/video_codec.h"

namespace orvix {
namespace {

// Blue, green, red, then a byte without colour (FFmpeg sets it to 255, which
// is what 32-bit RGB images expect there).
constexpr AVPixelFormat kRgbFormat = AV_PIX_FMT_BGRA;
constexpr int kRgbBytesPerPixel = 4;

constexpr size_t kMaxPacketBytes = 64u << 20;

// FFmpeg's own messages follow the program's debug switch.
void forwardFfmpegLog(void* object, int level, const char* format, va_list args) {
    if (level > AV_LOG_WARNING || !debugEnabled()) return;
    char line[1024];
    int printPrefix = 1;
    va_list copy;
    va_copy(copy, args);
    av_log_format_line2(object, level, format, copy, line, sizeof line, &printPrefix);
    va_end(copy);
    debugLog(line);
}

void installLogForwarding() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(forwardFfmpegLog); });
}

}  // namespace

VideoDecoder::VideoDecoder() { installLogForwarding(); }

VideoDecoder::~VideoDecoder() { close(); }

void VideoDecoder::attachFrame(DisplayFrame* frame) {
    std::lock_guard<std::mutex> lock(mutex_);
    frame_ = frame;
}

int VideoDecoder::open(int width, int height, const DeviceRecord& record) {
    std::lock_guard<std::mutex> lock(mutex_);
    const int bytes = av_image_get_buffer_size(kRgbFormat, width, height, 1);
    if (width <= 0 || height <= 0 || bytes <= 0) return -1;
    openWidth_ = width;
    openHeight_ = height;

    // A model without a codec keeps whatever codec an earlier open found.
    switch (codecForModel(record.modelIndex.load())) {
        case VideoCodec::Mpeg4: codec_ = avcodec_find_decoder(AV_CODEC_ID_MPEG4); break;
        case VideoCodec::H264: codec_ = avcodec_find_decoder(AV_CODEC_ID_H264); break;
        case VideoCodec::None: break;
    }
    if (codec_ == nullptr) return -1;

    // A second open within one connection starts from a fresh context.
    if (context_ != nullptr) avcodec_free_context(&context_);
    context_ = avcodec_alloc_context3(codec_);
    if (picture_ == nullptr) picture_ = av_frame_alloc();
    if (received_ == nullptr) received_ = av_frame_alloc();
    if (packet_ == nullptr) packet_ = av_packet_alloc();
    if (context_ == nullptr || picture_ == nullptr || received_ == nullptr || packet_ == nullptr) {
        releaseCodec();
        return -1;
    }
    av_frame_unref(picture_);

    context_->width = openWidth_;
    context_->height = openHeight_;
    context_->workaround_bugs = FF_BUG_AUTODETECT;
    context_->error_concealment = FF_EC_GUESS_MVS | FF_EC_DEBLOCK;
    context_->err_recognition = AV_EF_CAREFUL;
    context_->pix_fmt = AV_PIX_FMT_YUV420P;
    // One thread: every packet that completes a picture gives it back at once.
    context_->thread_count = 1;
    // Pictures over the limit: FFmpeg allocates no frame for them. The H.264
    // decoder sizes its tables for a new size before it asks for a frame, so
    // its format choice, which comes first, refuses them too. (The MPEG-4
    // decoder checks the limit as soon as its header gives the size.) Both
    // codecs choose the format with a new size known before they allocate
    // pictures for it: the admission is asked there.
    context_->max_pixels = int64_t{kMaxPictureWidth} * kMaxPictureHeight;
    context_->opaque = this;
    // Called inside decode, on the decoding thread, with the mutex held.
    context_->get_format = [](AVCodecContext* c, const AVPixelFormat* formats) {
        auto* decoder = static_cast<VideoDecoder*>(c->opaque);
        if (decoder != nullptr && !decoder->formatAllowed(c->codec_id, c->width, c->height)) return AV_PIX_FMT_NONE;
        return avcodec_default_get_format(c, formats);
    };
    widthBefore_ = openWidth_;
    heightBefore_ = openHeight_;
    if (avcodec_open2(context_, codec_, nullptr) < 0) {
        releaseCodec();
        return -1;
    }

    // The buffer may already hold the picture being shown; it is kept and
    // grows in decode when a stream needs more.
    if (!rgb_ && !ensureRgbCapacity(static_cast<size_t>(bytes))) {
        releaseCodec();
        return -1;
    }
    return 1;
}

DecodedPicture VideoDecoder::decode(const uint8_t* packet, size_t length) {
    std::lock_guard<std::mutex> lock(mutex_);
    return decodeLocked(nullptr, 0, packet, length);
}

DecodedPicture VideoDecoder::decodeRaw(const uint8_t* slot, size_t length, RecorderConnection& connection) {
    const int selected = connection.record ? connection.record->currentChannel.load() : 0;
    AccessUnit unit;
    const AccessUnitStep step =
        readAccessUnit(slot, length, FrameKind::Header32Raw, selected, connection.rawConfig, unit);
    if (step == AccessUnitStep::NoParameterSet) reportMissingParameterSet(unit.resolutionCode);
    if (step != AccessUnitStep::Ready) return {};
    return decodeAccessUnit(unit, connection.rawConfig);
}

DecodedPicture VideoDecoder::decodeAccessUnit(const AccessUnit& unit, uint8_t& rawConfig) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (unit.parameterSet != nullptr) ++counters_.parameterSetsSent;
    DecodedPicture picture = decodeLocked(unit.parameterSet, unit.parameterSetLength, unit.payload, unit.payloadLength);
    // A raw key picture that gave nothing leaves the decoder without the
    // set: the next key picture carries it again.
    if (!picture && unit.kind == FrameKind::Header32Raw) rawConfig = kRawConfigAfterFailure;
    return picture;
}

void VideoDecoder::reportMissingParameterSet(int resolutionCode) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (unknownCodeReported_) return;
    debugLogf("Raw video: no parameter set for resolution code %d, key pictures dropped \r\n", resolutionCode);
    unknownCodeReported_ = true;
}

DecodedPicture VideoDecoder::decodeLocked(const uint8_t* prefix, size_t prefixLength, const uint8_t* data,
                                          size_t length) {
    // An empty packet would tell FFmpeg the stream has ended.
    if (data == nullptr || length == 0) return {};
    if (codec_ == nullptr || context_ == nullptr || picture_ == nullptr) return {};
    if (!fillInput(prefix, prefixLength, data, length)) return {};
    if (DecodeTap* tap = tap_.load()) tap->decoderInput(input_->data, inputLength_);
    if (!decodeOnce()) return {};
    if (picture_->data[0] == nullptr) return {};

    const int width = picture_->width;
    const int height = picture_->height;
    const int format = picture_->format;
    if (width != outWidth_ || height != outHeight_ || format != scalerFormat_) {
        // Dropped before anything follows the new size; the frame keeps the
        // picture last shown.
        if (!pictureFits(width, height) || !admitted(width, height)) return {};
        outWidth_ = width;
        outHeight_ = height;
        if (frame_ != nullptr) {
            frame_->width = width;
            frame_->height = height;
            frame_->sourceRect = FrameRect{0, 0, width, height};
            frame_->rowBytes = width * kRgbBytesPerPixel;
        }
        if (scaler_ != nullptr) {
            sws_freeContext(scaler_);
            scaler_ = nullptr;
            scalerFormat_ = -1;
        }
        const int64_t bytes = int64_t{width} * height * kRgbBytesPerPixel;
        // Pictures larger than the opening size get a larger buffer, so
        // they are shown whole.
        if (width <= 0 || height <= 0 || !ensureRgbCapacity(static_cast<size_t>(bytes))) {
            outWidth_ = 0;
            return {};
        }
        scaler_ = sws_getContext(width, height, static_cast<AVPixelFormat>(format), width, height, kRgbFormat,
                                 SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
        convertedWidth_ = width;
        convertedHeight_ = height;
        converted_ = false;  // rgb_ holds no picture of this size yet
        if (scaler_ == nullptr) {
            outWidth_ = 0;  // the next packet tries again
            return {};
        }
        scalerFormat_ = format;
        ++counters_.scalerBuilds;
        if (!decodeOnce()) return {};
    }
    // The scaler only ever converts a picture of the size it was built for.
    if (picture_->data[0] == nullptr || picture_->width != outWidth_ || picture_->height != outHeight_ ||
        picture_->format != scalerFormat_) {
        return {};
    }

    if (convertedSize_ && !convertToWanted()) return {};

    uint8_t* destination[4] = {rgb_.get(), nullptr, nullptr, nullptr};
    const int destinationStride[4] = {convertedWidth_ * kRgbBytesPerPixel, 0, 0, 0};
    sws_scale(scaler_, picture_->data, picture_->linesize, 0, outHeight_, destination, destinationStride);
    converted_ = true;
    if (frame_ != nullptr) frame_->picture = rgb_.get();
    return DecodedPicture{rgb_.get(), convertedWidth_, convertedHeight_, outWidth_, outHeight_};
}

bool VideoDecoder::convertToWanted() {
    auto [width, height] = convertedSize_(outWidth_, outHeight_);
    // A size that cannot be had keeps the decoded one.
    if (width <= 0 || height <= 0 || width > kMaxPictureWidth || height > kMaxPictureHeight) {
        width = outWidth_;
        height = outHeight_;
    }
    if (width == convertedWidth_ && height == convertedHeight_) return true;
    if (!ensureRgbCapacity(static_cast<size_t>(width) * static_cast<size_t>(height) * kRgbBytesPerPixel)) return false;
    SwsContext* scaler = sws_getContext(outWidth_, outHeight_, static_cast<AVPixelFormat>(scalerFormat_), width, height,
                                        kRgbFormat, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
    if (scaler == nullptr) return false;
    sws_freeContext(scaler_);
    scaler_ = scaler;
    convertedWidth_ = width;
    convertedHeight_ = height;
    converted_ = false;
    ++counters_.scalerBuilds;
    return true;
}

bool VideoDecoder::fillInput(const uint8_t* prefix, size_t prefixLength, const uint8_t* data, size_t length) {
    if (length > kMaxPacketBytes || prefixLength > kMaxPacketBytes) return false;
    const size_t total = prefixLength + length;
    // FFmpeg's bit readers may read a little past the end: zeroed padding.
    const size_t needed = total + AV_INPUT_BUFFER_PADDING_SIZE;
    if (input_ == nullptr || input_->size < needed) {
        if (av_buffer_realloc(&input_, needed) < 0) return false;
    }
    if (av_buffer_make_writable(&input_) < 0) return false;
    if (prefixLength > 0) std::memcpy(input_->data, prefix, prefixLength);
    std::memcpy(input_->data + prefixLength, data, length);
    std::memset(input_->data + total, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    inputLength_ = total;
    return true;
}

bool VideoDecoder::decodeOnce() {
    widthBefore_ = context_->width;
    heightBefore_ = context_->height;
    packet_->buf = av_buffer_ref(input_);
    if (packet_->buf == nullptr) return false;
    packet_->data = input_->data;
    packet_->size = static_cast<int>(inputLength_);
    ++counters_.decodeCalls;

    // The newest picture out of this packet replaces the one kept; when none
    // comes out the previous picture stays.
    auto receiveAll = [this] {
        while (avcodec_receive_frame(context_, received_) == 0) {
            av_frame_unref(picture_);
            av_frame_move_ref(picture_, received_);
        }
    };
    int result = avcodec_send_packet(context_, packet_);
    if (result == AVERROR(EAGAIN)) {
        receiveAll();
        result = avcodec_send_packet(context_, packet_);
    }
    av_packet_unref(packet_);
    if (result < 0) return false;
    receiveAll();
    return true;
}

bool VideoDecoder::formatAllowed(int codecId, int width, int height) {
    if (codecId == AV_CODEC_ID_H264 && !pictureFits(width, height)) return false;
    // MPEG-4 first asks with the size the context had before the packet,
    // then again once the packet's header has given the new size.
    const bool newSize = width > 0 && height > 0 && (width != widthBefore_ || height != heightBefore_);
    return !newSize || admitted(width, height);
}

bool VideoDecoder::admitted(int width, int height) { return !admission_ || admission_(width, height); }

bool VideoDecoder::pictureFits(int width, int height) {
    if (width <= kMaxPictureWidth && height <= kMaxPictureHeight) return true;
    if (width != refusedWidth_ || height != refusedHeight_) {
        refusedWidth_ = width;
        refusedHeight_ = height;
        debugLogf("Picture %dx%d is larger than %dx%d, dropped \r\n", width, height, kMaxPictureWidth,
                  kMaxPictureHeight);
    }
    return false;
}

bool VideoDecoder::ensureRgbCapacity(size_t bytes) {
    if (rgb_ && bytes <= rgbCapacity_) return true;
    if (frame_ != nullptr) frame_->picture = nullptr;
    converted_ = false;
    rgb_.reset();
    rgbCapacity_ = 0;
    rgb_.reset(new (std::nothrow) uint8_t[bytes]);
    if (!rgb_) return false;
    std::memset(rgb_.get(), 0, bytes);
    rgbCapacity_ = bytes;
    return true;
}

void VideoDecoder::releaseCodec() {
    avcodec_free_context(&context_);
    av_frame_free(&picture_);
    av_frame_free(&received_);
    codec_ = nullptr;
}

void VideoDecoder::close() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (frame_ != nullptr) frame_->picture = nullptr;
    rgb_.reset();
    rgbCapacity_ = 0;
    av_frame_free(&picture_);
    av_frame_free(&received_);
    av_packet_free(&packet_);
    av_buffer_unref(&input_);
    avcodec_free_context(&context_);
    codec_ = nullptr;
    if (scaler_ != nullptr) sws_freeContext(scaler_);
    scaler_ = nullptr;
    scalerFormat_ = -1;
    outWidth_ = 0;
    outHeight_ = 0;
    convertedWidth_ = 0;
    convertedHeight_ = 0;
    converted_ = false;
}

void VideoDecoder::withPicture(const std::function<void(const DecodedPicture&)>& use) const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!converted_ || !rgb_ || convertedWidth_ <= 0 || convertedHeight_ <= 0) return;
    use(DecodedPicture{rgb_.get(), convertedWidth_, convertedHeight_, outWidth_, outHeight_});
}

DecoderCounters VideoDecoder::counters() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return counters_;
}

int VideoDecoder::outputWidth() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return outWidth_;
}

int VideoDecoder::outputHeight() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return outHeight_;
}

}  // namespace orvix
