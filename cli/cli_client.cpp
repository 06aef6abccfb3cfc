#include "cli/cli_client.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/bitmap_font.h"
#include "cli/cli_renderer.h"
#include "cli/grid_pictures.h"
#include "cli/mosaic.h"
#include "cli/png_writer.h"
#include "cli/segmented_recording.h"
#include "core/text_codec.h"
#include "link/link_end.h"
#include "link/link_status.h"
#include "link/reconnect_policy.h"
#include "media/calendar_time.h"
#include "media/video_codec.h"
#include "media/video_decoder.h"
#include "recording/stream_recorder.h"
#include "session/message_loop.h"
#include "session/renderer_switch.h"
#include "session/video_session.h"

namespace orvix::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kTimerPeriod = std::chrono::milliseconds(4000);
constexpr auto kLoopSlice = std::chrono::milliseconds(20);

const char* ptzName(int action) {
    static const char* const kNames[] = {"stop", "up", "down", "left", "right", "goto",
                                         "set", "zoom-out", "zoom-in", "focus-in", "focus-out"};
    return action >= 0 && action <= 10 ? kNames[action] : "?";
}

class ClientRun final : public SessionEvents, public LoopHandler {
public:
    ClientRun(const CliOptions& options, std::ostream& out, std::ostream& err, const std::atomic<bool>* interrupt)
        : options_(options), out_(out), err_(err), interrupt_(interrupt), loop_(this) {
        const bool several = options.channels.size() > 1;
        if (!options.recordPath.empty() && !several) recorder_ = std::make_unique<SegmentedRecording>(options.recordPath);
        if (!options.recordPath.empty() && several)
            gridRecorder_ = std::make_unique<SegmentedGridRecording>(options.recordPath, options.channels);
        renderer_ = std::make_unique<CliRenderer>(loop_, !options.snapshotPath.empty(), recorder_.get());
        renderers_.setRenderers(renderer_.get(), nullptr);
        renderers_.setFlag(RendererSwitch::kSoftwareFlag);
        if (several) grid_ = std::make_unique<GridPictures>(loop_, !options.snapshotPath.empty(), gridRecorder_.get());
    }
    ~ClientRun() override { destroyRecord(record_); }

    int run();

    // SessionEvents, on this thread.
    void statusChanged() override { printStatus(); }
    void connected(const RecorderDescription& recorder) override;
    void rangeKnown(RangeKind kind, const TimeRange& range) override;
    void rangeRefused(RangeKind kind, const std::optional<TimeRange>& values) override;
    void networkError() override { networkError_ = true; }
    void linkEnded(const LinkEnd& end) override {
        if (!goalReached()) finish(kExitNetworkError, end.text);
    }
    void reconnectScheduled(const LinkEnd& end, int delayMs, int attempt) override;
    void onPicture(const PictureEvent& picture) override;

private:
    void step();
    void tellOversized();
    void checkFailures();
    void advance();
    void finish(int code, std::string reason = {});
    void printStatus();
    void finishOutputs();
    // The pictures were counted (by every channel of a set), the range
    // that is the goal has come, or the span has been played.
    bool goalReached() const {
        if (options_.spanEnd) return searchSent_ && session_->spanEnded();
        return options_.rangeIsGoal() ? rangeAnswered_ : fewestCounted() >= options_.frames;
    }
    int fewestCounted() const;
    void finishSnapshot();
    void finishMosaic();
    void outputFailed(const std::string& reason);
    // The first answer to the range request: printed once.
    bool takeRangeAnswer();

    const CliOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    const std::atomic<bool>* interrupt_;
    MessageLoop loop_;
    std::unique_ptr<SegmentedRecording> recorder_;
    std::unique_ptr<SegmentedGridRecording> gridRecorder_;  // several channels: one track each
    std::unique_ptr<CliRenderer> renderer_;
    // Several channels at once: their pictures come from the decode workers.
    std::unique_ptr<GridPictures> grid_;
    RendererSwitch renderers_;
    DeviceRecord* record_ = createRecord();
    std::unique_ptr<VideoSession> session_;

