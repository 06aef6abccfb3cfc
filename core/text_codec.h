// Conversion between the records' UTF-16 texts and the narrow character set
// of the current locale, which is what a recorder receives and sends.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orvix {

// The narrow form of `text`; characters the locale cannot represent become '?'.
std::string toNarrow(std::u16string_view text);

// Writes the narrow form of `text` into a fixed field of `fieldSize` bytes:
// NUL-terminated, cut so that it fits (never in the middle of a multi-byte
// character), the rest of the field zero. Returns the bytes written before
// the NUL. A field of size 0 is left untouched.
size_t toNarrowField(std::u16string_view text, char* field, size_t fieldSize);

// The UTF-16 form of narrow text, read up to its first NUL or `length`
// bytes; undecodable bytes become U+FFFD.
std::u16string fromNarrow(const char* bytes, size_t length);
inline std::u16string fromNarrow(std::string_view text) { return fromNarrow(text.data(), text.size()); }

// UTF-8 helpers for places where the text is known to be UTF-8 (command
// lines, the store, Qt).
std::u16string fromUtf8(std::string_view text);
std::string toUtf8(std::u16string_view text);

}  // namespace orvix
