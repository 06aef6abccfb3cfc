#include "gui/wall_view.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>

#include "gui/aspect_fit.h"
#include "gui/tile_painting.h"
#include "media/access_unit.h"
#include "media/calendar_time.h"

namespace orvix {
namespace {

constexpr char kCameraMime[] = "application/x-orvix-wall-camera";
// Empty tiles are a shade off black, so the arrangement shows.
const QColor kEmptyTile(28, 28, 28);

QString channelText(int camera) { return QStringLiteral("CH %1").arg(camera + 1, 2, 10, QLatin1Char('0')); }

}  // namespace

QMimeData* wallCameraMimeData(uint32_t recorderId, int camera) {
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kCameraMime), QStringLiteral("%1 %2").arg(recorderId).arg(camera).toLatin1());
    return data;
}

bool readWallCameraMimeData(const QMimeData* data, uint32_t& recorderId, int& camera) {
    if (data == nullptr || !data->hasFormat(QString::fromLatin1(kCameraMime))) return false;
    const QList<QByteArray> parts = data->data(QString::fromLatin1(kCameraMime)).split(' ');
    if (parts.size() != 2) return false;
    bool idOk = false;
    bool cameraOk = false;
    recorderId = parts[0].toUInt(&idOk);
    camera = parts[1].toInt(&cameraOk);
    return idOk && cameraOk && recorderId != 0 && camera >= -1 && camera < kMaxChannels;
}

WallView::WallView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("WallView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
    setAcceptDrops(true);
}

void WallView::setPage(WallTiles* page) {
    disconnect(picturesConnection_);
    disconnect(tilesConnection_);
    page_ = page;
    alone_ = -1;
    for (Shown& shown : shown_) {
        shown.serial = 0;
        shown.words = TileWords();
        shown.choice = WallTileChoice();
    }
    if (page_ != nullptr) {
        shownArrangement_ = page_->arrangement();
        picturesConnection_ = connect(&page_->feed(), &GridFeed::picturesReady, this, &WallView::onPicturesReady);
        tilesConnection_ = connect(page_, &WallTiles::tilesChanged, this, &WallView::onTilesChanged);
        giveTileAreas(*page_);
        if (selected_ >= page_->count()) selected_ = 0;
    }
    update();
}

bool WallView::selectTile(int index) {
    if (page_ == nullptr || index < 0 || index >= page_->count()) return false;
    if (index != selected_) {
        update(tileRect(selected_));
        selected_ = index;
        update(tileRect(selected_));
    }
    return true;
}

void WallView::showAlone(int index) {
    if (page_ == nullptr || index < 0 || index >= page_->count()) return;
    alone_ = index;
    selected_ = index;
    giveTileAreas(*page_);
    update();
}

void WallView::showAll() {
    if (alone_ < 0) return;
    alone_ = -1;
    if (page_ != nullptr) giveTileAreas(*page_);
    update();
}

QRect WallView::tileRect(int index) const {
    if (page_ == nullptr || index < 0 || index >= page_->count()) return QRect();
    if (alone_ >= 0) return index == alone_ ? rect() : QRect();
    const std::vector<QRect> tiles = wallTileRects(rect(), page_->arrangement());
    return index < static_cast<int>(tiles.size()) ? tiles[static_cast<size_t>(index)] : QRect();
}

QRect WallView::innerRect(int index) const {
    return tileRect(index).adjusted(kTileOutline, kTileOutline, -kTileOutline, -kTileOutline);
}

QRect WallView::pictureRect(int index) const {
    if (page_ == nullptr || tileRect(index).isEmpty() || !page_->words(index).text.isEmpty()) return QRect();
    const TilePicture picture = page_->feed().latest(index);
    return picture.serial != 0 ? fitPicture(innerRect(index), picture.source) : QRect();
}

void WallView::giveTileAreas(WallTiles& page) const {
    const std::vector<QRect> tiles = wallTileRects(rect(), page.arrangement());
    for (int i = 0; i < WallTiles::kMaxTiles; ++i) {
        QRect area = i < static_cast<int>(tiles.size()) ? tiles[static_cast<size_t>(i)] : QRect();
        // The tile shown alone takes the whole view; the others keep theirs.
        if (&page == page_ && i == alone_) area = rect();
        area.adjust(kTileOutline, kTileOutline, -kTileOutline, -kTileOutline);
        page.feed().setTileArea(i, area.isValid() ? area.size() : QSize());
    }
}

void WallView::setLanguage(uint16_t language) {
    language_ = language;
    update();
}

void WallView::setRecordingMark(int index, bool on) {
    if (index < 0 || index >= WallTiles::kMaxTiles || recording_.test(static_cast<size_t>(index)) == on) return;
    recording_.set(static_cast<size_t>(index), on);
    update(tileRect(index));
}

