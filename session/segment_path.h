// The names of a recording that goes on in further files after reconnects:
// NAME-N with the extension kept.
#pragma once

#include <string>

namespace orvix {

// "out.mp4", 2 -> "out-2.mp4"; "out", 3 -> "out-3"; a dot in a directory
// name is not an extension.
std::string segmentPath(const std::string& path, int number);

}  // namespace orvix
