#include "core/debug_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace orvix {

bool debugEnabled() {
    static const bool enabled = [] {
        const char* value = std::getenv("ORVIX_DEBUG");
        return value != nullptr && value[0] != 0 && std::strcmp(value, "0") != 0;
    }();
    return enabled;
}

void debugLog(const char* text) {
    if (!debugEnabled() || text == nullptr) return;
    std::fputs(text, stderr);
    std::fflush(stderr);
}

void debugLogf(const char* format, ...) {
    if (!debugEnabled()) return;
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    debugLog(line);
}

}  // namespace orvix
