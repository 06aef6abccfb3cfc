#include "tests/gui/video_qt_support.h"

#include <QApplication>
#include <gtest/gtest.h>

namespace orvix {
namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "video_qt_tests";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
    }
    void TearDown() override { delete app_; }

private:
    QApplication* app_ = nullptr;
};

const auto* const kQt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
}  // namespace orvix
