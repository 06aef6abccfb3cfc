#include "setup/c_dev_setup_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QScrollArea>
#include <QTabBar>
#include <QVBoxLayout>
#include <algorithm>
#include <ctime>
#include <string_view>

#include "core/window_messages.h"
#include "setup/ddns_port_rules.h"
#include "setup/default_ddns_servers.h"
#include "setup/port_text.h"

namespace orvix {
namespace {

constexpr const char* kControlIdProperty = "controlId";
// Width of every edit field and of the framing list.
constexpr int kFieldWidth = 170;

QString toQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::u16string_view viewOf(const QString& text) {
    return std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()));
}

template <typename Widget>
Widget* withId(Widget* widget, int id) {
    widget->setProperty(kControlIdProperty, id);
    return widget;
}

}  // namespace

C_DevSetup_Dlg::C_DevSetup_Dlg(DeviceRecord& record, int32_t variant, int32_t mode, QWidget* parent)
    : QDialog(parent), record_(record), variant_(variant), mode_(mode) {
    setWindowTitle(QStringLiteral("Setup"));
    createControls();
    if (mode_ == kSetupModeAdd) resetStoredFields(record_);
    fillControls();
    layoutContent();
    tabs_->setCurrentIndex(kSetupPageInfo);
    showPage(kSetupPageInfo);
    // The name comes first.
    name_->setFocus(Qt::OtherFocusReason);
}

C_DevSetup_Dlg::~C_DevSetup_Dlg() {
    // Destroyed without being closed (its parent went away): nothing was
    // saved, so say so through the id as a cancel does.
    if (!closed_ && (mode_ == kSetupModeAdd || mode_ == kSetupModeEdit)) record_.id = 0;
}

QWidget* C_DevSetup_Dlg::control(int id) const {
    const auto widgets = findChildren<QWidget*>();
    for (QWidget* widget : widgets) {
        const QVariant value = widget->property(kControlIdProperty);
        if (value.isValid() && value.toInt() == id) return widget;
    }
    return nullptr;
}

QMessageBox* C_DevSetup_Dlg::portWarning() const { return portWarning_.data(); }

