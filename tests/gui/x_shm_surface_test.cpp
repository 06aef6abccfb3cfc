// The shared-memory surface against a real X server (Xvfb, see the test
// list): what is put is what the window holds, buffers are taken in turn and
// resized, and every way it cannot work ends in a clear refusal.
#include "gui/x_shm_surface.h"

#include <gtest/gtest.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

namespace orvix {
namespace {

// The test's own connection, with a mapped 24-bit window of the root visual.
class TestWindow {
public:
    TestWindow(int width, int height) {
        connection_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection_)) return;
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        window_ = xcb_generate_id(connection_);
        const uint32_t values[] = {screen->black_pixel};
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0,
                          static_cast<uint16_t>(width), static_cast<uint16_t>(height), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, values);
        xcb_map_window(connection_, window_);
        xcb_aux_sync();
    }
    ~TestWindow() {
        if (connection_ != nullptr) xcb_disconnect(connection_);
    }
    bool ok() const { return connection_ != nullptr && !xcb_connection_has_error(connection_); }
    uint32_t id() const { return window_; }
    void destroy() {
        xcb_destroy_window(connection_, window_);
        xcb_aux_sync();
    }
    bool hasSharedMemory() const {
        const xcb_query_extension_reply_t* shm = xcb_get_extension_data(connection_, &xcb_shm_id);
        return shm != nullptr && shm->present;
    }
    // The window's pixel at (x, y) as 0xRRGGBB.
    uint32_t pixel(int x, int y) {
        auto* reply = xcb_get_image_reply(
            connection_,
            xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window_, static_cast<int16_t>(x),
                          static_cast<int16_t>(y), 1, 1, ~0u),
            nullptr);
        if (reply == nullptr) return 0xdeadbeef;
        uint32_t value = 0;
        std::memcpy(&value, xcb_get_image_data(reply), 4);
        std::free(reply);
        return value & 0xffffffu;
    }
    // Waits (up to 5 s) for the window's pixel to become `wanted`: the
    // surface's puts travel on another connection.
    bool waitForPixel(int x, int y, uint32_t wanted) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (pixel(x, y) != wanted) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

private:
    void xcb_aux_sync() { std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr)); }

    xcb_connection_t* connection_ = nullptr;
    uint32_t window_ = 0;
};

// Left half `left`, right half `right` (0xRRGGBB), every pixel written.
void fill(XShmSurface::Buffer& buffer, uint32_t left, uint32_t right) {
    for (int y = 0; y < buffer.height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(buffer.pixels + static_cast<ptrdiff_t>(y) * buffer.rowBytes);
        for (int x = 0; x < buffer.width; ++x) row[x] = 0xff000000u | (x < buffer.width / 2 ? left : right);
    }
}

bool haveDisplay() { return std::getenv("DISPLAY") != nullptr; }

// One connection held for the whole run: an X server resets when its last
// client leaves, and refuses connections while it does.
class HeldConnection : public ::testing::Environment {
public:
    void SetUp() override {
        if (haveDisplay()) connection_ = xcb_connect(nullptr, nullptr);
    }
    void TearDown() override {
        if (connection_ != nullptr) xcb_disconnect(connection_);
    }

private:
    xcb_connection_t* connection_ = nullptr;
};

const auto* const kHeld = ::testing::AddGlobalTestEnvironment(new HeldConnection);

TEST(XShmSurface, PicturesPutInTurnAreWhatTheWindowShowsAtAnySize) {
    if (!haveDisplay()) GTEST_SKIP() << "no X server";
    TestWindow window(96, 64);
    ASSERT_TRUE(window.ok());
    if (!window.hasSharedMemory()) GTEST_SKIP() << "this X server shares no memory";
    XShmSurface surface;
    ASSERT_TRUE(surface.open("", window.id())) << surface.error();

    // More pictures than buffers: each is taken after the server read it.
    const uint32_t colours[][2] = {{0xff0000, 0x00ff00}, {0x0000ff, 0xffff00}, {0x102030, 0xa0b0c0}};
    XShmSurface::Buffer* first = nullptr;
    for (int round = 0; round < 6; ++round) {
        XShmSurface::Buffer* buffer = surface.take(96, 64);
        ASSERT_NE(buffer, nullptr) << surface.error();
        if (round == 0) first = buffer;
        if (round == 2) {
            EXPECT_EQ(buffer, first);  // two buffers take turns
        }
        const uint32_t* pair = colours[round % 3];
        fill(*buffer, pair[0], pair[1]);
        ASSERT_TRUE(surface.put(*buffer));
        EXPECT_TRUE(window.waitForPixel(10, 10, pair[0])) << "round " << round;
        EXPECT_TRUE(window.waitForPixel(80, 50, pair[1])) << "round " << round;
    }

    // A smaller picture covers only its own corner.
    XShmSurface::Buffer* small = surface.take(20, 10);
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(small->rowBytes, 80);
    fill(*small, 0x00ffff, 0xff00ff);
    ASSERT_TRUE(surface.put(*small));
    EXPECT_TRUE(window.waitForPixel(2, 2, 0x00ffff));
    EXPECT_TRUE(window.waitForPixel(15, 5, 0xff00ff));
    EXPECT_EQ(window.pixel(80, 50), 0xa0b0c0u);
    EXPECT_FALSE(surface.failed());
}

