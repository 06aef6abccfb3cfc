#include "gui/wall_tile_words.h"

#include <chrono>

namespace orvix {
namespace {

// Whole seconds until `at`, rounded up, never below 0.
int64_t secondsUntil(RecorderState::Clock::time_point at, RecorderState::Clock::time_point now) {
    const auto left = std::chrono::ceil<std::chrono::seconds>(at - now).count();
    return left > 0 ? left : 0;
}

QString text(const std::string& utf8) { return QString::fromStdString(utf8); }

}  // namespace

TileWords wallTileWords(const WallTileFacts& facts, RecorderState::Clock::time_point now) {
    if (!facts.listed) return {QStringLiteral("Recorder %1 is not in the device list").arg(facts.recorderName), {}};
    const RecorderState& state = facts.state;
    switch (state.phase) {
    case RecorderPhase::Idle:
    case RecorderPhase::Connecting:
        return {QStringLiteral("Connecting"), {}};
    case RecorderPhase::Reconnecting:
        return {QStringLiteral("Reconnecting in %1 s").arg(secondsUntil(state.reconnectAt, now)), text(state.cause)};
    case RecorderPhase::LoginRefused:
        return {QStringLiteral("Login refused"), {}};
    case RecorderPhase::Unreachable: {
        // A recorder that answered and then failed was reached all right.
        TileWords words{(state.reached ? QStringLiteral("Recorder failed: ") : QStringLiteral("Recorder unreachable: ")) +
                            text(state.cause),
                        {}};
        if (state.attempt > 0) {
            words.detail = QStringLiteral("Trying again in %1 s").arg(secondsUntil(state.reconnectAt, now));
        }
        return words;
    }
    case RecorderPhase::Streaming:
        break;
    }
    if (facts.cameras > 0 && facts.camera >= facts.cameras) {
        return {QStringLiteral("The recorder has no camera %1").arg(facts.camera + 1), {}};
    }
    if (facts.silentMs >= kNoVideoNoticeMs) return {QStringLiteral("No video for %1 s").arg(facts.silentMs / 1000), {}};
    return {facts.hasPicture ? QString() : QStringLiteral("Connecting"), {}};
}

}  // namespace orvix
