// Screen sources: what the capture device grabs frames from. The real one reads the X screen on
// a connection of its own (MIT-SHM where the server has it, plain GetImage otherwise) and the
// cursor through XFixes; tests put a fake one in its place.
//
// Error codes are `long`: an X error code, or errno where the failure was the system's.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The grab image, as the device reports it.
struct TScreenImageInfo {
    long type = 0; // 1 = a shared-memory segment, 0 = plain client memory
    long width = 0;
    long height = 0;
    int bits_per_pixel = 0;
    int planes = 1;
    long bytes_per_row = 0;
};

// The cursor: premultiplied ARGB pixels, position of its hotspot on the root window.
struct TCursorImage {
    int x = 0, y = 0;       // hotspot position, root coordinates
    int xhot = 0, yhot = 0; // hotspot within the image
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels; // width x height, 0xAARRGGBB premultiplied
};

// One open source. Used by one thread at a time (the device opens it on the GUI thread, then
// only the grab thread uses it until the teardown).
class IScreenSource {
public:
    virtual ~IScreenSource() = default;
    // Connects and finds the window: 0 = the root window; otherwise `client` picks the window
    // itself, else its window-manager frame (the ancestor that is a child of the root).
    virtual long open(std::uint64_t window, bool client) = 0;
    virtual int root_width() const = 0;
    virtual int root_height() const = 0;
    // Bits per pixel of the screen's image format (32, 24, 16 or 8) and its depth.
    virtual int bits_per_pixel() const = 0;
    virtual int depth() const = 0;
    // Size of the captured window (or the root).
    virtual long window_size(int* width, int* height) = 0;
    // Root position of the captured window's origin ((0, 0) for the root).
    virtual long window_origin(int* x, int* y) = 0;
    // Makes the grab image of that size once: the image structure (the DC's part) and its
    // memory (the bitmap's part: a shared segment attached to the server, or client memory).
    virtual long create_image(int width, int height) = 0;
    virtual long create_memory() = 0;
    virtual TScreenImageInfo image_info() const = 0;
    // A degradation to report once (e.g. no MIT-SHM, so plain GetImage), or empty.
    virtual std::string take_warning() { return {}; }
    // Grabs the rectangle at (x, y) of the captured window into the image; parts outside the
    // screen come out black.
    virtual long grab(int x, int y) = 0;
    // The image's pixels, top row first, bytes_per_row apart.
    virtual const std::uint8_t* pixels() const = 0;
    virtual std::uint8_t* mutable_pixels() = 0;
    // 0 and the cursor, or an error (no XFixes, or the server gave no image).
    virtual long cursor_available() = 0;
    virtual long get_cursor(TCursorImage* cursor) = 0;
};

using TScreenSourceFactory = std::unique_ptr<IScreenSource> (*)();

// The X11 source.
std::unique_ptr<IScreenSource> CreateX11ScreenSource();
// The factory capture devices opened from now on use; null restores the X11 source.
void SetScreenSourceFactory(TScreenSourceFactory factory);
std::unique_ptr<IScreenSource> CreateScreenSource();

// Alpha-blends a premultiplied ARGB cursor into a BGRA/BGR24/RGB565/RGB555 image with its
// top-left corner at (x, y) of the image; false for a pixel format it cannot draw into.
bool BlendCursor(std::uint8_t* image, int width, int height, long bytes_per_row, int bits_per_pixel,
                 int depth, const TCursorImage& cursor, int x, int y);

// Root position of a window's origin (the window itself for `client`, else its frame), read on
// a connection of its own behind a lock: cheap enough to call every 10 ms from any thread.
bool QueryWindowOrigin(std::uint64_t window, bool client, int* x, int* y);
