#include "app/c_main_dlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QOpenGLWidget>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QThread>
#include <QTimeEdit>
#include <algorithm>

#include "app/channel_entries.h"
#include "app/dialog_geometry.h"
#include "app/language_id.h"
#include "app/main_dialog_ids.h"
#include "app/page_layout.h"
#include "core/debug_log.h"
#include "gui/c_draw_static.h"
#include "gui/gl_video_view.h"
#include "link/link_status.h"

// The icon lives in a resource object that nothing else references; naming
// its registration here keeps the linker from dropping it.
static void registerDialogResources() { Q_INIT_RESOURCE(orvix); }

namespace orvix {
namespace {

enum class Kind { Static, Combo, Button, CheckBox, DatePicker, TimePicker };

struct ControlTemplate {
    int id;
    Kind kind;
    const char* label;
    int width;   // dialog units
    int height;  // dialog units; combos take the height of a closed combo
};

// The dialog's controls, in the order they are made.
constexpr ControlTemplate kControls[] = {
    {kDeviceLabel, Kind::Static, "DEVICE :", 31, 10},
    {kDeviceCombo, Kind::Combo, "", 57, 0},
    {kAddDevice, Kind::Button, "Add DVR", 40, 12},
    {kDeleteDevice, Kind::Button, "Del DVR", 40, 12},
    {kWall, Kind::Button, kWallText, 40, 12},
    {kInfoSetup, Kind::Button, "Info Setup", 42, 12},
    {kConnect, Kind::Button, kConnectText, 41, 12},
    {kChannelLabel, Kind::Static, "CH :", 18, 10},
    {kChannelCombo, Kind::Combo, "", 36, 0},
    {kIFrameOnly, Kind::CheckBox, "I only", 35, 11},
    {kAutoReconnect, Kind::CheckBox, "Reconnect automatically", 90, 11},
    {kSnapshot, Kind::Button, kSnapshotText, 42, 12},
    {kRecord, Kind::Button, kRecordText, 36, 12},
    {kViewLabel, Kind::Static, kViewText, 22, 10},
    {kViewCombo, Kind::Combo, "", 28, 0},
    {kGroupPrevious, Kind::Button, kGroupPreviousText, 14, 12},
    {kGroupNext, Kind::Button, kGroupNextText, 14, 12},
    {kRecInfoReq, Kind::Button, "Rec Info Req", 48, 12},
    {kSearchStart, Kind::Button, "START", 37, 12},
    {kSearchLive, Kind::Button, "LIVE", 27, 12},
    {kSearchDate, Kind::DatePicker, "", 53, 13},
    {kSearchTime, Kind::TimePicker, "", 61, 13},
    {kPanLeft, Kind::Button, "Left", 25, 12},
    {kTiltUp, Kind::Button, "Up", 25, 12},
    {kTiltDown, Kind::Button, "Down", 25, 12},
    {kPanRight, Kind::Button, "Right", 25, 12},
    {kPanTiltStop, Kind::Button, "Stop", 29, 12},
    {kDirectionMode, Kind::Button, kNormalText, 29, 12},
    {kZoomOut, Kind::Button, "ZOOM OUT", 44, 12},
    {kZoomStop, Kind::Button, "STOP", 25, 12},
    {kZoomIn, Kind::Button, "ZOOM IN", 44, 12},
    {kFocusIn, Kind::Button, "FOCUS IN", 44, 12},
    {kFocusStop, Kind::Button, "STOP", 25, 12},
    {kFocusOut, Kind::Button, "FOCUS OUT", 44, 12},
    {kPresetNumber, Kind::Combo, "", 34, 0},
    {kPresetAction, Kind::Combo, "", 34, 0},
    {kPresetSend, Kind::Button, "Send", 27, 12},
    {kAlarmOutput, Kind::Combo, "", 34, 0},
    {kAlarmDuration, Kind::Combo, "", 53, 0},
    {kAlarmOn, Kind::Button, "ON", 25, 12},
    {kAlarmOff, Kind::Button, "OFF", 25, 12},
};

constexpr const char* kTabTexts[kPageCount] = {"Device", "Connect", "Search", "PanTilt", "Zoom/Focus", "Preset",
                                               "Alarm"};

struct Duration {
    const char* text;
    int seconds;
};
constexpr Duration kAlarmDurations[] = {
    {"INFINITE", 0}, {"5 sec", 5},   {"10 sec", 10},   {"20 sec", 20},    {"1 min", 60},    {"2 min", 120},
    {"4 min", 240},  {"10 min", 600}, {"30 min", 1800}, {"1 hour", 3600}, {"2 hour", 7200},
};

constexpr int kPresetEntries = 16;

}  // namespace

const char* titleForVariant(int32_t variant) {
    switch (variant) {
    case 0:
    case 2:
    case 3:
        return kStringTitleVariant0;
    case 1:
        return kStringTitleVariant1;
    case 4:
        return kStringTitleVariant4;
    default:
        return "";
    }
}

C_Main_Dlg::C_Main_Dlg(QWidget* parent) : C_Main_Dlg(libraryDirectory(), parent) {}

C_Main_Dlg::C_Main_Dlg(const std::string& libraryDirectory, QWidget* parent) : QDialog(parent) {
    registerDialogResources();
    initRecord(working_);
    setObjectName(QStringLiteral("C_Main_Dlg"));
    // A main window of its own: it can be maximised and minimised.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    createControls();
    keepWindowReadyForOpenGl();
    initDialog(libraryDirectory);
    // Tab and Space are taken before any control sees them.
    qApp->installEventFilter(this);
}

C_Main_Dlg::~C_Main_Dlg() {
    qApp->removeEventFilter(this);
    // A picker that has the focus reports its editing finished while the
    // children are destroyed, after this part of the dialog is gone.
    QObject::disconnect(searchTime_, nullptr, this, nullptr);
    QObject::disconnect(searchDate_, nullptr, this, nullptr);
    // The video window reads the working record until its threads end, so
    // it goes before the record does.
    delete video_;
    video_ = nullptr;
    controls_.erase(kVideoWindow);
    working_.owner = nullptr;
    releaseRecordTexts(working_);
}

void C_Main_Dlg::createControls() {
    units_ = DialogUnits::of(fontMetrics());

    tabs_ = new QTabWidget(this);
    tabs_->setProperty("controlId", kTabControl);
    tabs_->setFocusPolicy(Qt::NoFocus);
    controls_[kTabControl] = tabs_;

    video_ = new C_DrawStatic(this);
    video_->setProperty("controlId", kVideoWindow);
    controls_[kVideoWindow] = video_;
    createFirstRunForm();
    initTimeline();

    for (const ControlTemplate& entry : kControls) {
        QWidget* widget = nullptr;
        const QString label = QString::fromLatin1(entry.label);
        switch (entry.kind) {
        case Kind::Static:
            widget = new QLabel(label, this);
            break;
        case Kind::Combo:
            widget = new QComboBox(this);
            break;
        case Kind::Button:
            widget = new QPushButton(label, this);
            break;
        case Kind::CheckBox:
            widget = new QCheckBox(label, this);
            break;
        case Kind::DatePicker:
        case Kind::TimePicker: {
            QDateTimeEdit* picker = entry.kind == Kind::DatePicker ? static_cast<QDateTimeEdit*>(new QDateEdit(this))
                                                                   : new QTimeEdit(this);
            picker->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            widget = picker;
            break;
        }
        }
        widget->setProperty("controlId", entry.id);
        const int height = entry.height > 0 ? units_.y(entry.height) : widget->sizeHint().height();
        widget->resize(units_.x(entry.width), height);
        widget->hide();
        controls_[entry.id] = widget;
    }
    // The recorded range as text on the "Search" page, empty until known.
    searchRange_ = new QLabel(this);
    searchRange_->setProperty("controlId", kSearchRange);
    searchRange_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    searchRange_->hide();
    controls_[kSearchRange] = searchRange_;

    qobject_cast<QPushButton*>(control(kRecord))->setCheckable(true);
    deviceCombo_ = qobject_cast<QComboBox*>(control(kDeviceCombo));
    channelCombo_ = qobject_cast<QComboBox*>(control(kChannelCombo));
    viewCombo_ = qobject_cast<QComboBox*>(control(kViewCombo));
    control(kGroupPrevious)->setToolTip(QStringLiteral("Previous cameras (Page Up)"));
    control(kGroupNext)->setToolTip(QStringLiteral("Next cameras (Page Down)"));
    searchDate_ = qobject_cast<QDateEdit*>(control(kSearchDate));
    searchTime_ = qobject_cast<QTimeEdit*>(control(kSearchTime));
    initSearchPickers();
    connectHandlers();
}

void C_Main_Dlg::keepWindowReadyForOpenGl() {
    // The video window lays an OpenGL view over itself at every connection.
    // A window first shown without any OpenGL widget in it is re-created
    // when the first one arrives, which makes it flicker and jump; a hidden
    // one from the start keeps the window as it is.
    // Not where pictures are drawn in software: an OpenGL widget makes the
    // whole window go through OpenGL.
    if (!GlVideoView::chosen()) return;
    auto* keeper = new QOpenGLWidget(this);
    keeper->setObjectName(QStringLiteral("OpenGlWindowKeeper"));
    keeper->setGeometry(0, 0, 1, 1);
    keeper->hide();
}

void C_Main_Dlg::connectHandlers() {
    auto clicked = [this](int id, auto handler) {
        connect(qobject_cast<QAbstractButton*>(control(id)), &QAbstractButton::clicked, this, handler);
    };
    clicked(kAddDevice, [this] { onAddDevice(); });
    clicked(kWall, [this] { emit wallRequested(); });
    clicked(kDeleteDevice, [this] { onDeleteDevice(); });
    clicked(kInfoSetup, [this] { onEditDevice(); });
    clicked(kConnect, [this] { onConnectClicked(); });
    clicked(kIFrameOnly, [this] { onIFrameOnlyClicked(); });
    clicked(kAutoReconnect, [this] { onAutoReconnectClicked(); });
    clicked(kSnapshot, [this] { takeSnapshot(); });
    clicked(kRecord, [this] { toggleRecording(); });
    // A double-click on a tile's enlarged picture returns to the grid;
    // elsewhere it is full screen on and off.
    connect(video_, &C_DrawStatic::doubleClicked, this, [this] {
        if (tileEnlarged_) {
            returnToGrid();
        } else {
            setFullScreen(!fullScreen_);
        }
    });
    connect(video_, &C_DrawStatic::tileSelected, this, [this](int channel) { onTileSelected(channel); });
    connect(video_, &C_DrawStatic::tileDoubleClicked, this, [this](int channel) { enlargeTile(channel); });
    connect(viewCombo_, &QComboBox::activated, this, [this] { onViewChosen(); });
    clicked(kGroupPrevious, [this] { stepGroup(-1); });
    clicked(kGroupNext, [this] { stepGroup(1); });
    connect(video_, &C_DrawStatic::recordingEnded, this, &C_Main_Dlg::onRecordingEnded);
    connect(video_, qOverload<int, const QString&, int, int>(&C_DrawStatic::reconnectScheduled), this,
            [this] { onReconnectScheduled(); });
    // Only the user's choices are handled, as programmatic selections are
    // not notified.
    connect(deviceCombo_, &QComboBox::activated, this, [this] { onDeviceSelected(); });
    connect(channelCombo_, &QComboBox::activated, this, [this] { onChannelChosen(); });

    clicked(kRecInfoReq, [this] { onRecordInfoRequest(); });
    clicked(kSearchStart, [this] { onSearchStart(); });
    clicked(kSearchLive, [this] { onSearchLive(); });
    connect(searchDate_, &QDateEdit::dateChanged, this, [this] { onSearchDateChanged(); });

    for (int id : {kTiltUp, kTiltDown, kPanLeft, kPanRight}) clicked(id, [this, id] { onDirection(id); });
    for (int id : {kPanTiltStop, kZoomStop, kFocusStop}) clicked(id, [this] { onCameraAction(0); });
    clicked(kZoomOut, [this] { onCameraAction(7); });
    clicked(kZoomIn, [this] { onCameraAction(8); });
    clicked(kFocusIn, [this] { onCameraAction(9); });
    clicked(kFocusOut, [this] { onCameraAction(10); });
    clicked(kDirectionMode, [this] { onDirectionMode(); });
    clicked(kPresetSend, [this] { onPresetSend(); });
    clicked(kAlarmOn, [this] { onAlarmOn(); });
    clicked(kAlarmOff, [this] { onAlarmOff(); });

    connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) { layoutPage(index); });
}

