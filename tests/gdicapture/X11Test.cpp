// The X11 screen source on the private X server: pixels at the offset, windows by id, the
// cursor and clamping.
#include "DeviceTest.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>

namespace {

using namespace std::chrono_literals;

std::uint32_t Pattern(int x, int y) {
    return (std::uint32_t(x * 7 & 0xff) << 16) | (std::uint32_t(y * 3 & 0xff) << 8) |
           std::uint32_t((x + y) & 0xff);
}

class X11Fixture : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY"))
            GTEST_SKIP() << "needs DISPLAY (run under scripts/test-env)";
        dpy = XOpenDisplay(nullptr);
        ASSERT_NE(dpy, nullptr);
        pkt = av_packet_alloc();
    }
    void TearDown() override {
        CloseAppInput(&s);
        av_packet_free(&pkt);
        if (dpy) {
            for (auto it = windows.rbegin(); it != windows.rend(); ++it)
                XDestroyWindow(dpy, *it); // children before their parents
            XCloseDisplay(dpy);
        }
    }
    // A mapped override-redirect window painted with Pattern (or one colour).
    Window makeWindow(Window parent, int x, int y, int w, int h, bool pattern,
                      std::uint32_t colour = 0) {
        XSetWindowAttributes attr{};
        attr.override_redirect = True;
        attr.background_pixel = colour;
        Window win =
            XCreateWindow(dpy, parent, x, y, unsigned(w), unsigned(h), 0, CopyFromParent,
                          InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &attr);
        windows.push_back(win);
        XMapRaised(dpy, win);
        XSync(dpy, False);
        std::this_thread::sleep_for(50ms);
        if (pattern) {
            XImage* img = XCreateImage(dpy, DefaultVisual(dpy, 0), unsigned(DefaultDepth(dpy, 0)),
                                       ZPixmap, 0, nullptr, unsigned(w), unsigned(h), 32, 0);
            img->data = static_cast<char*>(std::malloc(size_t(img->bytes_per_line) * h));
            for (int yy = 0; yy < h; ++yy)
                for (int xx = 0; xx < w; ++xx)
                    XPutPixel(img, xx, yy, Pattern(xx, yy));
            GC gc = XCreateGC(dpy, win, 0, nullptr);
            XPutImage(dpy, win, gc, img, 0, 0, 0, 0, unsigned(w), unsigned(h));
            XFreeGC(dpy, gc);
            XDestroyImage(img);
        }
        XSync(dpy, False);
        return win;
    }
    // The first video packet's pixel (x, y) without its alpha byte.
    std::uint32_t pixel(int x, int y) {
        const int w = s->streams[0]->codecpar->width;
        std::uint32_t p = 0;
        std::memcpy(&p, frame.data() + (size_t(y) * w + x) * 4, 4);
        return p & 0xffffff;
    }
    void grabFrame() {
        for (int i = 0; i < 50; ++i) {
            int r = ReadPacket(s, pkt);
            if (r == AVERROR(EAGAIN))
                continue;
            ASSERT_GT(r, 0);
            frame.assign(pkt->data, pkt->data + pkt->size);
            av_packet_unref(pkt);
            return;
        }
        FAIL() << "no frame";
    }
    Display* dpy = nullptr;
    std::vector<Window> windows;
    AVFormatContext* s = nullptr;
    AVPacket* pkt = nullptr;
    std::vector<std::uint8_t> frame;
};

TEST_F(X11Fixture, RootPixelsAtTheOffset) {
    makeWindow(DefaultRootWindow(dpy), 100, 50, 300, 200, true);
    ASSERT_EQ(OpenDevice("video=0",
                         {{"capture_offset", "110,60"},
                          {"video_size", "64x32"},
                          {"capture_flags", "0"},
                          {"framerate", "30"}},
                         &s),
              0);
    EXPECT_EQ(s->streams[0]->codecpar->format, AV_PIX_FMT_BGRA);
    grabFrame();
    ASSERT_EQ(frame.size(), size_t(64 * 32 * 4));
    int wrong = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x)
            wrong += pixel(x, y) != Pattern(10 + x, 10 + y);
    EXPECT_EQ(wrong, 0);
}

