#include "session/display_thread.h"

#include "link/frame_kind.h"
#include "media/access_unit.h"
#include "media/calendar_time.h"
#include "session/frame_ring_consumer.h"

namespace orvix {

DisplayThread::DisplayThread(RecorderConnection& connection, VideoDecoder& decoder, RendererSwitch& renderers,
                             const OverlaySettings& settings)
    : connection_(connection), decoder_(decoder), renderers_(renderers), settings_(settings) {}

DisplayThread::~DisplayThread() { join(); }

bool DisplayThread::start() {
    if (thread_.joinable() || connection_.shared == nullptr) return false;
    thread_ = std::thread([this] { run(); });
    return true;
}

void DisplayThread::join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void DisplayThread::run() {
    consumeFrameRing(
        connection_,
        [this](const uint8_t* data, size_t length) {
            // Packets still waiting when the link ended are not shown: the
            // window shows the status lines in their place.
            if (!connection_.end.ended()) process(data, length);
        },
        "DISPLAY_THREAD_END \r\n");
}

void DisplayThread::process(const uint8_t* slot, size_t length) {
    const DeviceRecord* record = connection_.record;
    if (record == nullptr) return;
    const FrameKind kind = frameKindForModel(record->modelIndex.load());
    AccessUnit unit;
    const AccessUnitStep step =
        readAccessUnit(slot, length, kind, record->currentChannel.load(), connection_.rawConfig, unit);
    if (step == AccessUnitStep::NoParameterSet) decoder_.reportMissingParameterSet(unit.resolutionCode);
    if (step != AccessUnitStep::Ready) return;
    // Before decoding: the decoder's tap reads it for the packet.
    connection_.shared->shownSeconds.store(unit.recorderSeconds);
    if (!decoder_.decodeAccessUnit(unit, connection_.rawConfig)) return;
    show(overlaySeconds(unit.recorderSeconds));
}

void DisplayThread::show(int32_t seconds) {
    DisplayFrame& frame = connection_.display;
    formatDateTime(secondsToCalendar(seconds), settings_.language.load(), frame.dateText, kDateTextChars);
    const LinkShared& shared = *connection_.shared;
    OverlayStats stats;
    stats.statistics = settings_.statistics.load();
    stats.framesPerSecond = shared.framesPerSecond.load();
    stats.kilobytesPerSecond = shared.kilobytesPerSecond.load();
    renderers_.present(frame, stats);
}

}  // namespace orvix