    std::optional<int> exitCode_;
    std::string reason_;
    int printedStatus_ = -1;
    std::string printedText_;
    bool networkError_ = false;

    bool commandsSent_ = false;
    bool rangeRequested_ = false;
    bool rangeAnswered_ = false;
    bool rangeHandled_ = false;
    bool searchSent_ = false;
    bool sawLive_ = false;
    uint32_t liveNow_ = 0;  // latest live picture time before the search

    int counted_ = 0;
    int lastWidth_ = 0;
    int lastHeight_ = 0;
    int lastChannel_ = -1;
    int reconnects_ = 0;
    struct ChannelCount {
        int counted = 0;
        int width = 0;
        int height = 0;
        bool oversized = false;  // too large for the session: not part of the goal
    };
    std::array<ChannelCount, 16> perChannel_{};
};

int ClientRun::fewestCounted() const {
    if (grid_ == nullptr) return counted_;
    int fewest = counted_;
    int shown = 0;
    for (int i = 0; i < options_.channels.size(); ++i) {
        const ChannelCount& c = perChannel_[static_cast<size_t>(options_.channels.at(i))];
        if (c.oversized) continue;
        fewest = std::min(fewest, c.counted);
        ++shown;
    }
    return shown > 0 ? fewest : 0;
}

int ClientRun::run() {
    fillRecord(*record_, options_);
    record_->currentChannel.store(options_.channel - 1);
    session_ = std::make_unique<VideoSession>(loop_, *this);
    session_->overlay().language.store(0);  // the numeric date text the renderer reads back
    session_->setIFrameOnly(options_.iframeOnly);
    if (options_.reconnect) {
        ReconnectPolicy policy = reconnectPolicyFromEnvironment(true);
        policy.maxAttempts = options_.maxReconnects;
        session_->setReconnect(policy);
    }
    if (grid_ != nullptr) {
        session_->setChannelEvents(grid_.get());
        session_->setChannels(options_.channels);
    }
    if (session_->setUp(record_, renderers_) != VideoSession::SetUpResult::Started) {
        err_ << "orvix-cli: the connection could not be set up\n";
        return kExitNetworkError;
    }
    if (recorder_ != nullptr) session_->setDecodeTap(recorder_.get());
    // The live pictures before the playback are not part of the span.
    if (options_.spanEnd) session_->setSpan(*options_.searchTime, *options_.spanEnd);
    session_->startLink();

    const auto deadline = options_.deadline.value_or(Clock::now() + std::chrono::seconds(options_.timeoutSeconds));
    auto nextTick = Clock::now() + kTimerPeriod;
    while (!exitCode_) {
        const auto now = Clock::now();
        loop_.runUntil(std::min({now + kLoopSlice, deadline, nextTick}), false);
        if (exitCode_) break;
        if (interrupt_ != nullptr && interrupt_->load()) {
            finish(kExitInterrupted, "interrupted");
            break;
        }
        step();
        if (Clock::now() >= nextTick) {
            session_->timerTick();
            nextTick += kTimerPeriod;
        }
        if (!exitCode_ && Clock::now() >= deadline) {
            finish(kExitTimeout, "no goal within " + std::to_string(options_.timeoutSeconds) + " s (" +
                                     std::to_string(fewestCounted()) + " of " + std::to_string(options_.frames) +
                                     " pictures; status " + std::to_string(session_->status()) + " " +
                                     session_->statusLine() + ")");
        }
    }

    // The stop takes its second; notifications the link thread sends
    // meanwhile are still handled here.
    session_->disconnect([this](int milliseconds) { loop_.runFor(milliseconds); });
    printStatus();
    session_->setDecodeTap(nullptr);
    session_->tearDown();
    finishOutputs();

    if (grid_ == nullptr) {
        out_ << "decoded " << counted_ << " frames " << lastWidth_ << "x" << lastHeight_ << " channel "
             << (lastChannel_ >= 0 ? lastChannel_ + 1 : options_.channel) << "\n";
    } else {
        for (int i = 0; i < options_.channels.size(); ++i) {
            const int channel = options_.channels.at(i);
            const ChannelCount& c = perChannel_[static_cast<size_t>(channel)];
            out_ << "decoded " << c.counted << " frames " << c.width << "x" << c.height << " channel " << channel + 1;
            const uint64_t dropped = session_->droppedPackets(channel);
            if (dropped != 0) out_ << " dropped " << dropped;
            out_ << "\n";
        }
    }
    out_.flush();
    if (!reason_.empty()) err_ << "orvix-cli: " << reason_ << "\n";
    return *exitCode_;
}

