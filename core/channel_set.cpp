#include "core/channel_set.h"

#include <cctype>

namespace orvix {

ChannelSet ChannelSet::single(int channel) {
    ChannelSet set;
    set.add(channel);
    return set;
}

bool ChannelSet::add(int channel) {
    if (channel < 0 || channel >= kMaxChannels || contains(channel)) return false;
    order_[static_cast<size_t>(count_++)] = static_cast<int8_t>(channel);
    mask_ = static_cast<uint16_t>(mask_ | (1u << channel));
    return true;
}

int ChannelSet::indexOf(int channel) const {
    for (int i = 0; i < count_; ++i) {
        if (order_[static_cast<size_t>(i)] == channel) return i;
    }
    return -1;
}

std::string ChannelSet::text() const {
    std::string out;
    for (int i = 0; i < count_; ++i) {
        if (i > 0) out += ',';
        out += std::to_string(at(i) + 1);
    }
    return out;
}

namespace {

// A decimal number of one or two digits at `pos`; advances past it.
std::optional<int> readNumber(std::string_view text, size_t& pos) {
    size_t start = pos;
    int value = 0;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) != 0 && pos - start < 3) {
        value = value * 10 + (text[pos] - '0');
        ++pos;
    }
    if (pos == start || pos - start > 2) return std::nullopt;
    return value;
}

}  // namespace

std::optional<ChannelSet> parseChannelList(std::string_view text, int cameraLimit) {
    if (cameraLimit > kMaxChannels) cameraLimit = kMaxChannels;
    ChannelSet set;
    size_t pos = 0;
    for (;;) {
        const auto first = readNumber(text, pos);
        if (!first) return std::nullopt;
        int last = *first;
        if (pos < text.size() && text[pos] == '-') {
            ++pos;
            const auto end = readNumber(text, pos);
            if (!end || *end < *first) return std::nullopt;
            last = *end;
        }
        if (*first < 1 || last > cameraLimit) return std::nullopt;
        for (int c = *first; c <= last; ++c) {
            if (!set.add(c - 1)) return std::nullopt;
        }
        if (pos == text.size()) break;
        if (text[pos] != ',') return std::nullopt;
        ++pos;
    }
    return set;
}

}  // namespace orvix