void C_Main_Dlg::initDialog(const std::string& libraryDirectory) {
    const QIcon icon(QStringLiteral(":/orvix/icon.png"));
    setWindowIcon(icon);

    variant_ = 0;
    video_->setLanguageId(defaultLanguageId());
    setWindowTitle(QString::fromLatin1(titleForVariant(variant_)));
    working_.owner = static_cast<MessageTarget*>(this);

    binding_ = bindLibraries(libraryDirectory);
    std::string notices = binding_.problem;

    video_->setOwner(this);
    store_ = std::make_unique<StoreQueue>(binding_,
                                          [this](const StoreQueue::Outcome& outcome) { onStoreOutcome(outcome); });
    const std::string storeNotice = store_->load(devices_, working_);
    if (!storeNotice.empty()) notices += (notices.empty() ? "" : "\n\n") + storeNotice;
    showPasswordNotice();
    deviceCombo_->clear();
    for (const DeviceRecord* record : devices_.entries()) addDeviceEntry(*record);
    if (deviceCombo_->count() > 0) deviceCombo_->setCurrentIndex(0);
    applyControlState(copySelectedDevice() ? ControlState::DeviceIdle : ControlState::NoDevice);

    fillChannels(kDefaultChannelEntries);
    channelCombo_->setCurrentIndex(working_.currentChannel.load());
    fillStaticCombos();
    for (int i = 0; i < kPageCount; ++i) tabs_->addTab(new QWidget, QString::fromLatin1(kTabTexts[i]));

    fitControlsToContents();
    setMinimumSize(kClientWidth, kClientHeight);
    resize(kClientWidth, kClientHeight);
    normalSize_ = size();
    client_ = rect();
    layoutVideoAndTabs();

    setControlEnabled(kRecInfoReq, false);
    tabs_->setCurrentIndex(kPageDevice);
    layoutPage(kPageDevice);

    fillViews();
    applySettings(ViewerSettings::load());
    if (!notices.empty()) showNotice(notices);
}

