#include "setup/port_text.h"

namespace orvix {

std::optional<uint16_t> parsePortText(std::u16string_view text) {
    uint32_t value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') break;
        value = value * 10 + static_cast<uint32_t>(c - u'0');
        // Stop as soon as the value is out of range, before it can overflow.
        if (value > 65535) return std::nullopt;
    }
    return static_cast<uint16_t>(value);
}

}  // namespace orvix
