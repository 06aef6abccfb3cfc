#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QWidget>
#include <string>
#include <thread>
#include <vector>

#include <QPainter>

#include "gui/accelerated_renderer.h"
#include "gui/aspect_fit.h"
#include "gui/frame_hand_over.h"
#include "gui/gl_video_view.h"
#include "gui/overlay_layer.h"
#include "gui/overlay_painter.h"
#include "gui/presented_counter.h"
#include "gui/renderer_preference.h"
#include "gui/software_renderer.h"
#include "gui/software_view.h"
#include "gui/video_output.h"
#include "session/renderer_switch.h"
#include "tests/gui/video_qt_support.h"

namespace orvix {
namespace {

// The overlay drawn over a plain picture of the frame's size at `scale`.
QImage paintedOverlay(const TestFrame& test, QRgb colour, double scale = 1.0) {
    QImage image(qRound(test.frame.width * scale), qRound(test.frame.height * scale), QImage::Format_RGB32);
    image.fill(colour);
    QPainter painter(&image);
    OverlayPainter overlay;
    overlay.draw(painter, test.overlay(), QPoint(0, 0), scale);
    return image;
}

TEST(SoftwareRenderer, ThePictureLandsInTheBackBufferAndItsRowsTravelWithIt) {
    FrameHandOver handOver;
    SoftwareRenderer renderer(handOver);
    TestFrame test(352, 288, kGrey, kGrey);
    EXPECT_TRUE(renderer.present(test.frame, test.overlay()));

    const HandedFrame handed = handOver.latest();
    ASSERT_FALSE(handed.image.isNull());
    EXPECT_EQ(handed.image.size(), QSize(720, 576));
    EXPECT_EQ(handed.source, QRect(0, 0, 352, 288));
    EXPECT_EQ(handed.image.pixel(200, 200), kGrey);
    EXPECT_EQ(handed.image.pixel(351, 287), kGrey);
    // The texts are drawn by the views, at the size they show the picture.
    EXPECT_EQ(countPixels(handed.image, QRect(0, 0, 352, 60), isYellow), 0);
    EXPECT_TRUE(sameOverlay(handed.overlay, test.overlay()));
}

TEST(OverlayPainter, RowsGoWhereTheLayoutPutsThem) {
    const QImage image = paintedOverlay(TestFrame(352, 288, kGrey, kGrey), kGrey);
    // Row 1 blue at y 3, rows 2 and 3 yellow at y 20 and 37, nothing below.
    EXPECT_GT(countPixels(image, QRect(0, 3, 352, 17), isBlue), 30);
    EXPECT_GT(countPixels(image, QRect(0, 20, 352, 17), isYellow), 30);
    EXPECT_GT(countPixels(image, QRect(0, 37, 352, 17), isYellow), 30);
    EXPECT_EQ(countPixels(image, QRect(0, 60, 352, 228), isYellow), 0);
    EXPECT_EQ(countPixels(image, QRect(300, 0, 52, 288), isYellow), 0);
}

bool isDark(QRgb c) { return qRed(c) < 70 && qGreen(c) < 70 && qBlue(c) < 70; }

int lowestRow(const QImage& image, bool (*test)(QRgb)) {
    for (int y = image.height() - 1; y >= 0; --y) {
        if (countPixels(image, QRect(0, y, image.width(), 1), test) > 0) return y;
    }
    return -1;
}

TEST(OverlayPainter, TextsReadOnAPictureOfTheirOwnColourAndGrowWithTheShownHeight) {
    // On a yellow picture the yellow rows show by their dark outline.
    const TestFrame test(704, 576, kGrey, kGrey);
    const QImage yellow = paintedOverlay(test, qRgb(255, 255, 0));
    EXPECT_GT(countPixels(yellow, QRect(0, 38, 704, 75), isDark), 100);
    const QImage blue = paintedOverlay(test, kBlue);
    EXPECT_GT(countPixels(blue, QRect(0, 3, 704, 35), isDark), 100);
    // Twice the shown height: the rows reach twice as far down.
    const int once = lowestRow(paintedOverlay(test, kGrey, 1.0), isYellow);
    const int twice = lowestRow(paintedOverlay(test, kGrey, 2.0), isYellow);
    ASSERT_GT(once, 73);
    EXPECT_NEAR(twice, 2 * once, 8);
}

TEST(OverlayLayer, TextsAreLaidOutOnlyWhenTheyOrTheSizeChange) {
    TestFrame test(352, 288, kGrey, kGrey);
    QImage target(640, 480, QImage::Format_RGB32);
    OverlayLayer layer;
    QPainter painter(&target);
    for (int i = 0; i < 5; ++i) layer.paint(painter, QRect(0, 0, 640, 480), QSize(352, 288), test.overlay(), false);
    EXPECT_EQ(layer.layouts(), 1);
    layer.paint(painter, QRect(10, 10, 640, 480), QSize(352, 288), test.overlay(), false);  // moved only
    EXPECT_EQ(layer.layouts(), 1);
    const std::u16string later = u"2009:03:07 13:05:10";
    later.copy(test.frame.dateText, later.size());
    layer.paint(painter, QRect(0, 0, 640, 480), QSize(352, 288), test.overlay(), false);
    EXPECT_EQ(layer.layouts(), 2);
    layer.paint(painter, QRect(0, 0, 320, 240), QSize(352, 288), test.overlay(), false);
    layer.paint(painter, QRect(0, 0, 320, 240), QSize(352, 288), test.overlay(), true);  // the REC mark
    EXPECT_EQ(layer.layouts(), 4);
}

TEST(OverlayLayer, TheRecordingMarkIsRedInTheTopRightCorner) {
    const TestFrame test(352, 288, kGrey, kGrey);
    QImage target(320, 240, QImage::Format_RGB32);
    target.fill(kGrey);
    QPainter painter(&target);
    OverlayLayer layer;
    layer.paint(painter, target.rect(), QSize(352, 288), test.overlay(), true);
    painter.end();
    auto isRed = [](QRgb c) { return qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60; };
    EXPECT_GT(countPixels(target, QRect(220, 0, 100, 30), isRed), 20);
    EXPECT_EQ(countPixels(target, QRect(0, 60, 320, 180), isRed), 0);
}

TEST(AspectFit, TelevisionPicturesShowAtFourToThreeLargerOnesAsTheyAre) {
    EXPECT_EQ(displayShape(QSize(352, 240)), QSize(4, 3));
    EXPECT_EQ(displayShape(QSize(704, 576)), QSize(4, 3));
    EXPECT_EQ(displayShape(QSize(1280, 720)), QSize(1280, 720));
    EXPECT_TRUE(displayShape(QSize(0, 480)).isEmpty());
    // Wider area: bars left and right; taller area: bars top and bottom.
    EXPECT_EQ(fitPicture(QRect(0, 0, 1280, 820), QSize(704, 480)), QRect(93, 0, 1093, 820));
    EXPECT_EQ(fitPicture(QRect(0, 0, 640, 800), QSize(352, 288)), QRect(0, 160, 640, 480));
    EXPECT_EQ(fitPicture(QRect(10, 20, 1600, 900), QSize(1920, 1080)), QRect(10, 20, 1600, 900));
    EXPECT_TRUE(fitPicture(QRect(0, 0, 0, 100), QSize(352, 288)).isEmpty());
    EXPECT_TRUE(fitPicture(QRect(0, 0, 100, 100), QSize()).isEmpty());
    // A sliver of an area still gets a picture of at least one pixel.
    EXPECT_EQ(fitPicture(QRect(0, 0, 1, 1000), QSize(352, 288)).width(), 1);
    EXPECT_EQ(shownSize(QSize(704, 480), 480), QSize(640, 480));
    EXPECT_EQ(shownSize(QSize(1280, 720), 720), QSize(1280, 720));
}

TEST(SoftwareRenderer, ModeTwoDrawsOnlyRowsTwoAndThree) {
    TestFrame test(704, 576, kGrey, kGrey, 2);
    const QImage image = paintedOverlay(test, kGrey);
    EXPECT_EQ(countPixels(image, QRect(0, 0, 704, 38), isBlue), 0);
    EXPECT_EQ(countPixels(image, QRect(0, 0, 704, 38), isYellow), 0);
    EXPECT_GT(countPixels(image, QRect(0, 38, 704, 35), isYellow), 30);
    EXPECT_GT(countPixels(image, QRect(0, 73, 704, 40), isYellow), 30);
}

TEST(SoftwareRenderer, PictureLargerThanTheBackBufferIsKeptWhole) {
    FrameHandOver handOver;
    SoftwareRenderer renderer(handOver);
    TestFrame test(1280, 720, kGreen, kRed);
    renderer.present(test.frame, test.overlay());
    const HandedFrame handed = handOver.latest();
    ASSERT_GE(handed.image.width(), 1280);
    ASSERT_GE(handed.image.height(), 720);
    EXPECT_EQ(handed.source, QRect(0, 0, 1280, 720));
    EXPECT_EQ(handed.image.pixel(600, 700), kGreen);
    EXPECT_EQ(handed.image.pixel(1279, 719), kRed);
}

TEST(SoftwareRenderer, ABufferTheGuiStillHoldsIsNotDrawnInto) {
    FrameHandOver handOver;
    SoftwareRenderer renderer(handOver);
    TestFrame red(352, 288, kRed, kRed);
    TestFrame blue(352, 288, kBlue, kBlue);
    renderer.present(red.frame, red.overlay());
    const QImage held = handOver.latest().image;  // as a paint in progress would
    renderer.present(blue.frame, blue.overlay());
    renderer.present(blue.frame, blue.overlay());
    EXPECT_EQ(held.pixel(200, 200), kRed);
    EXPECT_EQ(handOver.latest().image.pixel(200, 200), kBlue);
}

TEST(SoftwareView, StretchesThePictureOverItsRectangle) {
    FrameHandOver handOver;
    SoftwareRenderer renderer(handOver);
    SoftwareView view(handOver);
    view.resize(240, 180);
    TestFrame test(352, 288, kRed, kBlue);
    renderer.present(test.frame, test.overlay());
    const QImage shot = view.grab().toImage();
    ASSERT_EQ(shot.size(), QSize(240, 180));
    EXPECT_EQ(shot.pixel(60, 150), kRed);
    EXPECT_EQ(shot.pixel(180, 150), kBlue);
    // The text is shrunk with the picture: its rows end up in the top 40.
    EXPECT_GT(countPixels(shot, QRect(0, 0, 120, 40), isYellow), 10);
    EXPECT_EQ(countPixels(shot, QRect(0, 45, 240, 135), isYellow), 0);
}

TEST(SoftwareView, KeepsThePicturesShapeWithBlackBars) {
    FrameHandOver handOver;
    SoftwareRenderer renderer(handOver);
    SoftwareView view(handOver);
    view.resize(400, 180);
    TestFrame test(352, 288, kRed, kRed);
    renderer.present(test.frame, test.overlay());
    EXPECT_EQ(view.pictureRect(), QRect(80, 0, 240, 180));
    QImage shot = view.grab().toImage();
    EXPECT_EQ(shot.pixel(40, 150), qRgb(0, 0, 0));
    EXPECT_EQ(shot.pixel(360, 150), qRgb(0, 0, 0));
    EXPECT_EQ(shot.pixel(200, 150), kRed);
    // The overlay starts at the picture's corner, not the view's.
    EXPECT_EQ(countPixels(shot, QRect(0, 0, 80, 180), isYellow), 0);
    EXPECT_GT(countPixels(shot, QRect(80, 0, 120, 40), isYellow), 10);

    // A wide picture in a square view: bars above and below.
    view.resize(400, 400);
    TestFrame wide(1280, 720, kGreen, kGreen);
    renderer.present(wide.frame, wide.overlay());
    EXPECT_EQ(view.pictureRect(), QRect(0, 87, 400, 225));
    shot = view.grab().toImage();
    EXPECT_EQ(shot.pixel(200, 40), qRgb(0, 0, 0));
    EXPECT_EQ(shot.pixel(200, 360), qRgb(0, 0, 0));
    EXPECT_EQ(shot.pixel(200, 250), kGreen);
}

TEST(SoftwareView, PicturesComeScaledToTheViewAndArePaintedTheSame) {
    FrameHandOver handOver;
    SoftwareRenderer renderer(handOver);
    SoftwareView view(handOver);
    view.resize(400, 180);
    view.show();
    ASSERT_TRUE(processUntil([&] { return handOver.viewSize() == QSize(400, 180) * view.devicePixelRatio(); }));
    if (view.devicePixelRatio() != 1.0) GTEST_SKIP() << "a screen of several device pixels per pixel";

    // The renderer scales to the picture's place in the view; the decoded
    // size travels with it, for the overlay, the shape and snapshots.
    TestFrame test(704, 576, kRed, kBlue);
    renderer.present(test.frame, test.overlay());
    HandedFrame handed = handOver.latest();
    EXPECT_EQ(handed.source, QRect(0, 0, 240, 180));
    EXPECT_EQ(handed.picture, QSize(704, 576));
    EXPECT_EQ(handed.image.pixel(100, 100), kRed);
    EXPECT_EQ(handed.image.pixel(140, 100), kBlue);
    EXPECT_EQ(view.pictureRect(), QRect(80, 0, 240, 180));
    QImage shot = view.grab().toImage();
    EXPECT_EQ(shot.pixel(40, 150), qRgb(0, 0, 0));
    EXPECT_EQ(shot.pixel(190, 150), kRed);
    EXPECT_EQ(shot.pixel(210, 150), kBlue);
    EXPECT_EQ(shot.pixel(360, 150), qRgb(0, 0, 0));
    // The overlay is sized by the decoded picture, as without the scaling.
    EXPECT_GT(countPixels(shot, QRect(80, 0, 120, 40), isYellow), 10);
    EXPECT_EQ(countPixels(shot, QRect(80, 45, 240, 135), isYellow), 0);

    // A picture made for the old size still fills the new one; the next
    // comes at the new size.
    view.resize(200, 150);
    ASSERT_TRUE(processUntil([&] { return handOver.viewSize() == QSize(200, 150); }));
    shot = view.grab().toImage();
    EXPECT_EQ(shot.pixel(50, 100), kRed);
    EXPECT_EQ(shot.pixel(150, 100), kBlue);
    renderer.present(test.frame, test.overlay());
    handed = handOver.latest();
    EXPECT_EQ(handed.source, QRect(0, 0, 200, 150));
    shot = view.grab().toImage();
    EXPECT_EQ(shot.pixel(50, 100), kRed);
    EXPECT_EQ(shot.pixel(150, 100), kBlue);
}

TEST(SoftwareView, CountsAPictureWhenItIsPaintedNotWhenItIsHandedOver) {
    FrameHandOver handOver;
    SoftwareRenderer renderer(handOver);
    SoftwareView view(handOver);
    view.resize(240, 180);
    TestFrame test(352, 288, kRed, kBlue);
    const uint64_t before = PresentedCounter::total();
    renderer.present(test.frame, test.overlay());
    renderer.present(test.frame, test.overlay());
    EXPECT_EQ(PresentedCounter::total(), before);
    view.grab();
    view.grab();  // a repaint of the same picture
    EXPECT_EQ(PresentedCounter::total(), before + 1);
    renderer.present(test.frame, test.overlay());
    view.grab();
    EXPECT_EQ(PresentedCounter::total(), before + 2);
}

TEST(FrameHandOver, NewestFrameWinsAndOneNotificationCoversABatch) {
    FrameHandOver handOver;
    int notifications = 0;
    QObject::connect(&handOver, &FrameHandOver::frameReady, [&] { ++notifications; });
    std::thread display([&] {
        for (QRgb colour : {kRed, kGreen, kBlue}) {
            QImage image(16, 16, QImage::Format_RGB32);
            image.fill(colour);
            handOver.post(image, image.rect());
        }
    });
    display.join();
    EXPECT_EQ(notifications, 0);  // delivered on the GUI thread only
    ASSERT_TRUE(processUntil([&] { return notifications > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(notifications, 1);
    const HandedFrame latest = handOver.latest();
    EXPECT_EQ(latest.serial, 3u);
    EXPECT_EQ(latest.image.pixel(0, 0), kBlue);
    handOver.clear();
    EXPECT_TRUE(handOver.latest().image.isNull());
}

// Pictures already on screen are told sparingly; a new size, or any picture
// while a recording waits for one, always.
TEST(FrameHandOver, SparingPostsTellTheFirstANewSizeAndEveryOneWhileEager) {
    FrameHandOver handOver;
    int notifications = 0;
    QObject::connect(&handOver, &FrameHandOver::frameReady, [&] { ++notifications; });
    QElapsedTimer sinceFirst;
    sinceFirst.start();
    const auto post = [&](const QSize& picture) {
        handOver.post(QImage(), QRect(QPoint(0, 0), picture), OverlayRows(), picture,
                      FrameHandOver::Notify::Sparingly);
        QCoreApplication::processEvents();
    };
    post(QSize(352, 288));
    EXPECT_EQ(notifications, 1);
    post(QSize(352, 288));
    post(QSize(352, 288));
    if (sinceFirst.elapsed() < 200) {
        EXPECT_EQ(notifications, 1);
    }
    EXPECT_EQ(handOver.latest().serial, 3u);  // each is the newest all the same
    EXPECT_EQ(handOver.latest().picture, QSize(352, 288));

    const int before = notifications;
    post(QSize(704, 576));
    EXPECT_EQ(notifications, before + 1);
    handOver.setEager(true);
    post(QSize(704, 576));
    post(QSize(704, 576));
    EXPECT_EQ(notifications, before + 3);
}

TEST(RendererSwitch, AcceleratedRendererThatBecameUnusableHandsOverToSoftwareForGood) {
    FrameHandOver handOver;
    SoftwareRenderer software(handOver);
    AcceleratedRenderer accelerated(handOver);
    RendererSwitch renderers;
    renderers.setRenderers(&software, &accelerated);
    renderers.setFlag(RendererSwitch::kAcceleratedFlag);
    TestFrame test(704, 576, kGrey, kGrey);

    renderers.present(test.frame, OverlayStats{});
    EXPECT_EQ(handOver.latest().serial, 1u);
    accelerated.markUnusable();
    renderers.present(test.frame, OverlayStats{});  // dropped
    EXPECT_EQ(handOver.latest().serial, 1u);
    EXPECT_EQ(renderers.flag(), RendererSwitch::kSoftwareFlag);
    renderers.present(test.frame, OverlayStats{});
    EXPECT_EQ(handOver.latest().serial, 2u);
    renderers.fallBack();
    EXPECT_EQ(renderers.flag(), RendererSwitch::kSoftwareFlag);

    renderers.setFlag(5);  // neither renderer: nothing is drawn
    renderers.present(test.frame, OverlayStats{});
    EXPECT_EQ(handOver.latest().serial, 2u);
}

TEST(VideoOutput, WithoutOpenGlTheSoftwareViewShowsThePictures) {
    if (GlVideoView::openGlAvailable()) GTEST_SKIP() << "OpenGL is available here";
    QWidget window;
    window.resize(352, 288);
    window.show();
    VideoOutput output(&window);
    EXPECT_EQ(output.setUp(), RendererSwitch::kSoftwareFlag);
    QWidget* view = output.activeView();
    ASSERT_NE(view, nullptr);
    EXPECT_NE(dynamic_cast<SoftwareView*>(view), nullptr);
    EXPECT_TRUE(view->isHidden());  // the window's own painting shows until a picture comes

    TestFrame test(352, 288, kRed, kBlue);
    output.renderers().present(test.frame, OverlayStats{1, 25, 300});
    ASSERT_TRUE(processUntil([&] { return !view->isHidden(); }));
    EXPECT_EQ(view->geometry(), window.rect());
    const QImage shot = view->grab().toImage();
    EXPECT_EQ(shot.pixel(100, 200), kRed);
    EXPECT_EQ(shot.pixel(300, 200), kBlue);

    output.tearDown();
    EXPECT_EQ(output.activeView(), nullptr);
    EXPECT_TRUE(output.handOver().latest().image.isNull());
}

// Runs where OpenGL works (under Xvfb with the xcb platform, see the test
// list); skipped elsewhere.
TEST(GlVideoView, DrawsThePictureScaledAndFallsBackWhenItFails) {
    if (!GlVideoView::openGlAvailable()) GTEST_SKIP() << "no OpenGL here";
    setRendererPreference(RendererPreference::OpenGl);  // also on a software rasterizer
    QWidget window;
    window.resize(352, 288);
    window.show();
    VideoOutput output(&window);
    ASSERT_EQ(output.setUp(), RendererSwitch::kAcceleratedFlag);
    auto* view = dynamic_cast<GlVideoView*>(output.activeView());
    ASSERT_NE(view, nullptr);

    TestFrame test(704, 576, kRed, kBlue);
    output.renderers().present(test.frame, OverlayStats{});
    const uint64_t before = PresentedCounter::total();
    ASSERT_TRUE(processUntil([&] { return view->isVisible() && view->uploads() > 0; }));
    ASSERT_FALSE(view->hasFailed());
    QImage shot = view->grabFramebuffer();
    EXPECT_EQ(PresentedCounter::total(), before + 1);
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.pixel(80, 200), kRed);
    EXPECT_EQ(shot.pixel(270, 200), kBlue);

    // A wider window: the picture keeps its shape between black bars, the
    // overlay on the picture.
    window.resize(640, 288);
    output.followWindow();
    view->update();
    ASSERT_TRUE(processUntil([&] { return view->width() == 640; }));
    shot = view->grabFramebuffer();
    EXPECT_EQ(view->pictureRect(), QRect(128, 0, 384, 288));
    EXPECT_EQ(qRgb(qRed(shot.pixel(60, 200)), qGreen(shot.pixel(60, 200)), qBlue(shot.pixel(60, 200))), qRgb(0, 0, 0));
    EXPECT_EQ(shot.pixel(200, 200), kRed);
    EXPECT_EQ(shot.pixel(450, 200), kBlue);
    EXPECT_EQ(qRgb(qRed(shot.pixel(600, 200)), qGreen(shot.pixel(600, 200)), qBlue(shot.pixel(600, 200))), qRgb(0, 0, 0));
    EXPECT_GT(countPixels(shot, QRect(128, 0, 200, 60), isYellow), 10);

    bool switched = false;
    QObject::connect(&output, &VideoOutput::switchedToSoftware, [&] { switched = true; });
    emit view->unusable();
    EXPECT_TRUE(switched);
    EXPECT_EQ(output.rendererFlag(), RendererSwitch::kSoftwareFlag);
    QWidget* software = output.activeView();
    ASSERT_NE(dynamic_cast<SoftwareView*>(software), nullptr);
    EXPECT_FALSE(software->isHidden());
    output.renderers().present(test.frame, OverlayStats{});
    EXPECT_EQ(output.rendererFlag(), RendererSwitch::kSoftwareFlag);
}

TEST(GlVideoView, AFallBackLastsForItsConnectionOnly) {
    if (!GlVideoView::openGlAvailable()) GTEST_SKIP() << "no OpenGL here";
    setRendererPreference(RendererPreference::OpenGl);
    QWidget window;
    window.resize(352, 288);
    window.show();
    VideoOutput output(&window);
    TestFrame test(352, 288, kRed, kBlue);

    ASSERT_EQ(output.setUp(), RendererSwitch::kAcceleratedFlag);
    auto* first = dynamic_cast<GlVideoView*>(output.activeView());
    ASSERT_NE(first, nullptr);
    emit first->unusable();
    EXPECT_EQ(output.rendererFlag(), RendererSwitch::kSoftwareFlag);
    output.tearDown();

    // The next connection chooses again and draws through OpenGL.
    ASSERT_EQ(output.setUp(), RendererSwitch::kAcceleratedFlag);
    auto* second = dynamic_cast<GlVideoView*>(output.activeView());
    ASSERT_NE(second, nullptr);
    output.renderers().present(test.frame, OverlayStats{});
    ASSERT_TRUE(processUntil([&] { return second->isVisible() && second->uploads() > 0; }));
    EXPECT_EQ(output.rendererFlag(), RendererSwitch::kAcceleratedFlag);
    EXPECT_EQ(second->grabFramebuffer().pixel(80, 200), kRed);
}

TEST(GlVideoView, AutoTakesOpenGlOnlyFromHardwareAndSoftwareIsNeverOpenGl) {
    if (!GlVideoView::openGlAvailable()) GTEST_SKIP() << "no OpenGL here";
    QWidget window;
    window.resize(352, 288);
    window.show();
    VideoOutput output(&window);
    setRendererPreference(RendererPreference::Auto);
    const bool software = isSoftwareRasterizer(GlVideoView::probe().renderer);
    EXPECT_EQ(output.setUp(), software ? RendererSwitch::kSoftwareFlag : RendererSwitch::kAcceleratedFlag)
        << GlVideoView::probe().renderer;
    output.tearDown();
    setRendererPreference(RendererPreference::Software);
    EXPECT_EQ(output.setUp(), RendererSwitch::kSoftwareFlag);
    EXPECT_EQ(window.findChild<GlVideoView*>(), nullptr);
    output.tearDown();
    setRendererPreference(RendererPreference::Auto);
}

}  // namespace
}  // namespace orvix
