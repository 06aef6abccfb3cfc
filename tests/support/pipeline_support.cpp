#include "tests/support/pipeline_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "link/wire_format.h"
#include "media/calendar_time.h"

namespace orvix::test {
namespace {

constexpr auto kHangGuard = std::chrono::seconds(120);
constexpr uint8_t kEndMarker[4] = {0xAB, 0xCD, 0xEF, 0x01};

}  // namespace

Packet headerPacket(int headerBytes, const Packet& payload, uint32_t seconds, int channel, bool key) {
    Packet packet(static_cast<size_t>(headerBytes), 0);
    writeLe32(packet.data() + 4, seconds);
    packet[8] = static_cast<uint8_t>((channel & 0x0F) | ((key ? 1 : 2) << 4));
    packet.insert(packet.end(), payload.begin(), payload.end());
    packet.insert(packet.end(), std::begin(kEndMarker), std::end(kEndMarker));
    return packet;
}

Packet rawPacket(const Packet& payload, uint32_t secondsSince2008, int channel, bool key, uint8_t coding) {
    Packet packet(32, 0);
    packet[4] = static_cast<uint8_t>(channel);
    packet[5] = key ? 0 : 1;
    writeLe32(packet.data() + 8, secondsSince2008);
    writeLe32(packet.data() + 12, static_cast<uint32_t>(payload.size()));
    packet[20] = coding;
    packet.insert(packet.end(), payload.begin(), payload.end());
    packet.insert(packet.end(), std::begin(kEndMarker), std::end(kEndMarker));
    return packet;
}

bool RecordingRenderer::present(const DisplayFrame& frame, const OverlayRows& overlay) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++calls_;
    if (usable_) {
        Shown shown{RgbImage{frame.width, frame.height, {}}, overlay};
        if (frame.picture != nullptr) {
            for (int y = 0; y < frame.height; ++y) {
                const uint8_t* row = frame.picture + static_cast<size_t>(y) * frame.rowBytes;
                shown.picture.bgra.insert(shown.picture.bgra.end(), row, row + frame.width * 4);
            }
        }
        shown_.push_back(std::move(shown));
    }
    cv_.notify_all();
    return usable_;
}

bool RecordingRenderer::waitFor(size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, kHangGuard, [&] { return shown_.size() >= count; });
}

std::vector<RecordingRenderer::Shown> RecordingRenderer::shown() {
    std::lock_guard<std::mutex> lock(mutex_);
    return shown_;
}

size_t RecordingRenderer::presentCalls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

Pipeline::Pipeline(int32_t model, std::u16string recorderName) : record(createRecord()), name(std::move(recorderName)) {
    record->modelIndex = model;
    setText(record->name, name);
    EXPECT_TRUE(connection.ring.allocate());
    connection.shared = &shared;
    connection.record = record;
    connection.display.name.assign(record->name.view());
    decoder.attachFrame(&connection.display);
    renderers.setRenderers(&renderer, nullptr);
    renderers.setFlag(RendererSwitch::kSoftwareFlag);
    settings.language = kLanguageEnglishUs;
}

Pipeline::~Pipeline() {
    stop();
    decoder.close();
    destroyRecord(record);
}

void Pipeline::start() {
    decoder.open(720, 576, *record);
    shared.threadState = kLinkReady;
    ASSERT_TRUE(thread.start());
    connection.ring.signalSlotFree();
}

void Pipeline::push(const Packet& packet) {
    EXPECT_TRUE(connection.ring.push(packet.data(), packet.size(), PushDiscipline::WaitWhenFull));
}

bool Pipeline::waitTaken(uint32_t count) {
    const auto end = std::chrono::steady_clock::now() + kHangGuard;
    while (shared.framesCounter.load() < count) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void Pipeline::stop() {
    shared.threadState = kLinkStopped;
    connection.ring.signalFrameReady();
    thread.join();
}

}  // namespace orvix::test
