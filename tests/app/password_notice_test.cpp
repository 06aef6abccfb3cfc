// Without a keyring (tests have no session bus) passwords stay in the device
// list file, and the dialog says so once on the video window's info line.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

#include "app/main_dialog_ids.h"
#include "gui/c_draw_static.h"
#include "tests/app/main_dialog_support.h"
#include "tests/store/previous_version_file.h"

using namespace orvix;
using namespace orvix::test;

namespace {

constexpr char kPasswordsInFile[] = "Passwords are kept in the device list file (no keyring)";

class PasswordNoticeTest : public MainDialogTest {
protected:
    std::string infoLine() { return dialog->videoWindow()->session().infoLine(); }
};

TEST_F(PasswordNoticeTest, AFileWithPasswordsIsNamedOnTheInfoLineAtStart) {
    const auto directory = std::filesystem::path(config.path()) / "orvix";
    std::filesystem::create_directories(directory);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((directory / "devices.db").c_str(), &db), SQLITE_OK);
    const std::string rows = std::string(kPreviousVersionSchema) + previousVersionRow(0, 7, "Gate", "gate-pw");
    EXPECT_EQ(sqlite3_exec(db, rows.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    open();
    // Found out on the store's thread once the list is shown.
    EXPECT_TRUE(processUntil([this] { return infoLine() == kPasswordsInFile; }));
    EXPECT_EQ(dialog->noticeBox(), nullptr);  // a note, not a warning
    EXPECT_EQ(dialog->workingRecord().password.view(), u"gate-pw");
}

TEST_F(PasswordNoticeTest, TheFirstPasswordSavedToTheFileIsNamedOnce) {
    open();
    EXPECT_EQ(infoLine(), "");
    ScriptedSetup setup(*dialog, [](DeviceRecord& record, int32_t, int32_t mode) {
        if (mode == 0) resetStoredFields(record);
        setText(record.name, u"Dock");
        setText(record.password, u"dock-pw");
        if (mode == 0) record.id = 600;
    });
    click(kAddDevice);
    settleStore();
    EXPECT_EQ(infoLine(), kPasswordsInFile);
    // Said once: a later save leaves the line to whatever comes next.
    dialog->videoWindow()->session().setInfoLine("");
    click(kInfoSetup);
    settleStore();
    EXPECT_EQ(infoLine(), "");
}

}  // namespace
