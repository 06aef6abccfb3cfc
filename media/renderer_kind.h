// The two ways a picture reaches the screen. The values are the renderer
// flag the video window keeps; any other flag value draws nothing.
#pragma once

namespace orvix {

enum class RendererKind : int {
    Software = 0,     // back buffer stretched into the window
    Accelerated = 1,  // texture drawn scaled by the graphics hardware
};

}  // namespace orvix