TileTexts WallView::textsFor(int index) const {
    TileTexts texts;
    if (page_ == nullptr) return texts;
    const WallTileChoice choice = page_->tile(index);
    if (choice.empty()) return texts;
    texts.title = choice.recorderName + QLatin1Char(' ') + channelText(choice.camera);
    const TilePicture picture = page_->feed().latest(index);
    if (picture.serial != 0 && page_->words(index).text.isEmpty()) {
        const CalendarTime time = secondsToCalendar(overlaySeconds(picture.recorderSeconds));
        texts.time = QString::fromStdU16String(formatDateTime(time, language_));
    }
    texts.recording = recording_.test(static_cast<size_t>(index));
    return texts;
}

void WallView::onPicturesReady() {
    if (page_ == nullptr) return;
    // Only the tiles with a new picture are painted again.
    for (int i = 0; i < page_->count(); ++i) {
        if (page_->feed().latest(i).serial != shown_[static_cast<size_t>(i)].serial) update(tileRect(i));
    }
}

void WallView::onTilesChanged() {
    if (page_ == nullptr) return;
    if (page_->arrangement() != shownArrangement_) {
        shownArrangement_ = page_->arrangement();
        alone_ = -1;
        if (selected_ >= page_->count()) selected_ = 0;
        giveTileAreas(*page_);
        update();
        return;
    }
    for (int i = 0; i < page_->count(); ++i) {
        const Shown& shown = shown_[static_cast<size_t>(i)];
        if (page_->words(i) != shown.words || !(page_->tile(i) == shown.choice)) update(tileRect(i));
    }
}

void WallView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (page_ == nullptr) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    bool any = false;
    for (int i = 0; i < page_->count(); ++i) {
        const QRect tile = tileRect(i);
        if (tile.isEmpty() || !event->region().intersects(tile)) continue;
        any = true;
        // Clipped to its own tile, a picture is one copy (see GridView).
        painter.save();
        painter.setClipRect(tile, Qt::IntersectClip);
        paintTile(painter, i);
        painter.restore();
    }
    if (!any && alone_ < 0 && page_->count() == 0) painter.fillRect(rect(), Qt::black);
}

void WallView::paintTile(QPainter& painter, int index) {
    Shown& shown = shown_[static_cast<size_t>(index)];
    const QRect tile = tileRect(index);
    const QRect inner = innerRect(index);
    const WallTileChoice choice = page_->tile(index);
    const TilePicture picture = page_->feed().latest(index);
    shown.serial = picture.serial;
    shown.choice = choice;
    shown.words = page_->words(index);
    if (choice.empty()) {
        painter.fillRect(tile, Qt::black);
        painter.fillRect(inner, kEmptyTile);
    } else if (!shown.words.text.isEmpty()) {
        painter.fillRect(tile, Qt::black);
        paintTileNotice(painter, inner, shown.words.text, shown.words.detail);
        shown.overlay.paint(painter, inner, textsFor(index));
    } else {
        const QRect target = paintTilePicture(painter, tile, inner, picture);
        if (!picture.image.isNull()) shown.presented.painted(picture.serial);
        shown.overlay.paint(painter, target.isEmpty() ? inner : target, textsFor(index));
    }
    if (index == selected_ && alone_ < 0) paintTileOutline(painter, tile);
}

void WallView::resizeEvent(QResizeEvent*) {
    if (page_ != nullptr) giveTileAreas(*page_);
    for (Shown& shown : shown_) shown.serial = 0;
}

int WallView::tileAtPoint(const QPoint& point) const {
    if (page_ == nullptr) return -1;
    if (alone_ >= 0) return rect().contains(point) ? alone_ : -1;
    return wallTileAt(rect(), page_->arrangement(), point);
}

void WallView::mousePressEvent(QMouseEvent* event) {
    emit interacted();
    if (event->button() != Qt::LeftButton) return;
    const int index = tileAtPoint(event->position().toPoint());
    if (selectTile(index)) emit tileSelected(index);
}

void WallView::mouseDoubleClickEvent(QMouseEvent* event) {
    emit interacted();
    if (event->button() != Qt::LeftButton) return;
    const int index = tileAtPoint(event->position().toPoint());
    if (index >= 0) emit tileDoubleClicked(index);
}

void WallView::contextMenuEvent(QContextMenuEvent* event) {
    emit interacted();
    const int index = tileAtPoint(event->pos());
    if (!selectTile(index)) return;
    emit tileSelected(index);
    emit tileMenuRequested(index, event->globalPos());
}

void WallView::dragEnterEvent(QDragEnterEvent* event) {
    uint32_t id = 0;
    int camera = 0;
    if (readWallCameraMimeData(event->mimeData(), id, camera)) event->acceptProposedAction();
}

void WallView::dragMoveEvent(QDragMoveEvent* event) {
    if (tileAtPoint(event->position().toPoint()) >= 0) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void WallView::dropEvent(QDropEvent* event) {
    emit interacted();
    uint32_t id = 0;
    int camera = 0;
    const int index = tileAtPoint(event->position().toPoint());
    if (index < 0 || !readWallCameraMimeData(event->mimeData(), id, camera)) return;
    event->acceptProposedAction();
    selectTile(index);
    emit cameraDropped(index, id, camera);
}

}  // namespace orvix