void ClientRun::step() {
    tellOversized();
    checkFailures();
    if (!exitCode_) advance();
}

void ClientRun::tellOversized() {
    if (grid_ == nullptr) return;
    for (const GridPictures::Oversized& o : grid_->takeOversized()) {
        perChannel_[static_cast<size_t>(o.channel)].oversized = true;
        err_ << "orvix-cli: channel " << o.channel + 1 << ": pictures of " << o.width << "x" << o.height
             << " exceed what the session may hold; not decoded" << (gridRecorder_ ? ", still recorded" : "") << "\n";
    }
}

void ClientRun::checkFailures() {
    // A goal reached before a failure still counts (advance() finishes).
    if (goalReached()) return;
    // The link's own account of its end comes first; it names the cause
    // (closed, reset, refused, no answer, ...). With reconnect on, an end is
    // final only when the link says so (onLinkEnded).
    const LinkEnd end = session_->linkEnd();
    if (end.ended() && !options_.reconnect) return finish(kExitNetworkError, end.text);
    if (networkError_) return finish(kExitNetworkError, "Network Error occurred");
    const int status = session_->status();
    if (status == kStatusLoginFail) return finish(kExitLoginRefused, "login refused: " + session_->statusLine());
}

void ClientRun::advance() {
    const bool streaming = session_->streaming();
    if (streaming && !commandsSent_) {
        commandsSent_ = true;
        if (options_.ptz) {
            session_->ptz(options_.ptz->action, options_.ptz->preset);
            out_ << "ptz " << ptzName(options_.ptz->action) << " preset " << options_.ptz->preset << "\n";
        }
        if (options_.alarm) {
            if (options_.alarm->on) {
                session_->alarmOn(options_.alarm->output, options_.alarm->seconds);
                out_ << "alarm on output " << options_.alarm->output << " seconds " << options_.alarm->seconds << "\n";
            } else {
                session_->alarmOff();
                out_ << "alarm off\n";
            }
        }
        if (options_.recordInfo) {
            session_->requestRecordInfo();
            rangeRequested_ = true;
        }
    }
    if (rangeAnswered_ && !rangeHandled_) {
        rangeHandled_ = true;
        // The session asks for the channel's video again by itself.
        if (options_.rangeIsGoal()) return finish(kExitGoalReached);
    }
    const bool rangeDone = !options_.recordInfo || rangeHandled_;
    if (options_.searchTime && !searchSent_ && streaming && rangeDone && sawLive_) {
        session_->startSearch(*options_.searchTime);
        searchSent_ = true;
        out_ << "search from " << formatRecorderTime(*options_.searchTime) << " " << *options_.searchTime << "\n";
    }
    if (options_.spanEnd || !options_.rangeIsGoal()) {
        if (goalReached()) finish(kExitGoalReached);
    }
}

void ClientRun::connected(const RecorderDescription& recorder) {
    const VideoCodec codec = codecForModel(recorder.modelIndex);
    if (recorder_ != nullptr) recorder_->setCodec(codec);
    if (gridRecorder_ != nullptr) gridRecorder_->setCodec(codec);
}