void C_DevSetup_Dlg::createControls() {
    // The controls sit at fixed positions on one content widget; the scroll
    // area keeps them reachable when the screen is smaller than the dialog.
    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(false);
    content_ = new QWidget;
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll_);

    tabs_ = withId(new QTabBar(content_), kSetupTabs);
    tabs_->addTab(QStringLiteral("INFO"));
    tabs_->addTab(QStringLiteral("DDNS"));
    tabs_->addTab(QStringLiteral("STATIC"));
    tabs_->setExpanding(false);
    // The page area under the tabs; the page controls are created after it
    // so that they stack above it.
    pageFrame_ = new QFrame(content_);
    pageFrame_->setFrameShape(QFrame::StyledPanel);

    auto label = [this](int id, const char* text) { return withId(new QLabel(QString::fromLatin1(text), content_), id); };
    auto edit = [this](int id) { return withId(new QLineEdit(content_), id); };

    QLabel* nameLabel = label(kSetupNameLabel, "NAME :");
    name_ = edit(kSetupName);
    QLabel* accountLabel = label(kSetupAccountLabel, "ID :");
    account_ = edit(kSetupAccount);
    QLabel* passwordLabel = label(kSetupPasswordLabel, "PASS:");
    password_ = edit(kSetupPassword);
    password_->setEchoMode(QLineEdit::Password);
    QLabel* framingLabel = label(kSetupFramingLabel, "MODEL:");
    framing_ = withId(new QComboBox(content_), kSetupFraming);

    useDdns_ = withId(new QCheckBox(QStringLiteral("Use DDNS"), content_), kSetupUseDdns);
    QLabel* ddnsIdLabel = label(kSetupDdnsIdLabel, "ID        :");
    ddnsId_ = edit(kSetupDdnsId);
    QLabel* ddnsServerLabel = label(kSetupDdnsServerLabel, "ADDR :");
    ddnsServer_ = edit(kSetupDdnsServer);
    QLabel* ddnsPortLabel = label(kSetupDdnsPortLabel, "PORT :");
    ddnsPort_ = edit(kSetupDdnsPort);

    useStatic_ = withId(new QCheckBox(QStringLiteral("Use STATIC"), content_), kSetupUseStatic);
    QLabel* addressLabel = label(kSetupAddressLabel, "ADDR :");
    address_ = edit(kSetupAddress);
    QLabel* portLabel = label(kSetupPortLabel, "PORT :");
    port_ = edit(kSetupPort);

    // Ports: digits only, at most five of them; the range is checked on save.
    auto* digits = new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(kPortFieldMaxDigits)), this);
    for (QLineEdit* field : {ddnsPort_, port_}) {
        field->setValidator(digits);
        field->setMaxLength(kPortFieldMaxDigits);
    }

    save_ = withId(new QPushButton(QStringLiteral("SAVE"), content_), kSetupSave);
    cancel_ = withId(new QPushButton(QStringLiteral("Cancel"), content_), kSetupCancel);
    // Enter in a field neither saves nor cancels: no button is a default.
    save_->setAutoDefault(false);
    cancel_->setAutoDefault(false);

    pages_[kSetupPageInfo] = {{nameLabel, name_}, {accountLabel, account_}, {passwordLabel, password_},
                              {framingLabel, framing_}};
    pages_[kSetupPageDdns] = {{useDdns_, nullptr}, {ddnsIdLabel, ddnsId_}, {ddnsServerLabel, ddnsServer_},
                              {ddnsPortLabel, ddnsPort_}};
    pages_[kSetupPageStatic] = {{useStatic_, nullptr}, {addressLabel, address_}, {portLabel, port_}};

    connect(tabs_, &QTabBar::currentChanged, this, &C_DevSetup_Dlg::showPage);
    connect(ddnsId_, &QLineEdit::textChanged, this, &C_DevSetup_Dlg::onDdnsIdEdited);
    connect(useDdns_, &QCheckBox::clicked, this, &C_DevSetup_Dlg::onUseDdnsClicked);
    connect(useStatic_, &QCheckBox::clicked, this, &C_DevSetup_Dlg::onUseStaticClicked);
    connect(save_, &QPushButton::clicked, this, &C_DevSetup_Dlg::save);
    connect(cancel_, &QPushButton::clicked, this, &C_DevSetup_Dlg::cancel);
}

void C_DevSetup_Dlg::layoutContent() {
    // Every label is as wide as the widest, so that fields line up.
    int labelWidth = 0;
    for (const auto& page : pages_) {
        for (const Row& row : page) {
            if (row.second != nullptr) labelWidth = std::max(labelWidth, row.first->sizeHint().width());
        }
    }
    const int editHeight = name_->sizeHint().height();
    int tallestPage = 0;
    for (const auto& page : pages_) {
        int height = -1;
        for (const Row& row : page) {
            if (row.second == nullptr) {
                row.first->resize(row.first->sizeHint());
            } else {
                const int fieldHeight = row.second == framing_ ? framing_->sizeHint().height() : editHeight;
                row.second->resize(kFieldWidth, fieldHeight);
                row.first->resize(labelWidth, fieldHeight);
                static_cast<QLabel*>(row.first)->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            }
            height += 1 + (row.second != nullptr ? row.second->height() : row.first->height());
        }
        tallestPage = std::max(tallestPage, height);
    }

    // Check boxes and labels start 2 pixels inside the tab control; fields
    // follow their label.
    fieldX_ = labelWidth + 3;
    const int width = std::max(tabs_->sizeHint().width(), fieldX_ + kFieldWidth + 3);
    tabs_->setGeometry(0, 0, width, tabs_->sizeHint().height());
    rowsTop_ = tabs_->height() + 2;
    const int pageHeight = tallestPage + 4;
    pageFrame_->setGeometry(0, tabs_->height(), width, pageHeight);
    const int tabControlHeight = tabs_->height() + pageHeight;

    save_->resize(save_->sizeHint());
    cancel_->resize(cancel_->sizeHint());
    save_->move(3, tabControlHeight + 2);
    cancel_->move(save_->width() + 4, tabControlHeight + 2);
    content_->setFixedSize(width, tabControlHeight + 2 + std::max(save_->height(), cancel_->height()) + 3);
    scroll_->setWidget(content_);

    // As large as the content, but never larger than the screen.
    QSize size = content_->size();
    const QScreen* screen = parentWidget() != nullptr ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) size = size.boundedTo(screen->availableGeometry().size());
    resize(size);
}

