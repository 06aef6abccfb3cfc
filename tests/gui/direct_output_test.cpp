// Pictures put straight into the view's X window from the display thread,
// read back from the X server. Run under Xvfb with the xcb platform (see the
// test list); skipped elsewhere.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "gui/aspect_fit.h"
#include "gui/direct_output.h"
#include "gui/direct_view.h"
#include "gui/frame_hand_over.h"
#include "gui/software_renderer.h"
#include "gui/video_output.h"
#include "tests/gui/video_qt_support.h"

namespace orvix {
namespace {

bool onX() { return QGuiApplication::platformName() == QLatin1String("xcb"); }

bool isBlack(QRgb c) { return qRed(c) < 20 && qGreen(c) < 20 && qBlue(c) < 20; }
bool isRed(QRgb c) { return qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60; }

// What the X server holds for the view's window (not what Qt would paint).
QImage serverPixels(const QWidget& view) {
    return QGuiApplication::primaryScreen()->grabWindow(view.winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

// A shown window with a view covering it.
struct DirectFixture {
    QWidget window;
    FrameHandOver handOver;
    DirectOutput output;
    DirectView* view = nullptr;

    explicit DirectFixture(const QSize& size) {
        window.resize(size);
        view = new DirectView(handOver, output, &window);
        view->setGeometry(window.rect());
        window.show();
        processUntil([&] { return view->isVisible() && view->size() == size; });
    }
};

TEST(DirectOutput, PicturesGoStraightIntoTheWindowWithBarsOverlayAndStatusLines) {
    if (!onX()) GTEST_SKIP() << "not on an X server";
    DirectFixture fixture(QSize(500, 300));
    ASSERT_TRUE(fixture.output.open(fixture.view->windowId())) << fixture.output.error();
    fixture.output.setStatusLines(StatusLines{9, QStringLiteral("Data Send OK [25fps][300byte]"), QString()});

    TestFrame test(352, 288, kRed, kBlue);
    const int paintsBefore = fixture.view->paints();
    bool presented = false;
    std::thread display([&] { presented = fixture.output.present(test.frame, test.overlay(), QSize(500, 300)); });
    display.join();
    ASSERT_TRUE(presented);
    EXPECT_EQ(fixture.output.presented(), 1u);

    // A 4:3 picture in a 5:3 window: 400 x 300 in the middle, black bars.
    const QRect target = fitPicture(QRect(0, 0, 500, 300), QSize(352, 288));
    ASSERT_EQ(target, QRect(50, 0, 400, 300));
    QImage shown;
    ASSERT_TRUE(processUntil([&] {
        shown = serverPixels(*fixture.view);
        return shown.size() == QSize(500, 300) && isRed(shown.pixel(150, 150));
    }));
    EXPECT_TRUE(isBlack(shown.pixel(20, 150)));
    EXPECT_TRUE(isBlack(shown.pixel(480, 150)));
    EXPECT_EQ(shown.pixel(350, 150), kBlue);
    // The overlay's first row in blue over the picture's top left, the
    // others in yellow; the status line along the bottom.
    EXPECT_GT(countPixels(shown, QRect(50, 0, 200, 20), isBlue), 20);
    EXPECT_GT(countPixels(shown, QRect(50, 20, 200, 40), isYellow), 20);
    // The status line starts on the black bar, in red; its dark band
    // darkens the picture beside it.
    EXPECT_GT(countPixels(shown, QRect(0, 262, 50, 20), isRed), 10);
    EXPECT_FALSE(isRed(shown.pixel(150, 265)));
    // Qt painted nothing for the picture.
    EXPECT_EQ(fixture.view->paints(), paintsBefore);

    // Qt's own paint (an expose, a grab) shows the same picture.
    const QImage grabbed = fixture.view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(grabbed.pixel(150, 150), shown.pixel(150, 150));
    EXPECT_EQ(grabbed.pixel(20, 150), shown.pixel(20, 150));
    EXPECT_EQ(countPixels(grabbed, QRect(50, 0, 200, 20), isBlue), countPixels(shown, QRect(50, 0, 200, 20), isBlue));

    // Other status lines while no picture comes: painted over the last
    // picture, whose pixels under the old lines come back.
    EXPECT_TRUE(fixture.output.setStatusLines(StatusLines{9, QString(), QStringLiteral("Search start ...")}));
    EXPECT_FALSE(fixture.output.setStatusLines(StatusLines{9, QString(), QStringLiteral("Search start ...")}));
    const QImage relined = fixture.view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(countPixels(relined, QRect(0, 262, 50, 18), isRed), 0);
    EXPECT_GT(countPixels(relined, QRect(0, 280, 50, 20), isYellow), 10);
    EXPECT_TRUE(isRed(relined.pixel(150, 265)));
}

TEST(DirectOutput, WhenTheWindowGoesAwayPicturesTakeTheGuisWayForGood) {
    if (!onX()) GTEST_SKIP() << "not on an X server";
    auto fixture = std::make_unique<DirectFixture>(QSize(352, 288));
    ASSERT_TRUE(fixture->output.open(fixture->view->windowId()));
    SoftwareRenderer renderer(fixture->handOver);
    renderer.setDirect(&fixture->output);
    TestFrame test(352, 288, kRed, kBlue);

    // Put into the window: the GUI learns the picture's size and place only.
    ASSERT_TRUE(renderer.present(test.frame, test.overlay()));
    HandedFrame handed = fixture->handOver.latest();
    EXPECT_TRUE(handed.image.isNull());
    EXPECT_EQ(handed.picture, QSize(352, 288));
    EXPECT_EQ(handed.source.size(), fitPicture(QRect(0, 0, 352, 288), QSize(352, 288)).size());

    // The window is destroyed under it: the server's refusal ends the
    // direct way, and from then on each picture is handed to the GUI.
    delete fixture->view;
    for (int i = 0; i < 200 && fixture->output.usable(); ++i) {
        QCoreApplication::processEvents();  // Qt's destroy reaches the server
        renderer.present(test.frame, test.overlay());
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_FALSE(fixture->output.usable());
    renderer.present(test.frame, test.overlay());
    handed = fixture->handOver.latest();
    ASSERT_FALSE(handed.image.isNull());
    EXPECT_EQ(handed.image.pixel(10, 10), kRed);
}

TEST(DirectOutput, ALaggingXServerHoldsUpNeitherTheStatusLinesNorARepaint) {
    if (!onX()) GTEST_SKIP() << "not on an X server";
    DirectFixture fixture(QSize(320, 240));
    ASSERT_TRUE(fixture.output.open(fixture.view->windowId())) << fixture.output.error();
    TestFrame red(320, 240, kRed, kRed);
    TestFrame blue(320, 240, kBlue, kBlue);
    // Both buffers made and read by the server.
    ASSERT_TRUE(fixture.output.present(red.frame, red.overlay(), QSize(320, 240)));
    ASSERT_TRUE(fixture.output.present(blue.frame, blue.overlay(), QSize(320, 240)));
    ASSERT_TRUE(processUntil([&] { return serverPixels(*fixture.view).pixel(160, 120) == kBlue; }));

    // Another client holds the server: it reads no one else's requests, so
    // the pictures put from now on stay unread.
    xcb_connection_t* holder = xcb_connect(nullptr, nullptr);
    ASSERT_EQ(xcb_connection_has_error(holder), 0);
    xcb_grab_server(holder);
    std::free(xcb_get_input_focus_reply(holder, xcb_get_input_focus(holder), nullptr));
    std::atomic<int> presented{0};
    std::thread display([&] {
        // Each buffer once; the third picture waits for the server.
        for (int i = 0; i < 3; ++i) {
            fixture.output.present(red.frame, red.overlay(), QSize(320, 240));
            ++presented;
        }
    });
    while (presented.load() < 2) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // well inside the third one's wait

    EXPECT_TRUE(fixture.output.setStatusLines(StatusLines{9, QStringLiteral("Data Send OK [1fps][1byte]"), QString()}));
    QImage repaint(320, 240, QImage::Format_RGB32);
    QPainter painter(&repaint);
    EXPECT_TRUE(fixture.output.paintLast(painter, repaint.rect()));
    painter.end();
    EXPECT_EQ(presented.load(), 2);  // the display thread still waits for the server
    EXPECT_TRUE(isRed(repaint.pixel(160, 120)));

    xcb_ungrab_server(holder);
    xcb_flush(holder);
    display.join();
    xcb_disconnect(holder);
}

TEST(DirectOutput, TheVideoOutputUsesTheDirectViewOnXAndFallsBackWithoutIt) {
    if (!onX()) GTEST_SKIP() << "not on an X server";
    QWidget window;
    window.resize(352, 288);
    window.show();
    VideoOutput output(&window);
    output.setUp(false);
    const bool shared = output.directOutput() != nullptr;
    QWidget* view = output.activeView();
    ASSERT_NE(view, nullptr);
    // The server of this run decides (see the test list): with shared
    // memory the direct view, without it the view the GUI paints.
    EXPECT_EQ(dynamic_cast<DirectView*>(view) != nullptr, shared);
    EXPECT_EQ(output.drawsStatusLines(), shared);
    EXPECT_EQ(shared, qEnvironmentVariable("ORVIX_TEST_NO_SHM") != QLatin1String("1"));

    TestFrame test(352, 288, kRed, kBlue);
    output.renderers().present(test.frame, OverlayStats{1, 25, 300});
    ASSERT_TRUE(processUntil([&] { return !view->isHidden(); }));
    QImage shot;
    ASSERT_TRUE(processUntil([&] {
        shot = serverPixels(*view);
        return !shot.isNull() && isRed(shot.pixel(100, 200)) && shot.pixel(300, 200) == kBlue;
    }));
    output.tearDown();
    EXPECT_EQ(output.directOutput(), nullptr);
    EXPECT_EQ(output.activeView(), nullptr);
}

}  // namespace
}  // namespace orvix
