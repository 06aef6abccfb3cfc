// The modal "Setup" dialog that edits one recorder's settings in place.
//
// The dialog writes the caller's DeviceRecord only at three moments: when it
// opens for a new recorder (the stored fields are reset), when the user saves
// (every shown field, then a new id for a new recorder) and when it is
// cancelled (id := 0, so the caller can tell). Every way of closing other
// than "SAVE" counts as cancelling, including Escape and the close box.
//
// Each control carries its numeric id in the dynamic property "controlId",
// so callers and tests find controls by id rather than by object type.
#pragma once

#include <QDialog>
#include <QPointer>
#include <array>
#include <cstdint>
#include <vector>

#include "core/device_record.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMessageBox;
class QPushButton;
class QScrollArea;
class QTabBar;

namespace orvix {

// Ids of the dialog's controls.
enum SetupControl : int {
    kSetupTabs = 3000,
    kSetupNameLabel = 1025,
    kSetupName = 1026,
    kSetupAccountLabel = 1016,
    kSetupAccount = 1017,
    kSetupPasswordLabel = 1018,
    kSetupPassword = 1019,
    kSetupFramingLabel = 1020,
    kSetupFraming = 1024,
    kSetupUseDdns = 1023,
    kSetupDdnsIdLabel = 1022,
    kSetupDdnsId = 1021,
    kSetupDdnsServerLabel = 1027,
    kSetupDdnsServer = 1028,
    kSetupDdnsPortLabel = 1012,
    kSetupDdnsPort = 1011,
    kSetupUseStatic = 1033,
    kSetupAddressLabel = 1034,
    kSetupAddress = 1030,
    kSetupPortLabel = 1014,
    kSetupPort = 1013,
    kSetupSave = 1035,
    kSetupCancel = 1036,
};

// Modes of the dialog.
constexpr int32_t kSetupModeAdd = 0;
constexpr int32_t kSetupModeEdit = 1;

// Tab indexes.
constexpr int kSetupPageInfo = 0;
constexpr int kSetupPageDdns = 1;
constexpr int kSetupPageStatic = 2;

class C_DevSetup_Dlg : public QDialog {
    Q_OBJECT

public:
    // Opens on `record`: in mode 0 its stored fields are reset first, then
    // the controls are filled from it for variants 0-4. The record must
    // outlive the dialog.
    C_DevSetup_Dlg(DeviceRecord& record, int32_t variant, int32_t mode, QWidget* parent = nullptr);
    ~C_DevSetup_Dlg() override;

    // The control with this id, or null.
    QWidget* control(int id) const;

    // The dialog's OK command: cancels, like "Cancel". Only "SAVE" saves.
    void accept() override;
    // Escape and the close box: cancel.
    void reject() override;

    // Shows the page with this index (0 INFO, 1 DDNS, 2 STATIC) and hides the
    // controls of the other pages; other indexes hide every page control.
    void showPage(int index);

    // The warning shown when SAVE refuses (a missing name or address, a port
    // out of range), while it is open.
    QMessageBox* portWarning() const;

private:
    struct Row {
        QWidget* first;   // check box, or label
        QWidget* second;  // field, or null for a check box row
    };

    void createControls();
    void layoutContent();
    void fillControls();
    void applyEnabledState();
    void onDdnsIdEdited(const QString& text);
    void onUseDdnsClicked(bool checked);
    void onUseStaticClicked(bool checked);
    void save();
    void cancel();
    bool checkPort(QLineEdit* field, int page, const QString& what);
    bool checkFilled(QLineEdit* field, int page, const QString& what);
    void refuse(QLineEdit* field, int page, const QString& text);

    DeviceRecord& record_;
    const int32_t variant_;
    const int32_t mode_;
    bool closed_ = false;
    int rowsTop_ = 0;  // top of a page's first row
    int fieldX_ = 0;   // left edge of the fields

    QScrollArea* scroll_ = nullptr;
    QWidget* content_ = nullptr;
    QTabBar* tabs_ = nullptr;
    QFrame* pageFrame_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLineEdit* account_ = nullptr;
    QLineEdit* password_ = nullptr;
    QComboBox* framing_ = nullptr;
    QCheckBox* useDdns_ = nullptr;
    QLineEdit* ddnsId_ = nullptr;
    QLineEdit* ddnsServer_ = nullptr;
    QLineEdit* ddnsPort_ = nullptr;
    QCheckBox* useStatic_ = nullptr;
    QLineEdit* address_ = nullptr;
    QLineEdit* port_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPointer<QMessageBox> portWarning_;

    std::array<std::vector<Row>, 3> pages_;
};

}  // namespace orvix
