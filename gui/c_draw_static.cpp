#include "gui/c_draw_static.h"

#include <QMessageBox>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>

#include "core/debug_log.h"
#include "gui/aspect_fit.h"
#include "gui/failure_hint.h"
#include "gui/grid_view.h"
#include "gui/overlay_layer.h"
#include "media/video_decoder.h"

namespace orvix {

C_DrawStatic::C_DrawStatic(QWidget* parent)
    : QWidget(parent),
      // Queued by name, so that the call event is made by Qt alone: a
      // thread sanitizer cannot see the ordering of Qt's event queue, and an
      // event built by our own code would look like a race to it.
      dispatch_([this] { QMetaObject::invokeMethod(this, "drainSentMessages", Qt::QueuedConnection); }) {
    setObjectName(QStringLiteral("C_DrawStatic"));
    // The paint covers every pixel, and nothing is erased under the video.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    // A click gives it the keyboard: the number keys and Tab act on the video.
    setFocusPolicy(Qt::ClickFocus);
    ratesTimer_.setInterval(kRatesTimerMs);
    connect(&ratesTimer_, &QTimer::timeout, this, [this] {
        session_.timerTick();
        updateStatusLines();
    });
    connect(&views_, &ViewSwitch::tileSelected, this, &C_DrawStatic::tileSelected);
    connect(&views_, &ViewSwitch::tileDoubleClicked, this, &C_DrawStatic::tileDoubleClicked);
    connect(&views_, &ViewSwitch::viewChanged, this, [this] { updateStatusLines(); });
    connect(&recording_, &WindowRecording::ended, this, &C_DrawStatic::recordingEnded);
    connect(&recording_, &WindowRecording::changed, this, [this] {
        status_.update();
        updateStatusLines();
    });
    connect(&output_.handOver(), &FrameHandOver::frameReady, this, [this] { onPicture(); });
    connect(&output_, &VideoOutput::switchedToSoftware, this, [this] { updateStatusLines(); });
}

C_DrawStatic::~C_DrawStatic() {
    // The owner may be going too: nothing is forwarded from here on.
    owner_ = nullptr;
    blockSignals(true);
    if (session_.threadsRunning()) stopThreads();
    tearDown();
    dispatch_.close();
}

void C_DrawStatic::drainSentMessages() { dispatch_.drain(); }

LParam C_DrawStatic::sendMessage(uint32_t message, WParam wParam, LParam lParam) {
    return dispatch_.send([this, message, wParam, lParam] { return handle(message, wParam, lParam); });
}

void C_DrawStatic::showNetworkError() {
    dispatch_.send([this] {
        showNetworkErrorBox();
        return LParam{0};
    });
}

void C_DrawStatic::statusChanged() {
    // The recorder confirming a pause's request keeps the last picture up.
    if (session_.playback() == PlaybackPhase::Paused && session_.streaming()) {
        status_.update();
        recording_.statusChanged();
        return;
    }
    handle(VWM_REFRESH, 0, 0);
    recording_.statusChanged();
}

void C_DrawStatic::connected(const RecorderDescription&) {
    recording_.recorderKnown();
    // The dialog reads the description from the record it gave with 1025.
    handle(VWM_CONNECTED, reinterpret_cast<WParam>(session_.record()), 0);
}

void C_DrawStatic::rangeKnown(RangeKind kind, const TimeRange& range) {
    // The dialog reads the two times while the message is handled.
    const uint32_t times[2] = {range.start, range.end};
    handle(kind == RangeKind::Record ? VWM_RECORD_INFO : VWM_SEARCH_INFO, reinterpret_cast<WParam>(times), 1);
}

void C_DrawStatic::rangeRefused(RangeKind, const std::optional<TimeRange>& values) {
    const uint32_t times[2] = {values ? values->start : 0, values ? values->end : 0};
    handle(VWM_RECORD_INFO_FAIL, values ? reinterpret_cast<WParam>(times) : 0, 0);
}

void C_DrawStatic::networkError() { showNetworkErrorBox(); }

void C_DrawStatic::linkEnded(const LinkEnd& end) {
    // No more video comes: the file is finished now, not at the
    // disconnect, so that it plays even if the program is killed.
    recording_.end();
    emit connectionEnded(static_cast<int>(end.cause), QString::fromStdString(end.text));
}

void C_DrawStatic::reconnectScheduled(const LinkEnd& end, int delayMs, int attempt) {
    // The file so far is finished and plays; the recording goes on in the
    // next one once video is back.
    recording_.connectionLost();
    emit reconnectScheduled(static_cast<int>(end.cause), QString::fromStdString(end.text), delayMs, attempt);
}

LParam C_DrawStatic::handle(uint32_t message, WParam wParam, LParam lParam) {
    switch (message) {
    case VWM_CONNECT:
    case VWM_DISCONNECT:
    case VWM_TEARDOWN:
        return handleStoppingMessage(message, wParam);
    case VWM_LINK_START:
        session_.startLink();
        return 1;
    case VWM_REFRESH:
        refresh();
        return 1;
    case VWM_SET_CHANNEL:
        session_.setChannel(static_cast<int>(wParam), static_cast<int>(lParam));
        return 1;
    case VWM_SOCKET_RESET:
        session_.resetSocket();
        return 1;
    case VWM_RECORD_INFO_REQ:
        return session_.requestRecordInfo() ? 1 : 0;
    case VWM_RECORD_INFO:
        session_.setInfoLine("Record info receive..");
        forward(message, wParam, lParam);
        return 1;
    case VWM_SEARCH_INFO:
        forward(message, wParam, lParam);
        return 1;
    case VWM_RECORD_INFO_FAIL:
        session_.setInfoLine("Record info request fail..[No record data]");
        forward(message, wParam, lParam);
        return 1;
    case VWM_SEARCH_START:
        session_.startSearch(static_cast<uint32_t>(wParam));
        if (views_.gridShown()) views_.grid()->startPlayback();
        return 1;
    case VWM_SEARCH_END:
        session_.endSearch();
        views_.grid()->showLive();
        return 1;
    case VWM_PTZ:
        session_.ptz(static_cast<int>(wParam), static_cast<int32_t>(lParam));
        return 1;
    case VWM_ALARM_ON:
        session_.alarmOn(static_cast<int>(wParam), static_cast<uint32_t>(lParam));
        return 1;
    case VWM_ALARM_OFF:
        session_.alarmOff();
        return 1;
    case VWM_CONNECTED:
        forward(message, wParam, lParam);
        return 1;
    default:
        return 0;  // VWM_DEVICE_SAVED, 1039 and others: nothing to do here
    }
}

LParam C_DrawStatic::handleStoppingMessage(uint32_t message, WParam wParam) {
    if (dispatch_.stopping()) {
        // The link thread has ended; the stop under way completes a
        // disconnect, and nothing else can run before it is done.
        if (message == VWM_DISCONNECT) return 1;
        debugLogf("C_DrawStatic: message %u refused while the link is being stopped\r\n", message);
        return 0;
    }
    switch (message) {
    case VWM_CONNECT:
        setUp(reinterpret_cast<DeviceRecord*>(wParam));
        break;
    case VWM_DISCONNECT:
        disconnect();
        break;
    default:
        // Tear-down follows a disconnect; threads still running are stopped
        // the same way first.
        if (session_.threadsRunning()) stopThreads();
        tearDown();
        break;
    }
    return 1;
}

void C_DrawStatic::setUp(DeviceRecord* record) {
    // Only one connection at a time: one still running is ended first.
    if (session_.threadsRunning()) stopThreads();
    ratesTimer_.stop();
    output_.setUp();
    views_.setUp(record != nullptr ? QString::fromStdU16String(std::u16string(record->name.view())) : QString(),
                 session_.overlay().language.load());
    const QPoint topLeft = mapToGlobal(QPoint(0, 0));
    const FrameRect destination{topLeft.x(), topLeft.y(), topLeft.x() + width(), topLeft.y() + height()};
    if (session_.setUp(record, output_.renderers(), destination) == VideoSession::SetUpResult::Started) {
        ratesTimer_.start();
    }
}

void C_DrawStatic::refresh() {
    // The logo and the status show until the next picture is drawn over them.
    views_.hideViews();
    status_.hide();
    update();
}

void C_DrawStatic::disconnect() {
    stopThreads();
    handle(VWM_REFRESH, 0, 0);
    handle(VWM_TEARDOWN, 0, 0);
}

void C_DrawStatic::stopThreads() {
    // Without handling anything meanwhile: no report holds the link thread
    // while it stops.
    dispatch_.stopLink([this] { session_.disconnect(nullptr); });
}

void C_DrawStatic::tearDown() {
    recording_.end();
    ratesTimer_.stop();
    session_.tearDown();
    output_.tearDown();
    status_.hide();
}

void C_DrawStatic::forward(uint32_t message, WParam wParam, LParam lParam) {
    if (owner_ != nullptr) owner_->sendMessage(message, wParam, lParam);
}

void C_DrawStatic::showNetworkErrorBox() {
    // One box at a time; a further error while it is open raises it.
    if (networkErrorBox_ == nullptr) {
        networkErrorBox_ = new QMessageBox(QMessageBox::NoIcon, window()->windowTitle(),
                                           QStringLiteral("Network Error occurred"), QMessageBox::Ok, this);
        networkErrorBox_->setAttribute(Qt::WA_DeleteOnClose);
        networkErrorBox_->setWindowModality(Qt::NonModal);
    }
    networkErrorBox_->show();
    networkErrorBox_->raise();
}

void C_DrawStatic::onPicture() {
    if (!views_.takeSinglePicture()) return;
    // A picture decoded before the link ended, handed over after: the logo
    // with the status lines stays.
    if (session_.linkEnded()) {
        refresh();
        return;
    }
    recording_.pictureShown(output_.handOver().latest().picture);
    updateStatusLines();
}

StatusLines C_DrawStatic::statusLines() const {
    // The info line keeps what the recording is doing through a reconnect.
    QString info = QString::fromStdString(session_.infoLine());
    const QString hint = failureHint(session_.status(), session_.linkEnded());
    if (!hint.isEmpty()) info = info.isEmpty() ? hint : info + QStringLiteral(" - ") + hint;
    const QString note = recording_.note();
    if (!note.isEmpty()) info = info.isEmpty() ? note : info + QStringLiteral(" - ") + note;
    return StatusLines{session_.status(), QString::fromStdString(session_.statusLine()), info};
}

void C_DrawStatic::updateStatusLines() { status_.follow(output_, views_.view(), views_.gridShown()); }

void C_DrawStatic::paintEvent(QPaintEvent*) {
    // A view showing a picture covers the whole window and paints all of it
    // (the strip above it carries the status lines): the logo and lines
    // beneath would otherwise be drawn again, unseen, for every picture.
    const QWidget* view = output_.activeView();
    if (view != nullptr && view->isVisible() && view->geometry().contains(rect()) &&
        !output_.handOver().latest().image.isNull()) {
        return;
    }
    // The grid paints every tile, black where it has no picture; the band
    // below it, where the status strip lies, is black.
    const GridView* grid = views_.grid();
    QPainter painter(this);
    if (views_.gridShown() && grid->isVisible()) {
        for (const QRect& band : QRegion(rect()).subtracted(grid->geometry())) painter.fillRect(band, Qt::black);
        return;
    }
    status_.paintLogo(painter, rect(), recording_.state() == WindowRecording::State::Paused);
}

void C_DrawStatic::showInfoLine(const std::string& text) {
    session_.setInfoLine(text);
    status_.update();
}

void C_DrawStatic::resizeEvent(QResizeEvent*) {
    // The views follow the window; the next picture is fitted to its size.
    views_.followWindow(rect());
    updateStatusLines();
}

void C_DrawStatic::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit doubleClicked();
}

