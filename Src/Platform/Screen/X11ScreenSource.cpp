// The X11 screen source: a connection of its own, the captured window found once, and one grab
// image made at open (an MIT-SHM segment when the server offers it, client memory otherwise).
// Frames are read from the root window at the captured window's current position, so a window
// that moves keeps being captured and parts of it off the screen come out black.
#include "ScreenSource.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xfixes.h>

namespace {

// X errors on our connections are recorded instead of ending the process; errors on other
// connections go to the handler that was there before.
std::mutex g_errorLock;
struct TErrorSlot {
    Display* display = nullptr;
    int code = 0;
};
TErrorSlot g_errors[16];
XErrorHandler g_previousHandler = nullptr;

int recordError(Display* display, XErrorEvent* event) {
    {
        std::lock_guard lock(g_errorLock);
        for (TErrorSlot& slot : g_errors)
            if (slot.display == display) {
                if (!slot.code)
                    slot.code = event->error_code;
                return 0;
            }
    }
    return g_previousHandler ? g_previousHandler(display, event) : 0;
}

// Xlib's default handler of a lost connection ends the process before the connection's exit
// handler is asked. This one returns, so that each connection's exit handler decides: ours
// mark the connection broken, others keep Xlib's default exit.
int returnFromIOError(Display*) {
    return 0;
}

void watchDisplay(Display* display) {
    static std::once_flag once;
    std::call_once(once, [] {
        g_previousHandler = XSetErrorHandler(recordError);
        XSetIOErrorHandler(returnFromIOError);
    });
    std::lock_guard lock(g_errorLock);
    for (TErrorSlot& slot : g_errors)
        if (!slot.display) {
            slot.display = display;
            slot.code = 0;
            return;
        }
}

void unwatchDisplay(Display* display) {
    std::lock_guard lock(g_errorLock);
    for (TErrorSlot& slot : g_errors)
        if (slot.display == display)
            slot = TErrorSlot{};
}

// The first error recorded on the connection since the last call, 0 if none.
int takeError(Display* display) {
    std::lock_guard lock(g_errorLock);
    for (TErrorSlot& slot : g_errors)
        if (slot.display == display) {
            int code = slot.code;
            slot.code = 0;
            return code;
        }
    return 0;
}

// A lost connection must end the recording, not the process: the exit handler returns, and the
// connection is then only good for closing.
void onIOError(Display*, void* user) {
    static_cast<std::atomic<bool>*>(user)->store(true, std::memory_order_release);
}

Display* openDisplay(std::atomic<bool>* broken) {
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return nullptr;
    watchDisplay(display);
    XSetIOErrorExitHandler(display, onIOError, broken);
    return display;
}

// A lost connection is not closed: XCloseDisplay on it can wait for ever for the lock of the
// request that met the loss. Its memory and socket are left to the end of the process.
void closeDisplay(Display* display, bool broken) {
    if (!display)
        return;
    if (!broken)
        XCloseDisplay(display);
    unwatchDisplay(display);
}

// The window-manager frame around a window: its ancestor that is a child of the root (the
// window itself when it is a child of the root).
bool frameOf(Display* display, Window window, Window* frame) {
    Window current = window;
    for (int depth = 0; depth < 64; ++depth) {
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display, current, &root, &parent, &children, &count))
            return false;
        if (children)
            XFree(children);
        if (parent == root || parent == 0) {
            *frame = current;
            return true;
        }
        current = parent;
    }
    return false;
}

// Root position of a window's outer top-left corner (inside its border for `inner`).
bool originOf(Display* display, Window window, bool inner, int* x, int* y) {
    Window child = 0;
    int rx = 0, ry = 0;
    if (!XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &rx, &ry, &child))
        return false;
    if (!inner) {
        XWindowAttributes attr;
        if (!XGetWindowAttributes(display, window, &attr))
            return false;
        rx -= attr.border_width;
        ry -= attr.border_width;
    }
    *x = rx;
    *y = ry;
    return true;
}

class TX11ScreenSource : public IScreenSource {
public:
    ~TX11ScreenSource() override {
        releaseImage();
        closeDisplay(FDisplay, FBroken.load(std::memory_order_acquire));
    }

    long open(std::uint64_t window, bool client) override {
        FDisplay = openDisplay(&FBroken);
        if (!FDisplay)
            return errno ? errno : ECONNREFUSED;
        FRoot = DefaultRootWindow(FDisplay);
        const int screen = DefaultScreen(FDisplay);
        FRootWidth = DisplayWidth(FDisplay, screen);
        FRootHeight = DisplayHeight(FDisplay, screen);
        FVisual = DefaultVisual(FDisplay, screen);
        FDepth = DefaultDepth(FDisplay, screen);
        int count = 0;
        if (XPixmapFormatValues* formats = XListPixmapFormats(FDisplay, &count)) {
            for (int i = 0; i < count; ++i)
                if (formats[i].depth == FDepth)
                    FBitsPerPixel = formats[i].bits_per_pixel;
            XFree(formats);
        }
        FTarget = FRoot;
        FClient = client;
        if (window != 0) {
            Window w = Window(window);
            if (client)
                FTarget = w;
            else if (!frameOf(FDisplay, w, &FTarget))
                return failure(BadWindow);
            XWindowAttributes attr;
            if (!XGetWindowAttributes(FDisplay, FTarget, &attr))
                return failure(BadWindow);
        }
        int event = 0, error = 0;
        FHasFixes = XFixesQueryExtension(FDisplay, &event, &error);
        FHasShm = XShmQueryExtension(FDisplay);
        return 0;
    }