void C_DevSetup_Dlg::showPage(int index) {
    for (const auto& page : pages_) {
        for (const Row& row : page) {
            row.first->hide();
            if (row.second != nullptr) row.second->hide();
        }
    }
    if (index < 0 || index >= static_cast<int>(pages_.size())) return;
    // Each row starts 1 pixel below the previous one.
    int top = rowsTop_;
    for (const Row& row : pages_[static_cast<size_t>(index)]) {
        row.first->move(2, top);
        row.first->show();
        int height = row.first->height();
        if (row.second != nullptr) {
            row.second->move(fieldX_, top);
            row.second->show();
            height = row.second->height();
        }
        top += height + 1;
    }
}

void C_DevSetup_Dlg::fillControls() {
    if (!isKnownVariant(variant_)) return;
    framing_->addItem(QStringLiteral("MPEG4"), 0);
    framing_->addItem(QStringLiteral("H.264"), 1);

    name_->setText(toQString(record_.name.view()));
    account_->setText(toQString(record_.account.view()));
    password_->setText(toQString(record_.password.view()));
    // This runs the port-by-id rule too; the stored port set next wins.
    ddnsId_->setText(toQString(record_.ddnsId.view()));
    ddnsServer_->setText(toQString(record_.ddnsServer.view()));
    ddnsPort_->setText(QString::number(record_.ddnsPort));
    address_->setText(toQString(record_.address.view()));
    port_->setText(QString::number(record_.port));

    useDdns_->setChecked(record_.useDdns != 0);
    useStatic_->setChecked(record_.useStatic != 0);
    applyEnabledState();

    const int32_t framing = record_.framingKind.load();
    framing_->setCurrentIndex(framing == 0 || framing == 1 ? framing : -1);

    // A recorder without a server gets the variant's server (and its port,
    // where the variant has one). A server the user chose stays, unless the
    // variant locks the server fields: then only its own server can be used.
    if (record_.ddnsServer.empty() || ddnsServerLocked(variant_)) {
        ddnsServer_->setText(toQString(defaultDdnsServer(variant_)));
        if (const auto forced = forcedDdnsPort(variant_)) ddnsPort_->setText(QString::number(*forced));
    }
}

void C_DevSetup_Dlg::applyEnabledState() {
    const bool ddns = useDdns_->isChecked();
    const bool direct = useStatic_->isChecked();
    ddnsId_->setEnabled(ddns);
    const bool serverEditable = ddns && !ddnsServerLocked(variant_);
    ddnsServer_->setEnabled(serverEditable);
    ddnsPort_->setEnabled(serverEditable);
    address_->setEnabled(direct);
    port_->setEnabled(direct);
}

void C_DevSetup_Dlg::onDdnsIdEdited(const QString& text) {
    if (const auto port = ddnsPortForId(viewOf(text), variant_)) ddnsPort_->setText(QString::number(*port));
}

void C_DevSetup_Dlg::onUseDdnsClicked(bool checked) {
    useStatic_->setChecked(!checked);
    if (isKnownVariant(variant_)) applyEnabledState();
}

