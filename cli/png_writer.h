// Writes a 32-bit picture (blue, green, red, unused) as a PNG file with
// libavcodec's PNG encoder.
#pragma once

#include <string>

#include "cli/bitmap_font.h"

namespace orvix::cli {

// False with `error` set when the picture is empty, cannot be encoded or the
// file cannot be written.
bool writePng(const std::string& path, const PictureView& picture, std::string& error);

}  // namespace orvix::cli
