// One page of the wall: the camera each tile shows (a recorder of the
// device list, by its id, and a channel), a recorder-pool handle for it,
// the tiles' pictures in a GridFeed (one slot per tile: the tile's index is
// the feed's channel), and what each tile says about its camera. A tile
// that shows another camera moves its handle (one request to each of the
// two recorders). A page that is not shown yet (a tour's next) decodes all
// the same, so that its pictures are there when it shows.
//
// GUI thread, apart from what the pool calls: the pictures (into the
// feed) and the state listeners, which only queue a look at the states.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gui/grid_feed.h"
#include "gui/wall_layout.h"
#include "gui/wall_tile_choice.h"
#include "gui/wall_tile_words.h"
#include "session/recorder_pool.h"

namespace orvix {

// The pool's name for a recorder of the device list: its id, so that a
// renamed recorder keeps its tiles and its connection.
std::string wallRecorderKey(uint32_t recorderId);

class WallTiles : public QObject {
    Q_OBJECT

public:
    static constexpr int kMaxTiles = kMaxChannels;

    // A recorder's name in the device list; nullopt when it is not there.
    using NameLookup = std::function<std::optional<QString>(uint32_t recorderId)>;

    WallTiles(RecorderPool& pool, NameLookup names, QObject* parent = nullptr);
    ~WallTiles() override;
    WallTiles(const WallTiles&) = delete;
    WallTiles& operator=(const WallTiles&) = delete;

    // Tiles beyond the arrangement's count are cleared.
    void setArrangement(WallArrangement arrangement);
    WallArrangement arrangement() const { return arrangement_; }
    int count() const { return wallTileCount(arrangement_); }

    // Shows `choice` in tile `index`; out of range or a camera beyond 16:
    // nothing changes.
    void setTile(int index, const WallTileChoice& choice);
    WallTileChoice tile(int index) const;
    std::vector<WallTileChoice> tiles() const;
    // The device list changed: names follow renames, tiles of recorders
    // gone let their cameras go, those of recorders back watch again.
    void refreshRecorders();

    GridFeed& feed() { return feed_; }
    TileWords words(int index) const;
    RecorderState state(int index) const;
    // The tile's handle; null for an empty tile or a recorder not listed.
    PoolHandle* handle(int index);

signals:
    // What tiles say may have changed (states, countdowns, silences).
    void tilesChanged();

private:
    Q_INVOKABLE void lookAtStates();
    void onPictures();
    void onSecond();
    void watch(int index, const WallTileChoice& choice);
    bool valid(int index) const { return index >= 0 && index < kMaxTiles; }

    // A tile's pictures into its slot of the feed.
    class SlotTarget final : public PictureTarget {
    public:
        SlotTarget(GridFeed& feed, int slot) : feed_(feed), slot_(slot) {}
        void picture(const ChannelPicture& picture) override { feed_.picture(slot_, picture); }
        std::pair<int, int> pictureSize(int width, int height) override {
            return feed_.pictureSize(slot_, width, height);
        }

    private:
        GridFeed& feed_;
        const int slot_;
    };

    struct Tile {
        WallTileChoice choice;
        bool listed = true;
        PoolHandle handle;
        std::unique_ptr<SlotTarget> target;
        RecorderState state;
        int cameras = 0;
        uint64_t lastSerial = 0;
        QElapsedTimer silentSince;  // the last picture, or the start of streaming
    };

    RecorderPool& pool_;
    NameLookup names_;
    GridFeed feed_;
    WallArrangement arrangement_ = WallArrangement::Four;
    std::array<Tile, kMaxTiles> tiles_;
    QTimer second_;
};

}  // namespace orvix