bool ClientRun::takeRangeAnswer() {
    if (!rangeRequested_ || rangeAnswered_) return false;
    rangeAnswered_ = true;
    return true;
}

void ClientRun::rangeKnown(RangeKind, const TimeRange& range) {
    if (!takeRangeAnswer()) return;
    out_ << "record range " << formatRecorderTime(range.start) << " " << formatRecorderTime(range.end) << " "
         << range.start << " " << range.end << "\n";
}

void ClientRun::rangeRefused(RangeKind, const std::optional<TimeRange>&) {
    if (takeRangeAnswer()) out_ << "no record range\n";
}

void ClientRun::onPicture(const PictureEvent& picture) {
    if (exitCode_) return;
    bool counts = true;
    bool playback = false;
    if (options_.searchTime) {
        if (!searchSent_) {
            // Live video before the search: its time is the recorder's
            // present, which every recorded picture comes before.
            if (picture.timeKnown) {
                liveNow_ = std::max(liveNow_, picture.seconds);
                sawLive_ = true;
            }
            counts = false;
        } else {
            // Live pictures already handed over when the search began are
            // not part of the playback.
            playback = picture.timeKnown && picture.seconds < liveNow_;
            counts = playback;
        }
    }
    // A channel of a set that has its pictures counts no more, so each
    // channel reports exactly the number asked for while the slowest catches up.
    if (counts && grid_ != nullptr && !options_.rangeIsGoal() && picture.channel >= 0 && picture.channel < 16 &&
        perChannel_[static_cast<size_t>(picture.channel)].counted >= options_.frames) {
        counts = false;
    }
    int number = 0;
    if (counts) {
        ++counted_;
        lastWidth_ = picture.width;
        lastHeight_ = picture.height;
        lastChannel_ = picture.channel;
        number = counted_;
        if (grid_ != nullptr && picture.channel >= 0 && picture.channel < 16) {
            ChannelCount& c = perChannel_[static_cast<size_t>(picture.channel)];
            number = ++c.counted;
            c.oversized = false;
            c.width = picture.width;
            c.height = picture.height;
        }
    }
    if (options_.verbose) {
        if (counts) {
            out_ << "picture " << number;
        } else {
            out_ << "skipped";
        }
        out_ << " " << picture.width << "x" << picture.height << " channel " << picture.channel + 1 << " time ";
        if (picture.timeKnown) {
            out_ << formatRecorderTime(picture.seconds) << " " << picture.seconds;
        } else {
            out_ << "unknown";
        }
        out_ << (playback ? " playback" : " live") << "\n";
        // Whoever follows the output (a watcher, a test) sees each picture
        // as it comes, not when the next status line flushes.
        out_.flush();
    }
}

void ClientRun::reconnectScheduled(const LinkEnd& end, int, int) {
    if (exitCode_) return;
    ++reconnects_;
    if (options_.maxReconnects > 0 && reconnects_ > options_.maxReconnects) {
        finish(kExitNetworkError, end.text + " (after " + std::to_string(options_.maxReconnects) + " reconnects)");
        return;
    }
    out_ << "reconnect " << reconnects_ << " after " << linkEndCauseName(end.cause) << "\n";
    out_.flush();
    // The next connection is recorded into a file of its own.
    if (recorder_ != nullptr) recorder_->nextSegment();
    if (gridRecorder_ != nullptr) gridRecorder_->nextSegment();
}

void ClientRun::finish(int code, std::string reason) {
    if (exitCode_) return;
    exitCode_ = code;
    reason_ = std::move(reason);
    renderer_->freeze();
    if (grid_ != nullptr) grid_->freeze();
}

void ClientRun::printStatus() {
    const int status = session_->status();
    const std::string text = session_->statusLine();
    if (status == printedStatus_ && text == printedText_) return;
    printedStatus_ = status;
    printedText_ = text;
    out_ << "status " << status << " " << text << "\n";
    out_.flush();
}

