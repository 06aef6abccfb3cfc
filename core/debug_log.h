// The one debug sink: progress lines go to stderr when ORVIX_DEBUG is set to
// anything but "0" or an empty value; otherwise nothing is written.
#pragma once

namespace orvix {

bool debugEnabled();
void debugLog(const char* text);
// printf-style; the line is cut at 1023 bytes.
void debugLogf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace orvix