void C_Main_Dlg::applySettings(const ViewerSettings& settings) {
    // The recorder chosen last, while it is still in the list.
    const int entry = settings.recorderId != 0 ? deviceCombo_->findData(settings.recorderId) : -1;
    if (entry >= 0 && entry != deviceCombo_->currentIndex()) {
        deviceCombo_->setCurrentIndex(entry);
        onDeviceSelected();
    }
    if (deviceCombo_->count() > 0) chooseChannel(settings.channel);

    auto* iframeOnly = qobject_cast<QCheckBox*>(control(kIFrameOnly));
    iframeOnly->setChecked(settings.iframeOnly);
    video_->setIFrameOnly(settings.iframeOnly ? 1 : 0);
    tabs_->setCurrentIndex(settings.page);
    gridChoices_ = settings.views;
    connectWithoutAsking_ = settings.connectWithoutAsking;
    restoreView();

    // The file may say anything: the place and size are fitted to the
    // screens of this session, and the place taken only where the title
    // bar can be reached.
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens()) screens.append(screen->availableGeometry());
    const WindowPlace place = fitToScreens(settings.position, settings.size, screens, minimumSize());
    if (place.size) resize(*place.size);
    normalSize_ = size();
    if (place.position) move(*place.position);
    normalPosition_ = pos();
    if (settings.maximised) setWindowState(windowState() | Qt::WindowMaximized);
    if (settings.fullScreen) setFullScreen(true);
}

