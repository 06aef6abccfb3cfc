// One camera of the simulated recorder: its pan/tilt/zoom, its encoder
// (opened when the channel is first asked for) and the bookkeeping of key
// pictures: one per second, and one at once when the channel is (re)asked
// for or a picture had to be dropped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/encoder/video_encoder.h"
#include "tools/recorder_sim/camera_control.h"
#include "tools/recorder_sim/picture_painter.h"
#include "tools/recorder_sim/sim_options.h"

namespace orvix::sim {

class ChannelStream {
public:
    ChannelStream(const SimOptions& options, const SimProfile& profile);

    // The next picture is a key picture, and the second count restarts.
    void restartKeys();
    void requestKey();
    // Whether the next picture falls on a key picture (once a second).
    bool keyDue() const;
    // Counts a picture time that produced no picture (I-frame-only streams).
    void skipPicture();

    // Encodes `seconds` of pictures of `content` once; encode() replays them
    // from then on. False, with the reason, when encoding fails.
    bool prepareLoop(const PictureContent& content, int seconds, std::string& error);
    bool looping() const { return !loop_.empty(); }

    // Paints and encodes one picture (a key picture when one is due). False,
    // with the reason, when the encoder cannot be opened or fails; the next
    // picture is then a key picture.
    bool encode(const PictureContent& content, media::EncodedPicture& out, std::string& error);

    CameraControl camera;

private:
    media::EncoderSettings settings_;
    media::VideoEncoder encoder_;
    std::vector<uint8_t> picture_;
    int width_, height_, framesPerSecond_;
    int framesSinceKey_ = 0;
    bool keyWanted_ = true;
    std::vector<media::EncodedPicture> loop_;
    size_t loopPosition_ = 0;
};

}  // namespace orvix::sim
