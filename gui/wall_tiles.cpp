#include "gui/wall_tiles.h"

#include <QMetaObject>
#include <map>

namespace orvix {

std::string wallRecorderKey(uint32_t recorderId) { return std::to_string(recorderId); }

WallTiles::WallTiles(RecorderPool& pool, NameLookup names, QObject* parent)
    : QObject(parent), pool_(pool), names_(std::move(names)) {
    for (int i = 0; i < kMaxTiles; ++i) {
        Tile& tile = tiles_[static_cast<size_t>(i)];
        tile.target = std::make_unique<SlotTarget>(feed_, i);
        tile.silentSince.start();
    }
    connect(&feed_, &GridFeed::picturesReady, this, &WallTiles::onPictures);
    second_.setInterval(1000);
    connect(&second_, &QTimer::timeout, this, &WallTiles::onSecond);
    second_.start();
}

WallTiles::~WallTiles() {
    // No picture or listener call runs into this page once its handles are gone.
    for (Tile& tile : tiles_) tile.handle.release();
}

void WallTiles::setArrangement(WallArrangement arrangement) {
    arrangement_ = arrangement;
    for (int i = count(); i < kMaxTiles; ++i) setTile(i, WallTileChoice());
    emit tilesChanged();
}

void WallTiles::setTile(int index, const WallTileChoice& wanted) {
    if (!valid(index) || wanted.camera < 0 || wanted.camera >= kMaxChannels) return;
    WallTileChoice choice = wanted.empty() ? WallTileChoice() : wanted;
    const std::optional<QString> name = choice.empty() ? std::nullopt : names_(choice.recorderId);
    if (name) choice.recorderName = *name;
    Tile& tile = tiles_[static_cast<size_t>(index)];
    const bool listed = choice.empty() || name.has_value();
    const bool watched = choice.empty() || !listed || tile.handle;
    if (tile.choice == choice && tile.listed == listed && watched) return;
    tile.listed = listed;
    if (!choice.empty() && listed) {
        watch(index, choice);
    } else {
        tile.handle.release();
    }
    tile.choice = choice;
    feed_.clearPicture(index);
    tile.lastSerial = 0;
    tile.silentSince.restart();
    tile.state = tile.handle ? tile.handle.state() : RecorderState();
    emit tilesChanged();
}

void WallTiles::watch(int index, const WallTileChoice& choice) {
    Tile& tile = tiles_[static_cast<size_t>(index)];
    const std::string key = wallRecorderKey(choice.recorderId);
    // Targets and listener go along with a moved handle.
    if (tile.handle && tile.handle.moveTo(key, choice.camera)) return;
    tile.handle = pool_.watch(key, choice.camera);
    if (!tile.handle) return;
    tile.handle.setPictures(tile.target.get());
    // On the recorder's thread: only a look at the states is queued (by
    // name, so that Qt alone builds the call).
    tile.handle.setStateListener(
        [this](const RecorderState&) { QMetaObject::invokeMethod(this, "lookAtStates", Qt::QueuedConnection); });
}

WallTileChoice WallTiles::tile(int index) const {
    return valid(index) ? tiles_[static_cast<size_t>(index)].choice : WallTileChoice();
}

std::vector<WallTileChoice> WallTiles::tiles() const {
    std::vector<WallTileChoice> choices;
    for (int i = 0; i < count(); ++i) choices.push_back(tiles_[static_cast<size_t>(i)].choice);
    return choices;
}

void WallTiles::refreshRecorders() {
    for (int i = 0; i < kMaxTiles; ++i) setTile(i, tiles_[static_cast<size_t>(i)].choice);
}

PoolHandle* WallTiles::handle(int index) {
    if (!valid(index)) return nullptr;
    Tile& tile = tiles_[static_cast<size_t>(index)];
    return tile.handle ? &tile.handle : nullptr;
}

RecorderState WallTiles::state(int index) const {
    return valid(index) ? tiles_[static_cast<size_t>(index)].state : RecorderState();
}

TileWords WallTiles::words(int index) const {
    if (!valid(index) || tiles_[static_cast<size_t>(index)].choice.empty()) return {};
    const Tile& tile = tiles_[static_cast<size_t>(index)];
    WallTileFacts facts;
    facts.recorderName = tile.choice.recorderName;
    facts.listed = tile.listed;
    facts.state = tile.state;
    facts.camera = tile.choice.camera;
    facts.cameras = tile.cameras;
    facts.hasPicture = tile.lastSerial != 0;
    facts.silentMs = tile.state.phase == RecorderPhase::Streaming ? tile.silentSince.elapsed() : 0;
    return wallTileWords(facts, RecorderState::Clock::now());
}

void WallTiles::lookAtStates() {
    bool changed = false;
    for (int i = 0; i < kMaxTiles; ++i) {
        Tile& tile = tiles_[static_cast<size_t>(i)];
        if (!tile.handle) continue;
        const RecorderState state = tile.handle.state();
        if (state == tile.state) continue;
        // A picture from before the recorder went away is not shown again;
        // streaming anew, the silence counts from now.
        if (state.phase != RecorderPhase::Streaming) {
            feed_.clearPicture(i);
            tile.lastSerial = 0;
        }
        if (state.phase != tile.state.phase) tile.silentSince.restart();
        tile.state = state;
        changed = true;
    }
    if (changed) emit tilesChanged();
}

void WallTiles::onPictures() {
    for (int i = 0; i < count(); ++i) {
        Tile& tile = tiles_[static_cast<size_t>(i)];
        const uint64_t serial = feed_.latest(i).serial;
        if (serial == tile.lastSerial) continue;
        // The first picture, or the first after a silence, changes the words.
        const bool wasQuiet = tile.lastSerial == 0 || tile.silentSince.elapsed() >= kNoVideoNoticeMs;
        tile.lastSerial = serial;
        tile.silentSince.restart();
        if (wasQuiet) emit tilesChanged();
    }
}

void WallTiles::onSecond() {
    std::map<std::string, int> cameras;
    for (const RecorderStatus& status : pool_.status()) cameras[status.name] = status.cameras;
    for (Tile& tile : tiles_) {
        if (!tile.choice.empty()) tile.cameras = cameras[wallRecorderKey(tile.choice.recorderId)];
    }
    lookAtStates();
    // Countdowns and silences change by the second.
    emit tilesChanged();
}

}  // namespace orvix