ViewerSettings C_Main_Dlg::currentSettings() const {
    ViewerSettings settings;
    const int entry = deviceCombo_->currentIndex();
    settings.recorderId = entry >= 0 ? deviceCombo_->itemData(entry).toUInt() : 0;
    const int channel = working_.currentChannel.load();
    settings.channel = channel >= 0 && channel < kDefaultChannelEntries ? channel : 0;
    settings.iframeOnly = qobject_cast<QCheckBox*>(control(kIFrameOnly))->isChecked();
    settings.page = tabs_->currentIndex();
    const bool normal = !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) && !fullScreen_;
    settings.position = normal ? pos() : normalPosition_;
    settings.size = normal ? size() : normalSize_;
    settings.maximised = fullScreen_ ? maximisedBeforeFullScreen_ : (windowState() & Qt::WindowMaximized) != 0;
    settings.fullScreen = fullScreen_;
    settings.views = gridChoices_;
    settings.connectWithoutAsking = connectWithoutAsking_;
    return settings;
}

bool C_Main_Dlg::selectRecorderByName(const QString& name) {
    const int entry = deviceCombo_->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (entry < 0) return false;
    deviceCombo_->setCurrentIndex(entry);
    onDeviceSelected();
    return true;
}

bool C_Main_Dlg::chooseChannel(int channel) {
    const int entry = channelCombo_->findData(channel);
    if (entry < 0) return false;
    channelCombo_->setCurrentIndex(entry);
    working_.currentChannel.store(channel);
    return true;
}

