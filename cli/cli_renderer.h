// The client's renderer: no screen. It reports each picture to the message
// loop, shows the picture size to the recording, and keeps a copy of the
// last picture and its overlay rows when a snapshot is wanted.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "cli/segmented_recording.h"
#include "session/message_loop.h"
#include "session/renderer.h"

namespace orvix::cli {

// The recorder time a date text of the numeric year-first format stands for
// ("YYYY:MM:DD hh:mm:ss", the overlay's format for language 0).
std::optional<uint32_t> parseDateText(const char16_t* text, size_t capacity);

struct KeptPicture {
    std::vector<uint8_t> pixels;  // rows of width * 4 bytes, no gaps
    int width = 0;
    int height = 0;
    OverlayRows overlay;
};

class CliRenderer final : public Renderer {
public:
    CliRenderer(MessageLoop& loop, bool keepPicture, SegmentedRecording* recorder)
        : loop_(loop), keepPicture_(keepPicture), recorder_(recorder) {}

    bool present(const DisplayFrame& frame, const OverlayRows& overlay) override;

    // Freezes the kept picture: later pictures are still reported but no
    // longer replace it (the goal's last picture is the one kept).
    void freeze();
    // Any thread, once the display thread has ended.
    KeptPicture keptPicture() const;

private:
    MessageLoop& loop_;
    const bool keepPicture_;
    SegmentedRecording* const recorder_;
    mutable std::mutex mutex_;
    bool frozen_ = false;
    KeptPicture kept_;
};

}  // namespace orvix::cli