void C_DevSetup_Dlg::onUseStaticClicked(bool checked) {
    useDdns_->setChecked(!checked);
    if (isKnownVariant(variant_)) applyEnabledState();
}

bool C_DevSetup_Dlg::checkPort(QLineEdit* field, int page, const QString& what) {
    if (parsePortText(viewOf(field->text()))) return true;
    refuse(field, page, QStringLiteral("The %1 must be a number from 0 to 65535.").arg(what));
    return false;
}

bool C_DevSetup_Dlg::checkFilled(QLineEdit* field, int page, const QString& what) {
    if (!field->text().trimmed().isEmpty()) return true;
    refuse(field, page, QStringLiteral("Enter %1.").arg(what));
    return false;
}

void C_DevSetup_Dlg::refuse(QLineEdit* field, int page, const QString& text) {
    // The field in question is shown, with the cursor in it.
    tabs_->setCurrentIndex(page);
    field->setFocus();
    field->selectAll();
    if (portWarning_ == nullptr) {
        portWarning_ = new QMessageBox(QMessageBox::Warning, windowTitle(), QString(), QMessageBox::Ok, this);
    }
    portWarning_->setText(text);
    portWarning_->open();
}

void C_DevSetup_Dlg::save() {
    if (closed_) return;
    // Refuse what cannot work before anything of the record is written: a
    // recorder needs a name for the list and an address to be reached at.
    if (!checkFilled(name_, kSetupPageInfo, QStringLiteral("a NAME for the recorder (page INFO)"))) return;
    const bool direct = useStatic_->isChecked();
    if (direct && !checkFilled(address_, kSetupPageStatic, QStringLiteral("the recorder's ADDR (page STATIC)"))) return;
    if (!direct && !checkFilled(ddnsId_, kSetupPageDdns, QStringLiteral("the recorder's DDNS ID (page DDNS)"))) return;
    if (!checkPort(ddnsPort_, kSetupPageDdns, QStringLiteral("DDNS server port")) ||
        !checkPort(port_, kSetupPageStatic, QStringLiteral("recorder port"))) {
        return;
    }
    record_.framingKind.store(framing_->currentIndex() < 0 ? -1 : framing_->currentData().toInt());
    setText(record_.name, viewOf(name_->text()));
    setText(record_.account, viewOf(account_->text()));
    setText(record_.password, viewOf(password_->text()));
    setText(record_.ddnsId, viewOf(ddnsId_->text()));
    setText(record_.ddnsServer, viewOf(ddnsServer_->text()));
    record_.ddnsPort = parsePortText(viewOf(ddnsPort_->text())).value_or(0);
    setText(record_.address, viewOf(address_->text()));
    record_.port = parsePortText(viewOf(port_->text())).value_or(0);
    record_.useDdns = useDdns_->isChecked() ? 1 : 0;
    record_.useStatic = useStatic_->isChecked() ? 1 : 0;

    if (record_.owner != nullptr) {
        static_cast<MessageTarget*>(record_.owner)
            ->sendMessage(VWM_DEVICE_SAVED, reinterpret_cast<WParam>(&record_), 0);
    }
    if (mode_ == kSetupModeAdd) {
        // Id 0 would read as "cancelled"; the clock gives it only once in 136 years.
        const auto now = static_cast<uint32_t>(std::time(nullptr));
        record_.id = now != 0 ? now : 1;
    }
    closed_ = true;
    QDialog::done(QDialog::Accepted);
}

void C_DevSetup_Dlg::cancel() {
    if (closed_) return;
    closed_ = true;
    if (mode_ == kSetupModeAdd || mode_ == kSetupModeEdit) record_.id = 0;
    QDialog::done(QDialog::Rejected);
}

void C_DevSetup_Dlg::accept() { cancel(); }

void C_DevSetup_Dlg::reject() { cancel(); }

}  // namespace orvix