bool C_Main_Dlg::connectWithoutAsking() {
    if (isConnected() || !control(kConnect)->isEnabled()) return false;
    return connectToRecorder(false);
}

void C_Main_Dlg::fillStaticCombos() {
    auto* presetNumber = qobject_cast<QComboBox*>(control(kPresetNumber));
    for (int i = 1; i <= kPresetEntries; ++i) presetNumber->addItem(QStringLiteral("P %1").arg(i), i - 1);
    presetNumber->setCurrentIndex(0);

    auto* presetAction = qobject_cast<QComboBox*>(control(kPresetAction));
    presetAction->addItem(QStringLiteral("Move"), 0);
    presetAction->addItem(QStringLiteral("Set"), 1);
    presetAction->setCurrentIndex(0);

    fillAlarmOutputs(kAlarmOutputEntries);

    auto* duration = qobject_cast<QComboBox*>(control(kAlarmDuration));
    for (const Duration& d : kAlarmDurations) duration->addItem(QString::fromLatin1(d.text), d.seconds);
    duration->setCurrentIndex(0);
}

void C_Main_Dlg::fillAlarmOutputs(int count) {
    auto* output = qobject_cast<QComboBox*>(control(kAlarmOutput));
    if (output->count() == count + 1) return;
    // The chosen output stays chosen while it is offered.
    const int chosen = output->currentIndex();
    output->clear();
    output->addItem(QStringLiteral("ALL"), 0);
    for (int i = 1; i <= count; ++i) output->addItem(QString::number(i), i);
    output->setCurrentIndex(chosen >= 0 && chosen <= count ? chosen : 0);
}

void C_Main_Dlg::refreshAlarmOutputs() {
    // The count comes with the login; once video flows it is in the record.
    if (isConnected() && video_->session().status() == kStatusDataSendOk) {
        fillAlarmOutputs(alarmOutputEntries(working_));
    }
}

void C_Main_Dlg::fitControlsToContents() {
    // The desktop's style may draw wider frames and margins than the dialog
    // units allow for: a control never gets smaller than its text needs. The device combo takes its width from the page layout.
    for (int id : allPageControls()) {
        QWidget* widget = control(id);
        QSize size = widget->size().expandedTo(widget->sizeHint());
        if (id == kDeviceCombo) size.setWidth(widget->width());
        widget->resize(size);
    }
}

void C_Main_Dlg::layoutVideoAndTabs() {
    if (fullScreen_) {
        video_->setGeometry(placeTimeline(client_));
        tabs_->hide();
        showFirstRunForm();
        return;
    }
    const DialogGeometry geometry = grownGeometry(client_, QSize(kClientWidth, kClientHeight));
    video_->setGeometry(placeTimeline(geometry.video));
    tabs_->setGeometry(geometry.tabs);
    tabs_->show();
    showFirstRunForm();
}

void C_Main_Dlg::layoutPage(int index) {
    if (fullScreen_) {
        for (int id : allPageControls()) control(id)->hide();
        return;
    }
    // The rows hang directly below the tab headers, as wide as in the
    // smallest window however wide the window grows.
    const QRect video = video_->geometry();
    PageFrame frame;
    frame.left = video.x();
    frame.right = video.x() + std::min(video.width(), static_cast<int>(kClientWidth));
    frame.base = tabs_->y() + tabs_->tabBar()->sizeHint().height() + 3;
    const auto placements = placePage(index, frame, [this](int id) {
        QWidget* widget = control(id);
        return widget != nullptr ? widget->size() : QSize();
    });
    for (int id : allPageControls()) {
        const bool shown = std::any_of(placements.begin(), placements.end(),
                                       [id](const Placement& p) { return p.id == id; });
        if (!shown) control(id)->hide();
    }
    for (const Placement& placement : placements) {
        QWidget* widget = control(placement.id);
        widget->setGeometry(placement.rect);
        widget->raise();
        widget->show();
    }
    if (index == kPageAlarm) refreshAlarmOutputs();
}

