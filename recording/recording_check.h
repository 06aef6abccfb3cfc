// Reads a finished recording back the way a player would: its first video
// track, decoded until a picture comes out.
#pragma once

#include <string>

namespace orvix {

// True when the file has a video track that decodes to at least one
// picture; otherwise false with the reason in `error`.
bool hasPlayableVideo(const std::string& path, std::string& error);

}  // namespace orvix
