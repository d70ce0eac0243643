#include "FakeScreenSource.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

std::atomic<int> g_alive{0};
std::atomic<int> g_grabs{0};

TCursorImage defaultCursor() {
    TCursorImage c;
    c.x = 5;
    c.y = 5;
    c.width = c.height = 2;
    c.pixels.assign(4, 0xffffffffu);
    return c;
}

class TFakeScreenSource : public IScreenSource {
public:
    explicit TFakeScreenSource(const TFakeScreenConfig& c) : FConfig(c) { ++g_alive; }
    ~TFakeScreenSource() override { --g_alive; }

    long open(std::uint64_t window, bool) override {
        FWindow = window;
        return FConfig.open_error;
    }
    int root_width() const override { return FConfig.root_width; }
    int root_height() const override { return FConfig.root_height; }
    int bits_per_pixel() const override { return FConfig.bits_per_pixel; }
    int depth() const override { return FConfig.depth; }
    long window_size(int* w, int* h) override {
        *w = FWindow ? FConfig.window_width : FConfig.root_width;
        *h = FWindow ? FConfig.window_height : FConfig.root_height;
        return 0;
    }
    long window_origin(int* x, int* y) override {
        if (FWindow && FConfig.origin_error)
            return FConfig.origin_error;
        *x = FWindow ? FConfig.window_x : 0;
        *y = FWindow ? FConfig.window_y : 0;
        return 0;
    }
    long create_image(int w, int h) override {
        if (FConfig.image_error)
            return FConfig.image_error;
        FWidth = w;
        FHeight = h;
        FRow = long(w) * ((FConfig.bits_per_pixel + 7) / 8);
        return 0;
    }
    long create_memory() override {
        if (FConfig.memory_error)
            return FConfig.memory_error;
        FPixels.assign(size_t(FRow) * size_t(FHeight), 0);
        return 0;
    }
    TScreenImageInfo image_info() const override {
        return TScreenImageInfo{0, FWidth, FHeight, FConfig.bits_per_pixel, 1, FRow};
    }
    long grab(int x, int y) override {
        if (FConfig.grabs_before_failure >= 0 && FGrabs >= FConfig.grabs_before_failure)
            return FConfig.grab_error;
        int ox = 0, oy = 0;
        if (long e = window_origin(&ox, &oy))
            return e;
        const int bytes = (FConfig.bits_per_pixel + 7) / 8;
        for (int row = 0; row < FHeight; ++row)
            for (int col = 0; col < FWidth; ++col) {
                std::uint32_t p = FakeScreenPixel(ox + x + col, oy + y + row, FGrabs);
                std::memcpy(&FPixels[size_t(row) * FRow + size_t(col) * bytes], &p,
                            size_t(std::min(bytes, 4)));
            }
        ++FGrabs;
        ++g_grabs;
        return 0;
    }
    const std::uint8_t* pixels() const override { return FPixels.data(); }
    std::uint8_t* mutable_pixels() override { return FPixels.data(); }
    long cursor_available() override { return FConfig.cursor_error; }
    long get_cursor(TCursorImage* c) override {
        if (FConfig.get_cursor_error)
            return FConfig.get_cursor_error;
        *c = FConfig.cursor;
        return 0;
    }

private:
    TFakeScreenConfig FConfig;
    std::uint64_t FWindow = 0;
    int FWidth = 0, FHeight = 0;
    long FRow = 0;
    int FGrabs = 0;
    std::vector<std::uint8_t> FPixels;
};

TFakeScreenConfig& config() {
    static TFakeScreenConfig c = [] {
        TFakeScreenConfig d;
        d.cursor = defaultCursor();
        return d;
    }();
    return c;
}

} // namespace

TFakeScreenConfig& FakeScreenConfig() {
    return config();
}

void ResetFakeScreenConfig() {
    config() = TFakeScreenConfig{};
    config().cursor = defaultCursor();
}

std::unique_ptr<IScreenSource> CreateFakeScreenSource() {
    return std::make_unique<TFakeScreenSource>(config());
}

int FakeScreenSourcesAlive() {
    return g_alive.load();
}
int FakeScreenGrabs() {
    return g_grabs.load();
}