    int root_width() const override { return FRootWidth; }
    int root_height() const override { return FRootHeight; }
    int bits_per_pixel() const override { return FBitsPerPixel; }
    int depth() const override { return FDepth; }

    long window_size(int* width, int* height) override {
        if (FTarget == FRoot) {
            *width = FRootWidth;
            *height = FRootHeight;
            return 0;
        }
        XWindowAttributes attr;
        if (!XGetWindowAttributes(FDisplay, FTarget, &attr))
            return failure(BadWindow);
        // The frame is measured with its border, the window itself without.
        const int border = FClient ? 0 : 2 * attr.border_width;
        *width = attr.width + border;
        *height = attr.height + border;
        return 0;
    }

    long window_origin(int* x, int* y) override {
        if (FTarget == FRoot) {
            *x = *y = 0;
            return 0;
        }
        if (FBroken.load(std::memory_order_acquire))
            return EPIPE;
        if (!originOf(FDisplay, FTarget, FClient, x, y))
            return failure(BadWindow);
        return 0;
    }

    long create_image(int width, int height) override {
        if (width <= 0 || height <= 0)
            return BadValue;
        FWidth = width;
        FHeight = height;
        if (FHasShm) {
            FImage = XShmCreateImage(FDisplay, FVisual, unsigned(FDepth), ZPixmap, nullptr, &FShm,
                                     unsigned(width), unsigned(height));
            if (FImage)
                return 0;
            FHasShm = false;
            FWarning = "MIT-SHM image could not be made, frames are read with XGetImage.";
        }
        return createPlainImage();
    }

    long create_memory() override {
        if (!FImage)
            return BadAlloc;
        const size_t bytes = size_t(FImage->bytes_per_line) * size_t(FImage->height);
        if (FHasShm) {
            long err = attachSegment(bytes);
            if (!err)
                return 0;
            // A server that cannot reach our memory (remote, or refused): read frames the plain
            // way instead.
            FImage->data = nullptr;
            XDestroyImage(FImage);
            FImage = nullptr;
            FHasShm = false;
            FWarning = "MIT-SHM segment could not be attached (error " + std::to_string(err) +
                       "), frames are read with XGetImage.";
            if (long e = createPlainImage())
                return e;
        }
        FImage->data = static_cast<char*>(std::calloc(1, bytes));
        return FImage->data ? 0 : ENOMEM;
    }

    TScreenImageInfo image_info() const override {
        TScreenImageInfo info;
        if (!FImage)
            return info;
        info.type = FShmAttached ? 1 : 0;
        info.width = FImage->width;
        info.height = FImage->height;
        info.bits_per_pixel = FImage->bits_per_pixel;
        info.planes = 1;
        info.bytes_per_row = FImage->bytes_per_line;
        return info;
    }

    std::string take_warning() override { return std::exchange(FWarning, {}); }

    long grab(int x, int y) override {
        if (!FImage || !FImage->data)
            return BadAlloc;
        if (FBroken.load(std::memory_order_acquire))
            return EPIPE;
        int ox = 0, oy = 0;
        if (long e = window_origin(&ox, &oy))
            return e;
        const int gx = ox + x, gy = oy + y;
        if (gx >= 0 && gy >= 0 && gx + FWidth <= FRootWidth && gy + FHeight <= FRootHeight) {
            bool ok = FShmAttached ? XShmGetImage(FDisplay, FRoot, FImage, gx, gy, AllPlanes) != 0
                                   : XGetSubImage(FDisplay, FRoot, gx, gy, unsigned(FWidth),
                                                  unsigned(FHeight), AllPlanes, ZPixmap, FImage, 0,
                                                  0) != nullptr;
            return ok ? 0 : failure(BadMatch);
        }
        // Partly or wholly off the screen: black, with what is on the screen read into place.
        std::memset(FImage->data, 0, size_t(FImage->bytes_per_line) * size_t(FHeight));
        const int x0 = std::max(gx, 0), y0 = std::max(gy, 0);
        const int x1 = std::min(gx + FWidth, FRootWidth), y1 = std::min(gy + FHeight, FRootHeight);
        if (x1 <= x0 || y1 <= y0)
            return 0;
        if (!XGetSubImage(FDisplay, FRoot, x0, y0, unsigned(x1 - x0), unsigned(y1 - y0), AllPlanes,
                          ZPixmap, FImage, x0 - gx, y0 - gy))
            return failure(BadMatch);
        return 0;
    }

    const std::uint8_t* pixels() const override {
        return FImage ? reinterpret_cast<const std::uint8_t*>(FImage->data) : nullptr;
    }
    std::uint8_t* mutable_pixels() override {
        return FImage ? reinterpret_cast<std::uint8_t*>(FImage->data) : nullptr;
    }

