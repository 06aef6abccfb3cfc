#include "recording/elementary_stream.h"

namespace orvix {
namespace {

constexpr uint8_t kVopStartCode = 0xB6;
constexpr int kH264Idr = 5;
constexpr int kH264Sps = 7;
constexpr int kH264Pps = 8;

// Position of the next 00 00 01 at or after `from`, or `length`.
size_t findStartCode(const uint8_t* bytes, size_t length, size_t from) {
    for (size_t i = from; i + 3 <= length; ++i) {
        if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1) return i;
    }
    return length;
}

// Calls `unit(type, begin, end)` for each NAL unit; begin includes the start
// code (with a leading zero byte of a four-byte code), end is exclusive.
template <typename Visit>
void forEachNalUnit(const uint8_t* bytes, size_t length, Visit unit) {
    size_t code = findStartCode(bytes, length, 0);
    while (code < length) {
        const size_t payload = code + 3;
        size_t next = findStartCode(bytes, length, payload);
        size_t begin = code > 0 && bytes[code - 1] == 0 ? code - 1 : code;
        size_t end = next;
        // A four-byte start code of the next unit is not part of this one.
        if (next < length && next > payload && bytes[next - 1] == 0) end = next - 1;
        if (payload < length) unit(bytes[payload] & 0x1F, begin, end);
        code = next;
    }
}

}  // namespace

bool isKeyPacket(VideoCodec codec, const uint8_t* bytes, size_t length) {
    if (bytes == nullptr) return false;
    if (codec == VideoCodec::Mpeg4) {
        for (size_t code = findStartCode(bytes, length, 0); code < length;
             code = findStartCode(bytes, length, code + 3)) {
            if (code + 4 < length && bytes[code + 3] == kVopStartCode) return (bytes[code + 4] >> 6) == 0;
        }
        return false;
    }
    if (codec == VideoCodec::H264) {
        bool key = false;
        forEachNalUnit(bytes, length, [&key](int type, size_t, size_t) { key = key || type == kH264Idr; });
        return key;
    }
    return false;
}

std::vector<uint8_t> streamHeaders(VideoCodec codec, const uint8_t* bytes, size_t length) {
    std::vector<uint8_t> headers;
    if (bytes == nullptr) return headers;
    if (codec == VideoCodec::Mpeg4) {
        for (size_t code = findStartCode(bytes, length, 0); code < length;
             code = findStartCode(bytes, length, code + 3)) {
            if (code + 3 < length && bytes[code + 3] == kVopStartCode) {
                headers.assign(bytes, bytes + code);
                break;
            }
        }
    } else if (codec == VideoCodec::H264) {
        forEachNalUnit(bytes, length, [&](int type, size_t begin, size_t end) {
            if (type == kH264Sps || type == kH264Pps) headers.insert(headers.end(), bytes + begin, bytes + end);
        });
    }
    return headers;
}

}  // namespace orvix
