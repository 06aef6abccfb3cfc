// One compressed video packet (MPEG-4 part 2 or H.264) in, one 32-bit RGB
// picture out. One decoder per connection: the link thread opens it when the
// recorder has described itself, the display thread decodes, the window
// thread closes it. A mutex keeps a repeated open from racing a decode.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <mutex>

#include "core/device_record.h"
#include "link/decoder_opener.h"
#include "link/display_frame.h"
#include "media/access_unit.h"
#include "media/decode_tap.h"

struct AVBufferRef;
struct AVCodec;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace orvix {

class RecorderConnection;

// The largest picture decoded: a recorder sends nothing larger, and a
// parameter set that claims more would make the decoder and the picture
// buffers allocate gigabytes.
constexpr int kMaxPictureWidth = 4096;
constexpr int kMaxPictureHeight = 4096;

// The RGB picture of the last decode: rows top first, width * 4 bytes each,
// bytes blue, green, red, unused. Valid until the next decode or close.
struct DecodedPicture {
    const uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    // The size the codec gave; differs from width x height only where a
    // converted size was asked for (setConvertedSize).
    int decodedWidth = 0;
    int decodedHeight = 0;

    explicit operator bool() const { return pixels != nullptr; }
};

// How often the decoder was fed, rebuilt its scaler, and put a fixed
// parameter set in front of a raw key picture.
struct DecoderCounters {
    uint64_t decodeCalls = 0;
    uint64_t scalerBuilds = 0;
    uint64_t parameterSetsSent = 0;
};

class VideoDecoder final : public DecoderOpener {
public:
    VideoDecoder();
    ~VideoDecoder() override;
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // The display frame that mirrors the output size and picture. Set before
    // the threads start.
    void attachFrame(DisplayFrame* frame);

    // Opens the codec of the record's model index with the opening size.
    // 1 on success, -1 when the model has no codec (and none was found
    // before) or the codec cannot be opened. Reopening starts a new codec
    // context; the output size and the RGB buffer stay.
    int open(int width, int height, const DeviceRecord& record);
    int openDecoder(int width, int height, DeviceRecord& record) override { return open(width, height, record); }

    // Decodes one packet. Nothing for no packet, a decode error, a scaler
    // that cannot be built (tried again with the next packet), a picture
    // larger than kMaxPictureWidth x kMaxPictureHeight (refused before the
    // codec allocates for it where the codec allows, with one debug line per
    // size) or a picture that cannot be held. A packet that completes no
    // picture yields the previous picture again.
    DecodedPicture decode(const uint8_t* packet, size_t length);

    // A raw H.264 packet (32-byte header, payload of the header's length):
    // channel test, parameter set in front of a key picture when the coding
    // configuration changes, non-key pictures dropped until then. Uses the
    // connection's configuration memory and the record's selected channel.
    DecodedPicture decodeRaw(const uint8_t* slot, size_t length, RecorderConnection& connection);

    // Decodes what readAccessUnit() gave, the parameter set in front where
    // it put one. A raw picture that gives nothing sets `rawConfig` (the
    // stream's configuration memory) so the next key picture carries its set.
    DecodedPicture decodeAccessUnit(const AccessUnit& unit, uint8_t& rawConfig);
    // A raw key picture of a configuration without a fixed set: one debug
    // line per decoder.
    void reportMissingParameterSet(int resolutionCode);

    // Frees the codec, the pictures, the scaler and the RGB buffer.
    void close();

    // Shows every packet handed to the codec to `tap` (null: none). May be
    // set from another thread; the tap must outlive its use by the decoder.
    void setTap(DecodeTap* tap) { tap_.store(tap); }

    // The size each picture is converted to from its decoded size, for a
    // consumer that shows it smaller or larger (a grid tile): the colour
    // conversion scales it in the same pass. Unset (the default), pictures
    // keep their decoded size. Called on the decoding thread; set before
    // decoding begins.
    using ConvertedSize = std::function<std::pair<int, int>(int width, int height)>;
    void setConvertedSize(ConvertedSize size) { convertedSize_ = std::move(size); }

    // Whether pictures of a new size may be held (a budget shared with other
    // decoders): asked before the codec allocates for them where the codec
    // tells the size first, else when the first of them comes out; false
    // drops them. Called on the decoding thread under the decoder's lock;
    // set before decoding begins. Unset, every size up to the limit is.
    using SizeAdmission = std::function<bool(int width, int height)>;
    void setAdmission(SizeAdmission admission) { admission_ = std::move(admission); }

    // Any thread: calls `use` with the picture of the last decode, under the
    // decoder's lock (so at most until the next decode begins); not at all
    // before the first picture or after close().
    void withPicture(const std::function<void(const DecodedPicture&)>& use) const;

    DecoderCounters counters() const;
    int outputWidth() const;
    int outputHeight() const;

private:
    DecodedPicture decodeLocked(const uint8_t* prefix, size_t prefixLength, const uint8_t* data, size_t length);
    bool fillInput(const uint8_t* prefix, size_t prefixLength, const uint8_t* data, size_t length);
    bool decodeOnce();
    // False, with one debug line per size, for a picture over the limit.
    bool pictureFits(int width, int height);
    bool admitted(int width, int height);
    // The codec's format choice for a picture size: the limit (H.264) and,
    // for a new size, the admission.
    bool formatAllowed(int codecId, int width, int height);
    bool ensureRgbCapacity(size_t bytes);
    // Rebuilds the scaler when the converted size asked for changed.
    bool convertToWanted();
    void releaseCodec();

    mutable std::mutex mutex_;
    const AVCodec* codec_ = nullptr;
    AVCodecContext* context_ = nullptr;
    AVFrame* picture_ = nullptr;   // the decoded picture last received
    AVFrame* received_ = nullptr;  // scratch for receiving
    AVPacket* packet_ = nullptr;
    AVBufferRef* input_ = nullptr;  // packet bytes with zeroed padding behind them
    size_t inputLength_ = 0;
    SwsContext* scaler_ = nullptr;
    int scalerFormat_ = -1;

    std::unique_ptr<uint8_t[]> rgb_;
    size_t rgbCapacity_ = 0;
    int openWidth_ = 0;
    int openHeight_ = 0;
    int outWidth_ = 0;
    int outHeight_ = 0;
    int convertedWidth_ = 0;   // the scaler's output size
    int convertedHeight_ = 0;
    ConvertedSize convertedSize_;
    SizeAdmission admission_;
    int widthBefore_ = 0;  // the context's size before the packet being decoded
    int heightBefore_ = 0;
    bool converted_ = false;  // rgb_ holds a picture of the converted size

    DisplayFrame* frame_ = nullptr;
    std::atomic<DecodeTap*> tap_{nullptr};
    bool unknownCodeReported_ = false;
    int refusedWidth_ = 0;  // the oversized picture last reported
    int refusedHeight_ = 0;
    DecoderCounters counters_;
};

}  // namespace orvix
