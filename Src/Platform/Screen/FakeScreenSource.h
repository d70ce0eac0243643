// A screen source for tests: a screen of a chosen size and depth whose pixels follow a known
// pattern, a window at a chosen place, a cursor, and failures on request.
#pragma once

#include <atomic>
#include <cstdint>

#include "ScreenSource.h"

struct TFakeScreenConfig {
    int root_width = 640;
    int root_height = 480;
    int bits_per_pixel = 32;
    int depth = 24;
    // The window any id other than 0 names: its origin on the screen and its size.
    int window_x = 50, window_y = 60;
    int window_width = 200, window_height = 100;
    long open_error = 0;
    long image_error = 0;
    long memory_error = 0;
    long origin_error = 0;         // window_origin() fails (the window is gone)
    int grabs_before_failure = -1; // -1 = grabs never fail
    long grab_error = 8;           // BadMatch
    long cursor_error = 0;         // cursor_available() fails (no XFixes)
    long get_cursor_error = 0;
    TCursorImage cursor; // a 2x2 opaque white cursor at (5, 5) by default
};

// The configuration that sources made from now on use (set it before the device opens).
TFakeScreenConfig& FakeScreenConfig();
void ResetFakeScreenConfig();
std::unique_ptr<IScreenSource> CreateFakeScreenSource();
// Sources alive right now and grabs done so far (all sources together).
int FakeScreenSourcesAlive();
int FakeScreenGrabs();

// The pattern pixel (BGRA) at screen position (x, y) in grab number n (counted from 0).
inline std::uint32_t FakeScreenPixel(int x, int y, int n) {
    return 0xff000000u | (std::uint32_t(n & 0xff) << 16) | (std::uint32_t(y & 0xff) << 8) |
           std::uint32_t(x & 0xff);
}
