#include "bridge/rtsp_framing.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "frontend/recorder_options.h"

namespace orvix::bridge {
namespace {

constexpr size_t kFrameHeader = 4;

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

// Where the header block that starts at `data` ends (after its empty line),
// 0 when it does not end within `size`.
size_t headerEnd(const uint8_t* data, size_t size) {
    for (size_t i = 0; i + 1 < size; ++i) {
        if (data[i] != '\n') continue;
        if (data[i + 1] == '\n') return i + 2;
        if (i + 2 < size && data[i + 1] == '\r' && data[i + 2] == '\n') return i + 3;
    }
    return 0;
}

struct HeaderFields {
    std::optional<long long> contentLength;  // nullopt: none
    bool contentLengthValid = true;
    std::string cseq;
    bool authorization = false;
};

HeaderFields readFields(std::string_view block) {
    HeaderFields fields;
    size_t start = block.find('\n');  // past the first line
    while (start != std::string_view::npos && start + 1 < block.size()) {
        const size_t end = block.find('\n', start + 1);
        const std::string_view line = block.substr(start + 1, end == std::string_view::npos ? end : end - start - 1);
        const size_t colon = line.find(':');
        if (colon != std::string_view::npos) {
            const std::string_view name = trimmed(line.substr(0, colon));
            const std::string_view value = trimmed(line.substr(colon + 1));
            if (name.size() == 14 && startsWithNoCase(name, "content-length")) {
                fields.contentLength = parseNumber(value, 0, 1LL << 40);
                fields.contentLengthValid = fields.contentLength.has_value();
            } else if (name.size() == 4 && startsWithNoCase(name, "cseq")) {
                fields.cseq = std::string(value.substr(0, 32));
            } else if (name.size() == 13 && startsWithNoCase(name, "authorization")) {
                fields.authorization = true;
            }
        }
        start = end;
    }
    return fields;
}

}  // namespace

ClientMessage nextClientMessage(const uint8_t* data, size_t size, const MessageLimits& limits) {
    ClientMessage message;
    size_t skipped = 0;
    while (skipped < size && (data[skipped] == '\r' || data[skipped] == '\n')) ++skipped;
    data += skipped;
    size -= skipped;
    if (size == 0) return message;
    if (data[0] == '$') {
        if (size < kFrameHeader) return message;
        const size_t frame = kFrameHeader + ((static_cast<size_t>(data[2]) << 8) | data[3]);
        if (size < frame) return message;
        message.kind = ClientMessage::Kind::Interleaved;
        message.size = skipped + frame;
        return message;
    }
    const size_t limit = std::min(size, limits.headerBytes);
    const size_t header = headerEnd(data, limit);
    if (header == 0) {
        if (size >= limits.headerBytes) message.kind = ClientMessage::Kind::HeaderTooLarge;
        return message;
    }
    const std::string_view block(reinterpret_cast<const char*>(data), header);
    const HeaderFields fields = readFields(block);
    message.cseq = fields.cseq;
    message.hasCredentials = fields.authorization;
    if (!fields.contentLengthValid) {
        message.kind = ClientMessage::Kind::Malformed;
        return message;
    }
    const size_t body = static_cast<size_t>(fields.contentLength.value_or(0));
    if (body > limits.bodyBytes) {
        message.kind = ClientMessage::Kind::BodyTooLarge;
        return message;
    }
    if (size < header + body) return message;
    message.kind = startsWithNoCase(block, "RTSP/") ? ClientMessage::Kind::Response : ClientMessage::Kind::Request;
    message.size = skipped + header + body;
    return message;
}

std::string errorResponse(int code, const char* reason, const std::string& cseq) {
    std::string text = "RTSP/1.0 " + std::to_string(code) + " " + reason + "\r\n";
    if (!cseq.empty()) text += "CSeq: " + cseq + "\r\n";
    text += "Connection: close\r\nContent-Length: 0\r\n\r\n";
    return text;
}

int ResponseScanner::step(const uint8_t* data, size_t size, size_t& offset) {
    switch (state_) {
        case State::Start:
            if (data[0] == '$') {
                state_ = State::FrameHeader;
                frameHeaderBytes_ = 0;
            } else if (data[0] == '\r' || data[0] == '\n') {
                ++offset;
            } else {
                state_ = State::Header;
                header_.clear();
            }
            return 0;
        case State::FrameHeader: {
            const size_t take = std::min(size, kFrameHeader - frameHeaderBytes_);
            std::memcpy(frameHeader_ + frameHeaderBytes_, data, take);
            frameHeaderBytes_ += take;
            offset += take;
            if (frameHeaderBytes_ == kFrameHeader) {
                remaining_ = (static_cast<size_t>(frameHeader_[2]) << 8) | frameHeader_[3];
                state_ = remaining_ > 0 ? State::Frame : State::Start;
            }
            return 0;
        }
        case State::Frame:
        case State::Body: {
            const size_t take = std::min(size, remaining_);
            remaining_ -= take;
            offset += take;
            if (remaining_ > 0) return 0;
            const bool wasBody = state_ == State::Body;
            state_ = State::Start;
            return wasBody && response_ ? status_ : 0;
        }
        case State::Header: {
            // Byte by byte up to the empty line; the server's headers are small.
            header_.push_back(static_cast<char>(data[0]));
            ++offset;
            if (header_.size() > kMaxHeader) header_.erase(0, header_.size() - kMaxHeader);
            if (header_.back() != '\n') return 0;
            const size_t end = header_.size();
            const bool ended = (end >= 2 && header_[end - 2] == '\n') ||
                               (end >= 3 && header_[end - 2] == '\r' && header_[end - 3] == '\n');
            return ended ? endOfHeader() : 0;
        }
    }
    return 0;
}

int ResponseScanner::endOfHeader() {
    response_ = startsWithNoCase(header_, "RTSP/");
    status_ = 0;
    if (response_) {
        const size_t space = header_.find(' ');
        if (space != std::string::npos) status_ = std::atoi(header_.c_str() + space + 1);
    }
    const HeaderFields fields = readFields(header_);
    remaining_ = static_cast<size_t>(fields.contentLength.value_or(0));
    if (remaining_ > 0) {
        state_ = State::Body;
        return 0;
    }
    state_ = State::Start;
    return response_ ? status_ : 0;
}

}  // namespace orvix::bridge
