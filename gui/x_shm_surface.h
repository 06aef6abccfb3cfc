// Puts 32-bit pictures into one X window through shared memory (MIT-SHM):
// the caller writes each picture once, straight into memory the X server
// reads, and no toolkit paint or copy lies on its way to the screen. The
// surface has its own connection to the server, so the server's "finished
// reading" events come here rather than to the toolkit's queue. Two buffers
// take turns; one is handed out for writing only after the server finished
// reading it. Not for two threads at once: the owner serialises the calls.
#pragma once

#include <array>
#include <cstdint>
#include <string>

struct xcb_connection_t;

namespace orvix {

class XShmSurface {
public:
    // Pixels are blue, green, red, unused (QImage::Format_RGB32 on this
    // little-endian machine), rows rowBytes apart.
    struct Buffer {
        uint8_t* pixels = nullptr;
        int width = 0;
        int height = 0;
        int rowBytes = 0;
    };

    XShmSurface() = default;
    ~XShmSurface();
    XShmSurface(const XShmSurface&) = delete;
    XShmSurface& operator=(const XShmSurface&) = delete;

    // Connects to `display` (empty: $DISPLAY), which must be on this
    // machine, and checks that `window`
    // takes 24-bit colour in 32-bit pixels and that the server can read
    // this process's shared memory. False, with the reason in error(), when
    // any of it fails; the surface is then failed for good. Once only: a
    // second call returns false and changes nothing.
    bool open(const std::string& display, uint32_t window);

    // A buffer of width x height to write the next picture into, one the
    // server is not reading. Null when the server did not finish with it
    // within `waitMs` (skip the picture; the surface stays usable) or when
    // the surface failed (see failed()).
    Buffer* take(int width, int height, int waitMs = 1000);
    // Queues the buffer just taken (all of it) to the window's top left
    // corner. False when the connection failed.
    bool put(const Buffer& buffer);

    bool failed() const { return failed_; }
    const std::string& error() const { return error_; }

private:
    struct Turn {
        Buffer buffer;
        uint32_t segment = 0;  // the server's id of the shared memory
        void* memory = nullptr;
        int pending = 0;  // puts the server has not reported finished
    };

    bool fail(const std::string& why);
    bool checkWindow();
    bool allocate(Turn& turn, int width, int height);
    void release(Turn& turn);
    // Reads the server's events until `turn` has no put pending or `waitMs`
    // passed. False on timeout or failure.
    bool waitFree(Turn& turn, int waitMs);
    void handleEvent(const void* event);

    xcb_connection_t* connection_ = nullptr;
    uint32_t window_ = 0;
    uint32_t gc_ = 0;
    uint8_t completionEvent_ = 0;
    std::array<Turn, 2> turns_;
    int next_ = 0;
    bool failed_ = false;
    std::string error_;
};

}  // namespace orvix
