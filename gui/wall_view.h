// The wall's tiles on the screen: a page's arrangement over the widget (or
// one tile alone over all of it), each picture in its display shape with
// the compact overlay (recorder, camera, the recorder's time), and where a
// tile has no live picture, what it says instead. A click selects a tile
// (outlined), a double-click asks for it alone; the context menu and
// cameras dropped on a tile are passed on. Only tiles with a new picture
// or new words are painted again. GUI thread.
#pragma once

#include <QPointer>
#include <QWidget>
#include <array>
#include <bitset>
#include <cstdint>
#include <vector>

#include "gui/presented_counter.h"
#include "gui/tile_overlay.h"
#include "gui/wall_tiles.h"

class QMimeData;

namespace orvix {

// What is dragged onto a tile: a camera of a recorder, or (camera -1)
// every camera of it.
QMimeData* wallCameraMimeData(uint32_t recorderId, int camera);
bool readWallCameraMimeData(const QMimeData* data, uint32_t& recorderId, int& camera);

class WallView : public QWidget {
    Q_OBJECT

public:
    explicit WallView(QWidget* parent = nullptr);

    // The page shown (not owned; null: nothing). Its tiles' pictures are
    // scaled to this view's tiles from now on.
    void setPage(WallTiles* page);
    WallTiles* page() const { return page_; }

    int selectedTile() const { return selected_; }
    // False when the page has no such tile.
    bool selectTile(int index);
    // One tile over the whole view, and back to them all.
    void showAlone(int index);
    void showAll();
    int aloneTile() const { return alone_; }

    // A tile's rectangle in this widget (empty when it is not shown), and
    // where its picture is drawn (empty without one).
    QRect tileRect(int index) const;
    QRect pictureRect(int index) const;
    TileTexts textsFor(int index) const;
    // Scales `page`'s pictures to the tiles this view would show it with.
    void giveTileAreas(WallTiles& page) const;

    void setLanguage(uint16_t language);
    void setRecordingMark(int index, bool on);

signals:
    void tileSelected(int index);
    void tileDoubleClicked(int index);
    void tileMenuRequested(int index, const QPoint& globalPosition);
    // `camera` -1: every camera of the recorder.
    void cameraDropped(int index, uint32_t recorderId, int camera);
    // The mouse did something on the tiles (a tour waits meanwhile).
    void interacted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void onPicturesReady();
    void onTilesChanged();
    int tileAtPoint(const QPoint& point) const;
    QRect innerRect(int index) const;
    void paintTile(QPainter& painter, int index);

    struct Shown {
        TileOverlay overlay;
        uint64_t serial = 0;
        TileWords words;
        WallTileChoice choice;
        PresentedCounter presented;
    };

    QPointer<WallTiles> page_;
    QMetaObject::Connection picturesConnection_;
    QMetaObject::Connection tilesConnection_;
    WallArrangement shownArrangement_ = WallArrangement::Four;
    int selected_ = 0;
    int alone_ = -1;
    uint16_t language_ = 0;
    std::bitset<WallTiles::kMaxTiles> recording_;
    std::array<Shown, WallTiles::kMaxTiles> shown_;
};

}  // namespace orvix