void ClientRun::outputFailed(const std::string& reason) {
    // A run that failed already has its one reason; an output missing after
    // that is part of the same failure.
    if (*exitCode_ == kExitGoalReached) {
        exitCode_ = kExitOutputFailed;
        reason_ = reason;
    }
}

void ClientRun::finishOutputs() {
    if (recorder_ != nullptr) {
        std::string error;
        if (!recorder_->finish(error)) outputFailed("recording: " + error);
        if (recorder_->endedAtCodecChange()) out_ << "recording ended where the recorder changed codec\n";
    }
    if (gridRecorder_ != nullptr) {
        std::string error;
        if (!gridRecorder_->finish(error)) outputFailed("recording: " + error);
        if (gridRecorder_->endedAtCodecChange()) out_ << "recording ended where the recorder changed codec\n";
    }
    if (options_.snapshotPath.empty()) return;
    if (grid_ != nullptr) {
        finishMosaic();
    } else {
        finishSnapshot();
    }
}

void ClientRun::finishSnapshot() {
    KeptPicture kept = renderer_->keptPicture();
    if (kept.pixels.empty()) {
        outputFailed("snapshot: no picture was decoded");
        return;
    }
    PictureView view{kept.pixels.data(), kept.width, kept.height, kept.width * 4};
    drawOverlay(view, kept.overlay);
    std::string error;
    if (!writePng(options_.snapshotPath, view, error)) outputFailed("snapshot: " + error);
}

void ClientRun::finishMosaic() {
    std::vector<ChannelKept> tiles;
    for (int i = 0; i < options_.channels.size(); ++i) tiles.push_back(grid_->kept(options_.channels.at(i)));
    Mosaic mosaic = composeMosaic(tiles);
    if (mosaic.pixels.empty()) {
        outputFailed("snapshot: no picture was decoded for channel " + std::to_string(options_.channels.first() + 1));
        return;
    }
    // Each tile carries the overlay the single view would draw on it.
    DisplayFrame frame;
    frame.name.assign(record_->name.view());
    frame.width = mosaic.tileWidth;
    frame.height = mosaic.tileHeight;
    frame.mode.store(options_.searchTime ? 1 : 0);
    OverlayStats stats;
    stats.statistics = session_->overlay().statistics.load();
    const VideoSession::Rates rates = session_->rates();
    stats.framesPerSecond = rates.framesPerSecond;
    stats.kilobytesPerSecond = rates.kilobytesPerSecond;
    const size_t rowBytes = static_cast<size_t>(mosaic.width) * 4;
    for (size_t i = 0; i < tiles.size(); ++i) {
        if (tiles[i].pixels.empty()) continue;
        frame.channel.store(options_.channels.at(static_cast<int>(i)));
        formatDateTime(secondsToCalendar(static_cast<int32_t>(tiles[i].seconds)), 0, frame.dateText, kDateTextChars);
        const int left = static_cast<int>(i) % mosaic.columns * mosaic.tileWidth;
        const int top = static_cast<int>(i) / mosaic.columns * mosaic.tileHeight;
        PictureView tile{mosaic.pixels.data() + rowBytes * static_cast<size_t>(top) + static_cast<size_t>(left) * 4,
                         mosaic.tileWidth, mosaic.tileHeight, static_cast<int>(rowBytes)};
        drawOverlay(tile, buildOverlay(frame, RendererKind::Software, stats));
    }
    PictureView view{mosaic.pixels.data(), mosaic.width, mosaic.height, static_cast<int>(rowBytes)};
    std::string error;
    if (!writePng(options_.snapshotPath, view, error)) outputFailed("snapshot: " + error);
}

}  // namespace

int runClient(const CliOptions& options, std::ostream& out, std::ostream& err, const std::atomic<bool>* interrupt) {
    ClientRun run(options, out, err, interrupt);
    return run.run();
}

}  // namespace orvix::cli
