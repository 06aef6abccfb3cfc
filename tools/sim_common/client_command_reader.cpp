#include "tools/sim_common/client_command_reader.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "link/command_codes.h"

namespace orvix::sim {
namespace {

constexpr uint8_t kWideEnd[4] = {0x00, 0x00, 0x01, 0xB4};
constexpr uint8_t kPlainEnd[4] = {'N', 'E', 'N', 'D'};
constexpr size_t kNotAPacket = SIZE_MAX;

// Payload lengths a client sends with each command, shortest first.
std::span<const size_t> payloadLengths(uint32_t code) {
    static constexpr size_t kLogin[] = {kLoginPayloadShort, kLoginPayloadLong};
    static constexpr size_t kData[] = {kDataSendReqPayload};
    static constexpr size_t kFour[] = {4};
    static constexpr size_t kDdns[] = {kDdnsInfoReqPayload};
    static constexpr size_t kAlarm[] = {kAlarmOutPayload};
    static constexpr size_t kPtz[] = {kPtzPayload};
    static constexpr size_t kNone[] = {0};
    auto list = [](const auto& array) { return std::span<const size_t>(array); };
    switch (code) {
        case COMMAND_LOGIN_REQ:
            return list(kLogin);
        case COMMAND_DATA_SEND_REQ:
            return list(kData);
        case COMMAND_PLAY_CONTROL_REQ:
        case COMMAND_SEARCH_TIME_REQ:
            return list(kFour);
        case COMMAND_DDNS_INFO_REQ:
            return list(kDdns);
        case COMMAND_ALARM_OUT_REQ:
            return list(kAlarm);
        case COMMAND_PTZ_REQ:
            return list(kPtz);
        case COMMAND_ECHO_ACK:
        case COMMAND_RECORD_INFO_REQ:
        case COMMAND_SEARCH_PLAY_REQ:
        case COMMAND_SEARCH_MODE_REQ:
        case COMMAND_SEARCH_END_REQ:
            return list(kNone);
        default:
            return {};
    }
}

size_t find(const std::vector<uint8_t>& bytes, size_t from, const uint8_t (&marker)[4]) {
    if (bytes.size() < 4) return SIZE_MAX;
    for (size_t i = from; i + 4 <= bytes.size(); ++i) {
        if (std::memcmp(bytes.data() + i, marker, 4) == 0) return i;
    }
    return SIZE_MAX;
}

}  // namespace

void ClientCommandReader::feed(const uint8_t* data, size_t length) {
    if (data != nullptr) buffer_.insert(buffer_.end(), data, data + length);
}

size_t ClientCommandReader::packetLength() const {
    if (buffer_.size() < 8) return 0;
    // A packet must end before the command size limit.
    auto ending = [this](size_t end) {
        if (end != SIZE_MAX) return end + 4 < kCommandPacketLimit ? end + 4 : kNotAPacket;
        return buffer_.size() >= kCommandPacketLimit ? kNotAPacket : 0;
    };
    if (buffer_[3] == 0xC2) return ending(find(buffer_, 8, kWideEnd));
    const uint32_t code = readLe32(buffer_.data() + 4);
    for (size_t payload : payloadLengths(code)) {
        const size_t total = payload + kPacketOverhead;
        if (buffer_.size() < total) return 0;
        if (std::memcmp(buffer_.data() + total - 4, kPlainEnd, 4) == 0) return total;
    }
    return ending(find(buffer_, 8, kPlainEnd));
}

bool ClientCommandReader::next(ClientCommand& out) {
    for (;;) {
        // Hunt for a start marker; keep a tail that may begin one.
        size_t start = SIZE_MAX;
        for (size_t i = 0; i + 4 <= buffer_.size(); ++i) {
            if (buffer_[i] == 0 && buffer_[i + 1] == 0 && buffer_[i + 2] == 0xAD &&
                (buffer_[i + 3] == 0xC2 || buffer_[i + 3] == 0xC3)) {
                start = i;
                break;
            }
        }
        if (start == SIZE_MAX) {
            const size_t keep = std::min<size_t>(buffer_.size(), 3);
            buffer_.erase(buffer_.begin(), buffer_.end() - static_cast<std::ptrdiff_t>(keep));
            return false;
        }
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start));

        const size_t length = packetLength();
        if (length == 0) return false;
        if (length == kNotAPacket) {
            buffer_.erase(buffer_.begin());  // not a packet: hunt on from the next byte
            continue;
        }
        const FramingKind framing = buffer_[3] == 0xC2 ? FramingKind::Wide : FramingKind::Plain;
        std::vector<uint8_t> payload(length);
        DecodedCommand decoded;
        const bool ok = decodeCommand(buffer_.data(), length, framing, payload.data(), payload.size(), decoded);
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(length));
        if (!ok) continue;
        payload.resize(decoded.payloadLength);
        out.framing = framing;
        out.code = decoded.code;
        out.payload = std::move(payload);
        return true;
    }
}

}  // namespace orvix::sim
