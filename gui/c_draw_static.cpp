#include "gui/c_draw_static.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QThread>

#include "core/debug_log.h"
#include "gui/aspect_fit.h"
#include "gui/grid_view.h"
#include "gui/overlay_layer.h"
#include "gui/status_line_painter.h"
#include "media/video_codec.h"
#include "media/video_decoder.h"

// The logo lives in a resource object that nothing else references; naming
// its registration here keeps the linker from dropping it.
static void registerWindowResources() { Q_INIT_RESOURCE(orvix); }

namespace orvix {
namespace {

constexpr int kStopUnderWayPollMs = 50;

// Counts the link notifications being handled on the window's thread.
class DepthGuard {
public:
    explicit DepthGuard(int& depth) : depth_(depth) { ++depth_; }
    ~DepthGuard() { --depth_; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    int& depth_;
};

}  // namespace

C_DrawStatic::C_DrawStatic(QWidget* parent)
    : QWidget(parent),
      // Queued by name, so that the call event is made by Qt alone: a
      // thread sanitizer cannot see the ordering of Qt's event queue, and an
      // event built by our own code would look like a race to it.
      sent_([this] { QMetaObject::invokeMethod(this, "drainSentMessages", Qt::QueuedConnection); }) {
    registerWindowResources();
    setObjectName(QStringLiteral("C_DrawStatic"));
    // The paint covers every pixel, and nothing is erased under the video.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    // A click gives it the keyboard: the number keys and Tab act on the video.
    setFocusPolicy(Qt::ClickFocus);
    logo_ = QImage(QStringLiteral(":/orvix/logo.png"));
    statusFont_ = statusLineFont();
    ratesTimer_.setInterval(kRatesTimerMs);
    connect(&ratesTimer_, &QTimer::timeout, this, [this] {
        session_.timerTick();
        updateStatusStrip();
    });
    statusStrip_ = new StatusStrip(this, [this] { return statusLines(); });
    // After the output has shown its view for a new picture, the strip goes
    // above it.
    // Several channels report through the feed to the grid's tiles.
    session_.setChannelEvents(&feed_);
    grid_ = new GridView(feed_, this);
    grid_->hide();
    connect(grid_, &GridView::tileSelected, this, &C_DrawStatic::tileSelected);
    connect(grid_, &GridView::tileDoubleClicked, this, &C_DrawStatic::tileDoubleClicked);
    connect(&feed_, &GridFeed::picturesReady, this, [this] {
        // As with the single view: nothing is shown after the link ended.
        if (!gridShown_ || session_.linkEnded() || !session_.threadsRunning()) return;
        if (grid_->isHidden()) raiseGrid();
    });
    connect(&output_.handOver(), &FrameHandOver::frameReady, this, [this] {
        // A single-view picture that was on its way when the grid came.
        if (gridShown_) {
            if (QWidget* view = output_.activeView()) view->hide();
            return;
        }
        // A picture decoded before the link ended, handed over after: the
        // logo with the status lines stays.
        if (session_.linkEnded()) {
            refresh();
            return;
        }
        // A recording's file is begun at the size of its first picture.
        if (recorder_ != nullptr) {
            const QSize picture = output_.handOver().latest().picture;
            recorder_->pictureDecoded(picture.width(), picture.height());
        }
        updateStatusStrip();
    });
    connect(&output_, &VideoOutput::switchedToSoftware, this, [this] { updateStatusStrip(); });
}

void C_DrawStatic::updateStatusStrip() {
    const QWidget* view = gridShown_ ? grid_ : output_.activeView();
    // Where the pictures go straight into the view's window, the lines are
    // drawn with them: a strip above that window would hide the pictures.
    output_.setStatusLines(statusLines());
    if (!gridShown_ && output_.drawsStatusLines()) {
        statusStrip_->hide();
        return;
    }
    if (view != nullptr && view->isVisible()) {
        statusStrip_->showOverPicture();
    } else {
        statusStrip_->hide();
    }
}

StatusLines C_DrawStatic::statusLines() const {
    return StatusLines{session_.status(), QString::fromStdString(session_.statusLine()),
                       QString::fromStdString(session_.infoLine())};
}

C_DrawStatic::~C_DrawStatic() {
    // The owner may be going too: nothing is forwarded from here on.
    owner_ = nullptr;
    blockSignals(true);
    if (session_.threadsRunning()) stopThreads();
    tearDown();
    sent_.close();
}

void C_DrawStatic::drainSentMessages() { sent_.drain(); }

bool C_DrawStatic::onOwnThread() const { return QThread::currentThread() == thread(); }

LParam C_DrawStatic::sendMessage(uint32_t message, WParam wParam, LParam lParam) {
    if (onOwnThread()) return handle(message, wParam, lParam);
    // A message that stops the link waits until a stop under way is done.
    SentMessageQueue::Ready ready;
    if (stopsTheLink(message)) ready = [this] { return !stopping_; };
    return sent_.send([this, message, wParam, lParam] { return handle(message, wParam, lParam); }, std::move(ready),
                      false);
}

void C_DrawStatic::sendReport(Task task) {
    if (onOwnThread()) {
        task();
        return;
    }
    sent_.send(
        [this, task = std::move(task)] {
            DepthGuard inReport(linkNotificationDepth_);
            task();
            return LParam{0};
        },
        nullptr, true);
}

void C_DrawStatic::postReport(Task task) {
    sent_.post([task = std::move(task)] {
        task();
        return LParam{0};
    });
}

void C_DrawStatic::showNetworkError() {
    if (onOwnThread()) {
        showNetworkErrorBox();
        return;
    }
    sent_.send([this] {
        showNetworkErrorBox();
        return LParam{0};
    });
}

void C_DrawStatic::statusChanged() { handle(VWM_REFRESH, 0, 0); }

void C_DrawStatic::connected(const RecorderDescription&) {
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
    endRecording();
    emit connectionEnded(static_cast<int>(end.cause), QString::fromStdString(end.text));
}

void C_DrawStatic::reconnectScheduled(const LinkEnd& end, int delayMs, int attempt) {
    // The connection is lost: the recording ends here and plays.
    endRecording();
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
        if (gridShown_) grid_->startPlayback();
        return 1;
    case VWM_SEARCH_END:
        session_.endSearch();
        grid_->showLive();
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

bool C_DrawStatic::stopsTheLink(uint32_t message) {
    return message == VWM_CONNECT || message == VWM_DISCONNECT || message == VWM_TEARDOWN;
}

LParam C_DrawStatic::handleStoppingMessage(uint32_t message, WParam wParam) {
    if (stopping_) {
        // The stop under way cannot go on before this returns.
        if (message == VWM_DISCONNECT) {
            waitForStopUnderWay();
            return 1;
        }
        debugLogf("C_DrawStatic: message %u refused while the link is being stopped\r\n", message);
        return 0;
    }
    // The link thread may sit in a notification further down this stack;
    // it can only stop once it no longer waits for it.
    if (linkNotificationDepth_ > 0) sent_.releaseRunning();
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

void C_DrawStatic::waitForStopUnderWay() {
    sent_.releaseRunning();
    while (session_.threadsRunning() && session_.shared().threadState.load() != kLinkStopped) {
        sent_.waitHandling(kStopUnderWayPollMs);
    }
}

void C_DrawStatic::setUp(DeviceRecord* record) {
    // Only one connection at a time: one still running is ended first.
    if (session_.threadsRunning()) stopThreads();
    ratesTimer_.stop();
    output_.setUp();
    grid_->clearPictures();
    grid_->showLive();
    if (record != nullptr) grid_->setRecorderName(QString::fromStdU16String(std::u16string(record->name.view())));
    grid_->setLanguage(session_.overlay().language.load());
    const QPoint topLeft = mapToGlobal(QPoint(0, 0));
    const FrameRect destination{topLeft.x(), topLeft.y(), topLeft.x() + width(), topLeft.y() + height()};
    if (session_.setUp(record, output_.renderers(), destination) == VideoSession::SetUpResult::Started) {
        ratesTimer_.start();
    }
}

void C_DrawStatic::refresh() {
    // The logo and the status show until the next picture is drawn over them.
    if (QWidget* view = output_.activeView()) view->hide();
    grid_->hide();
    statusStrip_->hide();
    update();
}

void C_DrawStatic::disconnect() {
    stopThreads();
    handle(VWM_REFRESH, 0, 0);
    handle(VWM_TEARDOWN, 0, 0);
}

void C_DrawStatic::stopThreads() {
    stopping_ = true;
    session_.disconnect([this](int milliseconds) { sent_.waitHandling(milliseconds); });
    stopping_ = false;
    // Messages from other threads that waited for the stop run next.
    QMetaObject::invokeMethod(this, "drainSentMessages", Qt::QueuedConnection);
}

void C_DrawStatic::tearDown() {
    endRecording();
    finishedRecorders_.clear();  // the display thread has ended
    ratesTimer_.stop();
    session_.tearDown();
    output_.tearDown();
    statusStrip_->hide();
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

void C_DrawStatic::paintEvent(QPaintEvent*) {
    // A view showing a picture covers the whole window and paints all of it
    // (the strip above it carries the status lines): the logo and lines
    // beneath would otherwise be drawn again, unseen, for every picture.
    const QWidget* view = output_.activeView();
    if (view != nullptr && view->isVisible() && view->geometry().contains(rect()) &&
        !output_.handOver().latest().image.isNull()) {
        return;
    }
    // The grid paints every tile, black where it has no picture.
    if (gridShown_ && grid_->isVisible() && grid_->geometry().contains(rect())) return;
    QPainter painter(this);
    if (logo_.isNull()) {
        painter.fillRect(rect(), Qt::black);
    } else {
        // The logo keeps its shape, black bars around.
        const QRect target = fitPicture(rect(), logo_.size());
        for (const QRect& bar : QRegion(rect()).subtracted(target)) painter.fillRect(bar, Qt::black);
        painter.drawImage(target, logo_);
    }
    paintStatusLines(painter, statusFont_, session_.status(), QString::fromStdString(session_.statusLine()),
                     QString::fromStdString(session_.infoLine()));
}

void C_DrawStatic::showInfoLine(const std::string& text) {
    session_.setInfoLine(text);
    update();
    statusStrip_->update();
}

void C_DrawStatic::resizeEvent(QResizeEvent*) {
    // The views follow the window; the next picture is fitted to its size.
    output_.followWindow();
    grid_->setGeometry(rect());
    updateStatusStrip();
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
    if (gridShown_) return grid_->isVisible() ? grid_->snapshot() : QImage();
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

bool C_DrawStatic::startRecording(const std::string& path, std::string& error) {
    if (recorder_ != nullptr) stopRecording(error);
    error.clear();
    DeviceRecord* record = session_.record();
    if (!session_.threadsRunning() || session_.linkEnded() || record == nullptr) {
        error = "not connected";
        return false;
    }
    recorder_ = std::make_unique<StreamRecorder>(path);
    recorder_->setCodec(codecForModel(record->modelIndex.load()));
    recordingPath_ = path;
    if (gridShown_) {
        // The selected tile's channel, as the decode workers hand it on.
        feed_.setRecorder(grid_->selectedChannel(), recorder_.get());
        grid_->setRecordingMark(true);
    } else if (!session_.setDecodeTap(recorder_.get())) {
        recorder_.reset();
        error = "not connected";
        return false;
    } else {
        // The file begins at the first picture after its first key picture:
        // the GUI hears of every picture meanwhile, so a short recording
        // is not lost waiting for the next notice.
        output_.handOver().setEager(true);
    }
    output_.setRecordingMark(true);
    return true;
}

bool C_DrawStatic::stopRecording(std::string& error) {
    if (recorder_ == nullptr) {
        error = "nothing is being recorded";
        return false;
    }
    session_.setDecodeTap(nullptr);
    output_.handOver().setEager(false);
    feed_.setRecorder(-1, nullptr);
    grid_->setRecordingMark(false);
    output_.setRecordingMark(false);
    const bool ok = recorder_->finish(error);
    finishedRecorders_.push_back(std::move(recorder_));
    return ok;
}

void C_DrawStatic::setStatistics(int statistics) {
    session_.overlay().statistics.store(statistics);
    grid_->setStatistics(statistics != 0);
}

bool C_DrawStatic::showGrid(const ChannelSet& channels, int view) {
    if (channels.size() < 2 || !session_.setChannels(channels)) return false;
    grid_->showChannels(channels, view);
    gridShown_ = true;
    if (QWidget* single = output_.activeView()) single->hide();
    grid_->setGeometry(rect());
    // Shown at once while connected: tiles without a picture say so.
    if (session_.threadsRunning() && !session_.linkEnded()) {
        raiseGrid();
    } else {
        grid_->hide();
    }
    return true;
}

void C_DrawStatic::showSingle(int channel) {
    if (gridShown_) {
        gridShown_ = false;
        grid_->hide();
        // The picture from before the grid is not shown again.
        output_.handOver().clear();
        if (QWidget* single = output_.activeView()) single->hide();
        updateStatusStrip();
        update();
    }
    // Without a connection the set is kept for the login; with one the
    // channel request does the same.
    if (!session_.isSetUp()) session_.setChannels(ChannelSet::single(channel));
}

void C_DrawStatic::raiseGrid() {
    grid_->setGeometry(rect());
    grid_->show();
    grid_->raise();
    updateStatusStrip();
}

int C_DrawStatic::selectedTileChannel() const { return gridShown_ ? grid_->selectedChannel() : -1; }

bool C_DrawStatic::selectTile(int channel) { return gridShown_ && grid_->selectChannel(channel); }

void C_DrawStatic::endRecording() {
    if (recorder_ == nullptr) return;
    const QString path = QString::fromStdString(recordingPath_);
    std::string error;
    stopRecording(error);
    emit recordingEnded(path, QString::fromStdString(error));
}

}  // namespace orvix
