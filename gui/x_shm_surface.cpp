#include "gui/x_shm_surface.h"

#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace orvix {
namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> own(T* reply) {
    return Reply<T>(reply, &std::free);
}

// The window's visual, found among the screens' depths.
const xcb_visualtype_t* findVisual(const xcb_setup_t* setup, xcb_visualid_t id) {
    for (auto screens = xcb_setup_roots_iterator(setup); screens.rem > 0; xcb_screen_next(&screens)) {
        for (auto depths = xcb_screen_allowed_depths_iterator(screens.data); depths.rem > 0;
             xcb_depth_next(&depths)) {
            for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem > 0;
                 xcb_visualtype_next(&visuals)) {
                if (visuals.data->visual_id == id) return visuals.data;
            }
        }
    }
    return nullptr;
}

}  // namespace

XShmSurface::~XShmSurface() {
    if (connection_ == nullptr) return;
    for (Turn& turn : turns_) release(turn);
    if (gc_ != 0) xcb_free_gc(connection_, gc_);
    xcb_disconnect(connection_);
}

bool XShmSurface::fail(const std::string& why) {
    if (!failed_) error_ = why;
    failed_ = true;
    return false;
}

bool XShmSurface::open(const std::string& display, uint32_t window) {
    if (connection_ != nullptr || failed_) return false;  // once only
    // A server on another machine would attach its own memory of the same
    // id, if any: only a local server (":0", "unix:0") is tried.
    const char* name = display.empty() ? std::getenv("DISPLAY") : display.c_str();
    char* host = nullptr;
    int number = 0;
    int screen = 0;
    if (name == nullptr || xcb_parse_display(name, &host, &number, &screen) == 0) {
        return fail("cannot connect to the X server");
    }
    const bool local = host[0] == '\0' || std::strcmp(host, "unix") == 0;
    std::free(host);
    if (!local) return fail("the X server is on another machine");
    connection_ = xcb_connect(name, nullptr);
    if (xcb_connection_has_error(connection_)) return fail("cannot connect to the X server");
    window_ = window;
    const xcb_query_extension_reply_t* shm = xcb_get_extension_data(connection_, &xcb_shm_id);
    if (shm == nullptr || !shm->present) return fail("the X server has no shared memory extension");
    completionEvent_ = static_cast<uint8_t>(shm->first_event + XCB_SHM_COMPLETION);
    if (!checkWindow()) return false;

    gc_ = xcb_generate_id(connection_);
    if (auto error = own(xcb_request_check(connection_, xcb_create_gc_checked(connection_, gc_, window_, 0, nullptr)))) {
        gc_ = 0;
        return fail("cannot draw into the window");
    }
    // Whether the server can attach this process's memory (it cannot from
    // another machine) shows with the first buffer.
    return allocate(turns_[0], 1, 1);
}

bool XShmSurface::checkWindow() {
    auto geometry = own(xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window_), nullptr));
    auto attributes = own(
        xcb_get_window_attributes_reply(connection_, xcb_get_window_attributes(connection_, window_), nullptr));
    if (!geometry || !attributes) return fail("no such window");
    if (geometry->depth != 24) return fail("the window is not 24-bit colour");
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) return fail("the X server's pixels are big-endian");
    int bitsPerPixel = 0;
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem > 0; xcb_format_next(&formats)) {
        if (formats.data->depth == 24) bitsPerPixel = formats.data->bits_per_pixel;
    }
    const xcb_visualtype_t* visual = findVisual(setup, attributes->visual);
    if (bitsPerPixel != 32 || visual == nullptr || visual->_class != XCB_VISUAL_CLASS_TRUE_COLOR ||
        visual->red_mask != 0xff0000u || visual->green_mask != 0xff00u || visual->blue_mask != 0xffu) {
        return fail("the window's pixels are not 32-bit RGB");
    }
    return true;
}

bool XShmSurface::allocate(Turn& turn, int width, int height) {
    release(turn);
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return fail("bad picture size");
    const int rowBytes = width * 4;
    const size_t bytes = static_cast<size_t>(rowBytes) * static_cast<size_t>(height);
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0) return fail("no shared memory for a picture");
    void* memory = shmat(id, nullptr, 0);
    if (memory == reinterpret_cast<void*>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        return fail("no shared memory for a picture");
    }
    const uint32_t segment = xcb_generate_id(connection_);
    auto error = own(xcb_request_check(connection_, xcb_shm_attach_checked(connection_, segment, id, 1)));
    // Marked for removal now: it goes when both sides have let go of it.
    shmctl(id, IPC_RMID, nullptr);
    if (error) {
        shmdt(memory);
        return fail("the X server cannot read this process's shared memory");
    }
    turn.memory = memory;
    turn.segment = segment;
    turn.pending = 0;
    turn.buffer = Buffer{static_cast<uint8_t*>(memory), width, height, rowBytes};
    return true;
}

void XShmSurface::release(Turn& turn) {
    if (turn.memory == nullptr) return;
    if (!xcb_connection_has_error(connection_)) {
        xcb_shm_detach(connection_, turn.segment);
        xcb_flush(connection_);
    }
    shmdt(turn.memory);
    turn = Turn();
}

void XShmSurface::handleEvent(const void* event) {
    const auto* generic = static_cast<const xcb_generic_event_t*>(event);
    if (generic->response_type == 0) {
        fail("the X server refused a picture");
        return;
    }
    if ((generic->response_type & 0x7f) != completionEvent_) return;
    const auto* done = static_cast<const xcb_shm_completion_event_t*>(event);
    for (Turn& turn : turns_) {
        if (turn.memory != nullptr && turn.segment == done->shmseg && turn.pending > 0) --turn.pending;
    }
}

bool XShmSurface::waitFree(Turn& turn, int waitMs) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    while (!failed_) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            handleEvent(event);
            std::free(event);
        }
        if (xcb_connection_has_error(connection_)) return fail("the connection to the X server broke");
        if (failed_) return false;
        if (turn.pending == 0) return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd socket{xcb_get_file_descriptor(connection_), POLLIN, 0};
        poll(&socket, 1, static_cast<int>(left));
    }
    return false;
}

XShmSurface::Buffer* XShmSurface::take(int width, int height, int waitMs) {
    if (failed_ || connection_ == nullptr) return nullptr;
    Turn& turn = turns_[static_cast<size_t>(next_)];
    if (!waitFree(turn, waitMs)) return nullptr;
    if (turn.memory == nullptr || turn.buffer.width != width || turn.buffer.height != height) {
        if (!allocate(turn, width, height)) return nullptr;
    }
    return &turn.buffer;
}

bool XShmSurface::put(const Buffer& buffer) {
    if (failed_ || connection_ == nullptr) return false;
    Turn& turn = turns_[static_cast<size_t>(next_)];
    if (&turn.buffer != &buffer) return fail("a buffer was put out of turn");
    const auto width = static_cast<uint16_t>(buffer.width);
    const auto height = static_cast<uint16_t>(buffer.height);
    xcb_shm_put_image(connection_, window_, gc_, width, height, 0, 0, width, height, 0, 0, 24,
                      XCB_IMAGE_FORMAT_Z_PIXMAP, 1, turn.segment, 0);
    ++turn.pending;
    if (xcb_flush(connection_) <= 0) return fail("the connection to the X server broke");
    next_ = 1 - next_;
    return true;
}

}  // namespace orvix