void C_Main_Dlg::applyControlState(ControlState state) {
    for (const auto& [id, enabled] : controlStateChanges(state)) setControlEnabled(id, enabled);
    // The view goes with the channel list.
    updateViewControls();
}

void C_Main_Dlg::setControlEnabled(int id, bool enabled) {
    if (QWidget* widget = control(id)) widget->setEnabled(enabled);
}

QWidget* C_Main_Dlg::control(int id) const {
    const auto found = controls_.find(id);
    return found != controls_.end() ? found->second : nullptr;
}

bool C_Main_Dlg::isConnected() const {
    const auto* button = qobject_cast<QPushButton*>(control(kConnect));
    return button != nullptr && button->text() != QLatin1String(kConnectText);
}

LParam C_Main_Dlg::sendToVideo(uint32_t message, WParam wParam, LParam lParam) {
    if (videoTap_) videoTap_(message, wParam, lParam);
    return video_ != nullptr ? video_->sendMessage(message, wParam, lParam) : 0;
}

LParam C_Main_Dlg::sendMessage(uint32_t message, WParam wParam, LParam lParam) {
    if (QThread::currentThread() == thread()) return handleMessage(message, wParam, lParam);
    LParam result = 0;
    QMetaObject::invokeMethod(
        this, [&] { result = handleMessage(message, wParam, lParam); }, Qt::BlockingQueuedConnection);
    return result;
}

LParam C_Main_Dlg::handleMessage(uint32_t message, WParam wParam, LParam) {
    switch (message) {
    case VWM_DEVICE_SAVED:
        return 1;
    case VWM_RECORD_INFO:
    case VWM_SEARCH_INFO:
        onRangeKnown(wParam);
        return 1;
    case VWM_RECORD_INFO_FAIL:
        onNoRange();
        return 1;
    case VWM_CONNECTED:
        onConnected();
        return 1;
    default:
        return 0;
    }
}

bool C_Main_Dlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != this) return QDialog::eventFilter(watched, event);
    if (handleViewerKey(widget, *static_cast<QKeyEvent*>(event))) return true;
    return QDialog::eventFilter(watched, event);
}

void C_Main_Dlg::keyPressEvent(QKeyEvent* event) {
    // Escape would reject the dialog, which closes the program: here it
    // only leaves full screen.
    if (event->key() == Qt::Key_Escape) {
        leaveByEscape();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void C_Main_Dlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), fullScreen_ ? Qt::black : Qt::white);
}

void C_Main_Dlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) && !fullScreen_) normalSize_ = size();
    client_ = rect();
    layoutVideoAndTabs();
    layoutPage(tabs_->currentIndex());
}

void C_Main_Dlg::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    if (!(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) && !fullScreen_) normalPosition_ = pos();
}

void C_Main_Dlg::accept() { exitSequence(); }

void C_Main_Dlg::reject() { exitSequence(); }

void C_Main_Dlg::exitSequence() {
    if (exiting_) return;
    exiting_ = true;
    if (isConnected()) {
        onConnectClicked();  // the disconnect branch, run to its end
        QThread::msleep(kExitWaitMs);
    }
    if (!currentSettings().save()) {
        debugLogf("orvix: the settings could not be written to %s\r\n", qPrintable(ViewerSettings::filePath()));
    }
    devices_.clear();  // not saved: every change was saved when it was made
    QDialog::done(QDialog::Accepted);
    exiting_ = false;
}

void C_Main_Dlg::showPasswordNotice() { showPasswordNotice(takeStorePasswordNotice(binding_)); }

void C_Main_Dlg::showPasswordNotice(const std::string& notice) {
    if (notice.empty()) return;
    video_->session().setInfoLine(notice);
    video_->update();
}

void C_Main_Dlg::tellUser(const QString& text) {
    QMessageBox box(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
    box.exec();
}

void C_Main_Dlg::showNotice(const std::string& text) {
    // Shown once, without blocking the dialog's start.
    if (noticeBox_ == nullptr) {
        noticeBox_ = new QMessageBox(QMessageBox::Warning, windowTitle(), QString(), QMessageBox::Ok, this);
        noticeBox_->setAttribute(Qt::WA_DeleteOnClose);
        noticeBox_->setWindowModality(Qt::NonModal);
    }
    noticeBox_->setText(QString::fromStdString(text));
    noticeBox_->show();
}

}  // namespace orvix