TEST_F(X11Fixture, WindowByIdWithAndWithoutClient) {
    const std::uint32_t frameColour = 0x00336699;
    Window frameWin = makeWindow(DefaultRootWindow(dpy), 400, 300, 200, 150, false, frameColour);
    Window client = makeWindow(frameWin, 10, 20, 100, 80, true);
    const std::string url = "video=" + std::to_string(client);

    ASSERT_EQ(OpenDevice(
                  url,
                  {{"capture_offset", "5,7"}, {"video_size", "32x16"}, {"capture_flags", "client"}},
                  &s),
              0);
    grabFrame();
    EXPECT_EQ(pixel(0, 0), Pattern(5, 7));
    EXPECT_EQ(pixel(31, 15), Pattern(36, 22));
    CloseAppInput(&s);

    ASSERT_EQ(OpenDevice(url, {{"capture_flags", "0"}}, &s), 0);
    EXPECT_EQ(s->streams[0]->codecpar->width, 200); // the frame's size
    EXPECT_EQ(s->streams[0]->codecpar->height, 150);
    grabFrame();
    EXPECT_EQ(pixel(0, 0), frameColour);
    EXPECT_EQ(pixel(12, 22), Pattern(2, 2));
}

TEST_F(X11Fixture, CursorIsDrawnAtItsPosition) {
    int ev = 0, err = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(dpy, &ev, &err, &major, &minor))
        GTEST_SKIP() << "no XTest";
    const std::uint32_t grey = 0x00808080;
    makeWindow(DefaultRootWindow(dpy), 150, 100, 100, 100, false, grey);
    XTestFakeMotionEvent(dpy, 0, 200, 150, 0);
    XSync(dpy, False);
    std::this_thread::sleep_for(50ms);
    XFixesCursorImage* cur = XFixesGetCursorImage(dpy);
    ASSERT_NE(cur, nullptr);
    const int x0 = 200 - cur->xhot - 170, y0 = 150 - cur->yhot - 120;
    const int cw = cur->width, ch = cur->height;
    XFree(cur);

    for (const char* flags : {"cursor", "0"}) {
        ASSERT_EQ(
            OpenDevice(
                "video=0",
                {{"capture_offset", "170,120"}, {"video_size", "60x60"}, {"capture_flags", flags}},
                &s),
            0);
        grabFrame();
        int changed = 0, outside = 0;
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 60; ++x)
                if (pixel(x, y) != grey) {
                    ++changed;
                    outside += x < x0 || y < y0 || x >= x0 + cw || y >= y0 + ch;
                }
        if (std::string(flags) == "cursor")
            EXPECT_GT(changed, 0);
        else
            EXPECT_EQ(changed, 0);
        EXPECT_EQ(outside, 0);
        CloseAppInput(&s);
    }
}

TEST_F(X11Fixture, SizePastTheScreenIsClamped) {
    ASSERT_EQ(
        OpenDevice(
            "video=0",
            {{"capture_offset", "1800,1000"}, {"video_size", "320x240"}, {"capture_flags", "0"}},
            &s),
        0);
    EXPECT_EQ(s->streams[0]->codecpar->width, 120);
    EXPECT_EQ(s->streams[0]->codecpar->height, 80);
    grabFrame();
    EXPECT_EQ(frame.size(), size_t(120 * 80 * 4));
}

TEST_F(X11Fixture, FrameOriginFollowsTheWindow) {
    Window win = makeWindow(DefaultRootWindow(dpy), 300, 200, 50, 50, false);
    TFrameWindowInfo info;
    info.window_handle = win;
    info.client = 1;
    info.x_off = 4;
    info.y_off = 6;
    int x = 0, y = 0;
    ASSERT_TRUE(gdi_frame_origin(info, 2, &x, &y));
    EXPECT_EQ(x, 302);
    EXPECT_EQ(y, 204);
    XMoveWindow(dpy, win, 500, 400);
    XSync(dpy, False);
    ASSERT_TRUE(gdi_frame_origin(info, 2, &x, &y));
    EXPECT_EQ(x, 502);
    info.window_handle = 0;
    ASSERT_TRUE(gdi_frame_origin(info, 2, &x, &y));
    EXPECT_EQ(x, 2);
    EXPECT_EQ(y, 4);
}

TEST_F(X11Fixture, ReadHeaderFailureDetachesTheSegment) {
    auto segments = [] {
        FILE* f = std::fopen("/proc/sysvipc/shm", "r");
        int n = 0;
        char line[512];
        while (f && std::fgets(line, sizeof(line), f))
            ++n;
        if (f)
            std::fclose(f);
        return n;
    };
    const int before = segments();
    const int threads = CountEntries("/proc/self/task");
    TLogCapture log;
    // The wave-in device fails after the screen source and grab thread exist.
    EXPECT_EQ(OpenDevice("video=0:audio=", {{"capture_flags", "0"}, {"sample_rate", "0"}}, &s),
              AVERROR(EINVAL));
    EXPECT_EQ(segments(), before);
    EXPECT_EQ(CountEntries("/proc/self/task"), threads);
}

} // namespace