TEST(XShmSurface, AWindowThatGoesAwayFailsTheSurfaceForGood) {
    if (!haveDisplay()) GTEST_SKIP() << "no X server";
    TestWindow window(64, 48);
    ASSERT_TRUE(window.ok());
    if (!window.hasSharedMemory()) GTEST_SKIP() << "this X server shares no memory";
    XShmSurface surface;
    ASSERT_TRUE(surface.open("", window.id()));
    window.destroy();
    // The server's refusal comes back with a later call.
    bool failed = false;
    for (int i = 0; i < 10 && !failed; ++i) {
        XShmSurface::Buffer* buffer = surface.take(64, 48);
        if (buffer != nullptr) {
            fill(*buffer, 0xff0000, 0xff0000);
            surface.put(*buffer);
        }
        failed = surface.failed();
    }
    EXPECT_TRUE(failed);
    EXPECT_EQ(surface.error(), "the X server refused a picture");
    EXPECT_EQ(surface.take(64, 48), nullptr);
}

TEST(XShmSurface, RefusesWhatItCannotDrawInto) {
    if (!haveDisplay()) GTEST_SKIP() << "no X server";
    TestWindow window(16, 16);
    ASSERT_TRUE(window.ok());
    if (!window.hasSharedMemory()) GTEST_SKIP() << "this X server shares no memory";

    XShmSurface noServer;
    EXPECT_FALSE(noServer.open(":987", window.id()));
    EXPECT_EQ(noServer.error(), "cannot connect to the X server");

    // Shared memory is this machine's: a server elsewhere is not tried.
    XShmSurface remote;
    EXPECT_FALSE(remote.open("elsewhere.example:0", window.id()));
    EXPECT_EQ(remote.error(), "the X server is on another machine");
    XShmSurface unparsable;
    EXPECT_FALSE(unparsable.open("no display here", window.id()));
    EXPECT_EQ(unparsable.error(), "cannot connect to the X server");

    XShmSurface noWindow;
    EXPECT_FALSE(noWindow.open("", 0x7ffffff0u));
    EXPECT_EQ(noWindow.error(), "no such window");
    EXPECT_EQ(noWindow.take(16, 16), nullptr);

    // Opened once only; the first stays usable.
    XShmSurface twice;
    ASSERT_TRUE(twice.open("", window.id()));
    EXPECT_FALSE(twice.open("", window.id()));
    EXPECT_FALSE(twice.failed());
    ASSERT_NE(twice.take(16, 16), nullptr);

    XShmSurface sized;
    ASSERT_TRUE(sized.open("", window.id()));
    EXPECT_EQ(sized.take(0, 16), nullptr);
    EXPECT_EQ(sized.error(), "bad picture size");
    EXPECT_EQ(sized.take(16, 16), nullptr);
}

// Run under an X server started without the extension (see the test list).
TEST(XShmSurface, AServerWithoutSharedMemoryIsRefused) {
    if (!haveDisplay()) GTEST_SKIP() << "no X server";
    TestWindow window(16, 16);
    ASSERT_TRUE(window.ok());
    if (window.hasSharedMemory()) GTEST_SKIP() << "this X server shares memory";
    XShmSurface surface;
    EXPECT_FALSE(surface.open("", window.id()));
    EXPECT_EQ(surface.error(), "the X server has no shared memory extension");
}

}  // namespace
}  // namespace orvix
