// Builds a NUL-terminated UTF-16 line in a caller's fixed buffer. Whatever
// does not fit is cut off; the buffer is never written past its capacity.
#pragma once

#include <cstddef>
#include <string_view>

namespace orvix {

class TextLine {
public:
    // `capacity` counts the terminating zero; a capacity of 0 writes nothing.
    TextLine(char16_t* buffer, size_t capacity);

    TextLine& append(std::u16string_view text);
    TextLine& appendAscii(std::string_view text);
    // printf-style for ASCII formats and numbers.
    TextLine& appendFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));

    size_t length() const { return length_; }
    // Characters that can still be appended.
    size_t room() const { return capacity_ == 0 ? 0 : capacity_ - 1 - length_; }
    std::u16string_view view() const { return {buffer_, length_}; }

private:
    char16_t* buffer_;
    size_t capacity_;
    size_t length_ = 0;
};

// `text` cut to at most `limit` UTF-16 units, never between the two halves
// of a surrogate pair.
std::u16string_view cutText(std::u16string_view text, size_t limit);

}  // namespace orvix
