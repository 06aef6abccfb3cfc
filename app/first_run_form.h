// The form shown where the video goes while the device list is empty: the
// few fields an ordinary recorder on the local network needs (name,
// address, port, account, password, stream type), SAVE, and a button to the
// full setup dialog for DDNS and everything else. It edits no record until
// the dialog asks it to fill one.
#pragma once

#include <QString>
#include <QWidget>

#include "core/device_record.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace orvix {

class FirstRunForm : public QWidget {
    Q_OBJECT

public:
    // GUI thread, all of it.
    explicit FirstRunForm(QWidget* parent = nullptr);

    // Writes the fields into `record` as a recorder at a static address
    // (its other stored fields reset to the setup dialog's defaults for a
    // new recorder); the id is left to the caller. False, with the reason
    // shown on the form and `record` untouched, when the address is empty
    // or the port is not 1-65535.
    bool fill(DeviceRecord& record);
    // Empties the fields again for the next time the form shows.
    void clear();

    QLineEdit* nameField() const { return name_; }
    QLineEdit* addressField() const { return address_; }
    QLineEdit* portField() const { return port_; }
    QLineEdit* accountField() const { return account_; }
    QLineEdit* passwordField() const { return password_; }
    QComboBox* streamTypeList() const { return streamType_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* allSettingsButton() const { return allSettings_; }
    // What the form says is wrong with its fields; empty when nothing is.
    QString problem() const;

signals:
    // SAVE, or Enter in a field.
    void saveRequested();
    // "Use DDNS / all settings...": the setup dialog instead.
    void allSettingsRequested();

private:
    QLineEdit* name_;
    QLineEdit* address_;
    QLineEdit* port_;
    QLineEdit* account_;
    QLineEdit* password_;
    QComboBox* streamType_;
    QPushButton* save_;
    QPushButton* allSettings_;
    QLabel* problem_;
};

}  // namespace orvix
