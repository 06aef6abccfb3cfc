#include "core/text_codec.h"

#include <climits>
#include <cstring>
#include <cwchar>

namespace orvix {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Walks UTF-16 code units as code points; unpaired surrogates become U+FFFD.
template <typename Fn>
void forEachCodePoint(std::u16string_view text, Fn&& fn) {
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
        }
        if (!fn(c)) return;
    }
}

void appendUtf16(std::u16string& out, char32_t c) {
    if (c >= 0x10000 && c <= 0x10FFFF) {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        out.push_back(static_cast<char16_t>(kReplacement));
    } else {
        out.push_back(static_cast<char16_t>(c));
    }
}

// The narrow bytes of one code point in the current locale ('?' if none).
size_t narrowChar(char32_t c, char (&buffer)[MB_LEN_MAX], std::mbstate_t& state) {
    size_t n = std::wcrtomb(buffer, static_cast<wchar_t>(c), &state);
    if (n == static_cast<size_t>(-1)) {
        state = std::mbstate_t{};
        buffer[0] = '?';
        n = 1;
    }
    return n;
}

}  // namespace

std::string toNarrow(std::u16string_view text) {
    std::string out;
    std::mbstate_t state{};
    forEachCodePoint(text, [&](char32_t c) {
        if (c == 0) return false;
        char buffer[MB_LEN_MAX];
        out.append(buffer, narrowChar(c, buffer, state));
        return true;
    });
    return out;
}

size_t toNarrowField(std::u16string_view text, char* field, size_t fieldSize) {
    if (fieldSize == 0) return 0;
    std::memset(field, 0, fieldSize);
    size_t used = 0;
    std::mbstate_t state{};
    forEachCodePoint(text, [&](char32_t c) {
        if (c == 0) return false;
        char buffer[MB_LEN_MAX];
        size_t n = narrowChar(c, buffer, state);
        if (used + n > fieldSize - 1) return false;  // keep room for the NUL
        std::memcpy(field + used, buffer, n);
        used += n;
        return true;
    });
    return used;
}

std::u16string fromNarrow(const char* bytes, size_t length) {
    std::u16string out;
    std::mbstate_t state{};
    size_t i = 0;
    while (i < length && bytes[i] != 0) {
        wchar_t wc = 0;
        size_t n = std::mbrtowc(&wc, bytes + i, length - i, &state);
        if (n == 0) break;
        if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) {
            // Invalid or truncated sequence: one replacement per byte.
            state = std::mbstate_t{};
            out.push_back(static_cast<char16_t>(kReplacement));
            ++i;
            continue;
        }
        appendUtf16(out, static_cast<char32_t>(wc));
        i += n;
    }
    return out;
}

std::u16string fromUtf8(std::string_view text) {
    std::u16string out;
    size_t i = 0;
    while (i < text.size()) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        char32_t c;
        size_t extra;
        if (b < 0x80) { c = b; extra = 0; }
        else if ((b & 0xE0) == 0xC0) { c = b & 0x1F; extra = 1; }
        else if ((b & 0xF0) == 0xE0) { c = b & 0x0F; extra = 2; }
        else if ((b & 0xF8) == 0xF0) { c = b & 0x07; extra = 3; }
        else { out.push_back(static_cast<char16_t>(kReplacement)); ++i; continue; }
        bool valid = true;
        for (size_t k = 1; k <= extra; ++k) {
            if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        // Truncated or malformed sequences and overlong forms give U+FFFD.
        static constexpr char32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
        if (!valid || c < kMinimum[extra]) {
            out.push_back(static_cast<char16_t>(kReplacement));
            ++i;
            continue;
        }
        appendUtf16(out, c);
        i += extra + 1;
    }
    return out;
}

std::string toUtf8(std::u16string_view text) {
    std::string out;
    forEachCodePoint(text, [&](char32_t c) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
        return true;
    });
    return out;
}

}  // namespace orvix
