// The picture being shown and what the overlay draws with it.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace orvix {

struct FrameRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

constexpr int kDateTextChars = 32;

struct DisplayFrame {
    const uint8_t* picture = nullptr;  // RGB32 rows, top first, rowBytes apart
    int width = 0;                     // decoder output size, 0 x 0 before the first picture
    int height = 0;
    std::atomic<int> channel{0};       // channel of the stream shown, 0-based (written by the link thread)
    std::atomic<int> mode{0};          // 0 live, 1 search (written by the window thread)
    char16_t dateText[kDateTextChars]{};
    std::u16string name;               // the connected recorder's name, copied at set-up
    FrameRect destinationRect;         // the video window, taken at set-up
    FrameRect sourceRect;              // (0, 0, width, height)
    int rowBytes = 0;                  // width * 4
};

}  // namespace orvix