QRect C_DrawStatic::pictureRect() const {
    const QWidget* view = output_.activeView();
    if (view == nullptr || !view->isVisible()) return QRect();
    return output_.pictureRect().translated(view->pos());
}

QImage C_DrawStatic::snapshot() const {
    if (views_.gridShown()) return views_.grid()->isVisible() ? views_.grid()->snapshot() : QImage();
    const QWidget* view = output_.activeView();
    if (view == nullptr || !view->isVisible()) return QImage();
    const HandedFrame frame = output_.handOver().latest();
    if (frame.picture.isEmpty()) return QImage();
    // The picture at its decoded size, not as scaled for the view: the
    // decoder still holds it (or the next one, a moment later).
    QImage picture;
    session_.withPicture([&](const DecodedPicture& decoded) {
        if (QSize(decoded.width, decoded.height) != frame.picture) return;
        picture =
            QImage(decoded.pixels, decoded.width, decoded.height, decoded.width * 4, QImage::Format_RGB32).copy();
    });
    if (picture.isNull()) {
        // Pictures put straight into the view's window leave no copy here.
        if (frame.image.isNull() || frame.source.isEmpty()) return QImage();
        picture = frame.image.copy(frame.source);
    }
    const QSize size = shownSize(frame.picture, frame.picture.height());
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(image.rect(), picture);
    OverlayLayer overlay;
    overlay.paint(painter, image.rect(), frame.picture, frame.overlay, recording());
    return image;
}

void C_DrawStatic::setStatistics(int statistics) {
    session_.overlay().statistics.store(statistics);
    views_.grid()->setStatistics(statistics != 0);
}

}  // namespace orvix