    long cursor_available() override { return FHasFixes ? 0 : BadImplementation; }

    long get_cursor(TCursorImage* cursor) override {
        if (!FHasFixes)
            return BadImplementation;
        if (FBroken.load(std::memory_order_acquire))
            return EPIPE;
        XFixesCursorImage* image = XFixesGetCursorImage(FDisplay);
        if (!image)
            return failure(BadAlloc);
        cursor->x = image->x;
        cursor->y = image->y;
        cursor->xhot = image->xhot;
        cursor->yhot = image->yhot;
        cursor->width = image->width;
        cursor->height = image->height;
        const size_t n = size_t(image->width) * image->height;
        cursor->pixels.resize(n);
        // XFixes hands the pixels as longs, 32 bits of ARGB in each.
        for (size_t i = 0; i < n; ++i)
            cursor->pixels[i] = std::uint32_t(image->pixels[i]);
        XFree(image);
        return 0;
    }

private:
    long failure(long fallback) {
        XSync(FDisplay, False);
        long code = takeError(FDisplay);
        if (FBroken.load(std::memory_order_acquire))
            return EPIPE;
        return code ? code : fallback;
    }

    long createPlainImage() {
        FImage = XCreateImage(FDisplay, FVisual, unsigned(FDepth), ZPixmap, 0, nullptr,
                              unsigned(FWidth), unsigned(FHeight), 32, 0);
        return FImage ? 0 : BadAlloc;
    }

    long attachSegment(size_t bytes) {
        FShm.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (FShm.shmid < 0)
            return errno;
        FShm.shmaddr = static_cast<char*>(shmat(FShm.shmid, nullptr, 0));
        if (FShm.shmaddr == reinterpret_cast<char*>(-1)) {
            long e = errno;
            shmctl(FShm.shmid, IPC_RMID, nullptr);
            FShm.shmaddr = nullptr;
            return e;
        }
        FShm.readOnly = False;
        takeError(FDisplay);
        bool ok = XShmAttach(FDisplay, &FShm);
        XSync(FDisplay, False);
        long e = takeError(FDisplay);
        // Marked for removal at once: the segment goes away with its last user, also when the
        // process dies.
        shmctl(FShm.shmid, IPC_RMID, nullptr);
        if (!ok || e) {
            shmdt(FShm.shmaddr);
            FShm.shmaddr = nullptr;
            return e ? e : BadAccess;
        }
        FImage->data = FShm.shmaddr;
        FShmAttached = true;
        return 0;
    }

    void releaseImage() {
        if (FShmAttached) {
            if (!FBroken.load(std::memory_order_acquire)) {
                XShmDetach(FDisplay, &FShm);
                XSync(FDisplay, False);
            }
            shmdt(FShm.shmaddr);
            FShmAttached = false;
            if (FImage)
                FImage->data = nullptr;
        }
        if (FImage) {
            XDestroyImage(FImage); // frees client memory too
            FImage = nullptr;
        }
    }

    Display* FDisplay = nullptr;
    std::atomic<bool> FBroken{false};
    Window FRoot = 0;
    Window FTarget = 0;
    bool FClient = false;
    Visual* FVisual = nullptr;
    int FDepth = 0;
    int FBitsPerPixel = 0;
    int FRootWidth = 0, FRootHeight = 0;
    bool FHasFixes = false;
    bool FHasShm = false;
    bool FShmAttached = false;
    XShmSegmentInfo FShm{};
    XImage* FImage = nullptr;
    int FWidth = 0, FHeight = 0;
    std::string FWarning;
};

std::atomic<TScreenSourceFactory> g_factory{nullptr};

} // namespace

std::unique_ptr<IScreenSource> CreateX11ScreenSource() {
    return std::make_unique<TX11ScreenSource>();
}

void SetScreenSourceFactory(TScreenSourceFactory factory) {
    g_factory.store(factory, std::memory_order_release);
}

std::unique_ptr<IScreenSource> CreateScreenSource() {
    TScreenSourceFactory factory = g_factory.load(std::memory_order_acquire);
    return factory ? factory() : CreateX11ScreenSource();
}

bool QueryWindowOrigin(std::uint64_t window, bool client, int* x, int* y) {
    static std::mutex lock;
    static Display* display = nullptr;
    static std::atomic<bool> broken{false};
    static Window lastWindow = 0, lastFrame = 0;
    std::lock_guard guard(lock);
    if (broken.load()) {
        closeDisplay(display, true);
        display = nullptr;
        broken.store(false);
    }
    if (!display) {
        display = openDisplay(&broken);
        if (!display)
            return false;
    }
    Window target = Window(window);
    if (!client) {
        // The frame rarely changes; look it up again only for another window or when the
        // cached one fails.
        if (target != lastWindow) {
            if (!frameOf(display, target, &lastFrame)) {
                lastWindow = 0;
                takeError(display);
                return false;
            }
            lastWindow = target;
        }
        target = lastFrame;
    }
    bool ok = originOf(display, target, client, x, y);
    if (!ok) {
        lastWindow = 0;
        takeError(display);
    }
    return ok;
}
