#include "app/first_run_form.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvix {
namespace {

QLineEdit* field(QWidget* parent, const char* objectName) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(objectName));
    return edit;
}

}  // namespace

FirstRunForm::FirstRunForm(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("FirstRunForm"));
    setAutoFillBackground(true);

    auto* heading = new QLabel(QStringLiteral("<b>Add a recorder</b>"), this);
    auto* hint = new QLabel(
        QStringLiteral("A recorder on your network: its address and login are all it takes."), this);
    hint->setWordWrap(true);

    name_ = field(this, "FirstRunName");
    name_->setPlaceholderText(QStringLiteral("e.g. Shop (the address if left empty)"));
    address_ = field(this, "FirstRunAddress");
    address_->setPlaceholderText(QStringLiteral("host name or IP, e.g. 192.168.1.20"));
    port_ = field(this, "FirstRunPort");
    port_->setValidator(new QIntValidator(1, 65535, port_));
    account_ = field(this, "FirstRunAccount");
    password_ = field(this, "FirstRunPassword");
    password_->setEchoMode(QLineEdit::Password);
    streamType_ = new QComboBox(this);
    streamType_->setObjectName(QStringLiteral("FirstRunStreamType"));
    // As the setup dialog offers them: the item data is the framing kind.
    streamType_->addItem(QStringLiteral("MPEG4"), 0);
    streamType_->addItem(QStringLiteral("H.264"), 1);

    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Name:"), name_);
    fields->addRow(QStringLiteral("Address:"), address_);
    fields->addRow(QStringLiteral("Port:"), port_);
    fields->addRow(QStringLiteral("Account:"), account_);
    fields->addRow(QStringLiteral("Password:"), password_);
    fields->addRow(QStringLiteral("Stream type:"), streamType_);

    save_ = new QPushButton(QStringLiteral("SAVE"), this);
    save_->setObjectName(QStringLiteral("FirstRunSave"));
    allSettings_ = new QPushButton(QStringLiteral("Use DDNS / all settings..."), this);
    allSettings_->setObjectName(QStringLiteral("FirstRunAllSettings"));
    // Enter in a field saves (returnPressed); the buttons take no part in
    // the dialog's own Enter handling, which would click them a second time.
    for (QPushButton* button : {save_, allSettings_}) button->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(save_);
    buttons->addWidget(allSettings_);
    buttons->addStretch();

    problem_ = new QLabel(this);
    problem_->setObjectName(QStringLiteral("FirstRunProblem"));
    problem_->setStyleSheet(QStringLiteral("color: #b00000"));
    problem_->hide();

    auto* column = new QVBoxLayout(this);
    column->addStretch();
    column->addWidget(heading);
    column->addWidget(hint);
    column->addLayout(fields);
    column->addLayout(buttons);
    column->addWidget(problem_);
    column->addStretch();
    column->setContentsMargins(24, 8, 24, 8);

    connect(save_, &QPushButton::clicked, this, &FirstRunForm::saveRequested);
    connect(allSettings_, &QPushButton::clicked, this, &FirstRunForm::allSettingsRequested);
    for (QLineEdit* edit : {name_, address_, port_, account_, password_}) {
        connect(edit, &QLineEdit::returnPressed, this, &FirstRunForm::saveRequested);
    }
    clear();
}

void FirstRunForm::clear() {
    for (QLineEdit* edit : {name_, address_, account_, password_}) edit->clear();
    port_->setText(QString::number(kDefaultRecorderPort));
    streamType_->setCurrentIndex(0);
    problem_->clear();
    problem_->hide();
}

QString FirstRunForm::problem() const { return problem_->isHidden() ? QString() : problem_->text(); }

bool FirstRunForm::fill(DeviceRecord& record) {
    const QString address = address_->text().trimmed();
    bool portOk = false;
    const int port = port_->text().toInt(&portOk);
    QString why;
    if (address.isEmpty()) {
        why = QStringLiteral("Enter the recorder's address.");
    } else if (!portOk || port < 1 || port > 65535) {
        why = QStringLiteral("The port is a number from 1 to 65535.");
    }
    if (!why.isEmpty()) {
        problem_->setText(why);
        problem_->show();
        return false;
    }
    problem_->hide();
    const QString name = name_->text().trimmed();
    resetStoredFields(record);
    setText(record.name, (name.isEmpty() ? address : name).toStdU16String());
    setText(record.address, address.toStdU16String());
    record.port = static_cast<uint16_t>(port);
    setText(record.account, account_->text().toStdU16String());
    setText(record.password, password_->text().toStdU16String());
    record.framingKind.store(streamType_->currentData().toInt());
    record.useDdns = 0;
    record.useStatic = 1;
    return true;
}

}  // namespace orvix
