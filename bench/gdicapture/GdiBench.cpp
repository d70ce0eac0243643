// Reads the capture device for a while, as the encoder does, while the screen changes; prints
// frames delivered, lost and dropped and the grab thread's CPU time per frame.
// Usage: gdicapture_bench [seconds] [WxH] [fps]   (needs DISPLAY)
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include <X11/Xlib.h>

#include "AppInputFormat.h"
#include "GDICapture.h"

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;
    const std::string size = argc > 2 ? argv[2] : "320x240";
    const std::string fps = argc > 3 ? argv[3] : "15";
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "needs DISPLAY\n");
        return 2;
    }
    av_log_set_level(AV_LOG_WARNING);

    // Changing content: a window that moves and changes colour every 10 ms.
    std::atomic<bool> stop{false};
    std::thread painter([&] {
        Display* d = XOpenDisplay(nullptr);
        XSetWindowAttributes a{};
        a.override_redirect = True;
        Window w = XCreateWindow(d, DefaultRootWindow(d), 0, 0, 200, 200, 0, CopyFromParent,
                                 InputOutput, CopyFromParent, CWOverrideRedirect, &a);
        XMapRaised(d, w);
        for (unsigned i = 0; !stop.load(); ++i) {
            XSetWindowBackground(d, w, (i * 0x10305) & 0xffffff);
            XMoveWindow(d, w, int(i * 7 % 1700), int(i * 3 % 880));
            XClearWindow(d, w);
            XFlush(d);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        XDestroyWindow(d, w);
        XCloseDisplay(d);
    });

    register_gdicapture();
    AVDictionary* opts = nullptr;
    av_dict_set(&opts, "video_size", size.c_str(), 0);
    av_dict_set(&opts, "framerate", fps.c_str(), 0);
    av_dict_set(&opts, "capture_flags", "cursor", 0);
    AVFormatContext* s = nullptr;
    int ret = OpenAppInput(FindAppInputFormat("gdicapture"), "video=0", &opts, &s);
    av_dict_free(&opts);
    if (ret < 0) {
        std::fprintf(stderr, "open failed: %d\n", ret);
        stop = true;
        painter.join();
        return 1;
    }
    AVPacket* pkt = av_packet_alloc();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    long long read = 0;
    while (std::chrono::steady_clock::now() < end) {
        int r = gdicapture_format.read_packet(s, pkt);
        if (r == AVERROR(EAGAIN))
            continue;
        if (r < 0)
            break;
        ++read;
        av_packet_unref(pkt);
    }
    auto* ctx = static_cast<Tgdi_capture*>(s->priv_data);
    const long long delivered = gdi_load(ctx->frames_delivered);
    const long long lost = gdi_load(ctx->frames_lost);
    const long long dropped = gdi_load(ctx->frames_dropped);
    const long long cpu = gdi_load(ctx->grab_cpu_ns);
    const long long grabbed = delivered + dropped;
    std::printf("size %s fps %s seconds %d: delivered %lld (read %lld) lost %lld dropped %lld "
                "cpu/frame %.3f ms\n",
                size.c_str(), fps.c_str(), seconds, delivered, read, lost, dropped,
                grabbed ? double(cpu) / 1e6 / double(grabbed) : 0.0);
    av_packet_free(&pkt);
    CloseAppInput(&s);
    stop = true;
    painter.join();
    return 0;
}
