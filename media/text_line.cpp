#include "media/text_line.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace orvix {

TextLine::TextLine(char16_t* buffer, size_t capacity) : buffer_(buffer), capacity_(buffer ? capacity : 0) {
    if (capacity_ > 0) buffer_[0] = 0;
}

TextLine& TextLine::append(std::u16string_view text) {
    text = cutText(text, room());
    for (char16_t ch : text) buffer_[length_++] = ch;
    if (capacity_ > 0) buffer_[length_] = 0;
    return *this;
}

TextLine& TextLine::appendAscii(std::string_view text) {
    if (text.size() > room()) text = text.substr(0, room());
    for (char ch : text) buffer_[length_++] = static_cast<char16_t>(static_cast<unsigned char>(ch));
    if (capacity_ > 0) buffer_[length_] = 0;
    return *this;
}

TextLine& TextLine::appendFormat(const char* format, ...) {
    char text[128];
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (written > 0) appendAscii(std::string_view(text, std::min<size_t>(static_cast<size_t>(written), sizeof text - 1)));
    return *this;
}

std::u16string_view cutText(std::u16string_view text, size_t limit) {
    if (text.size() <= limit) return text;
    size_t keep = limit;
    if (keep > 0 && text[keep - 1] >= 0xD800 && text[keep - 1] <= 0xDBFF) --keep;
    return text.substr(0, keep);
}

}  // namespace orvix
