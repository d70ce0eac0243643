#include "ScreenSource.h"

#include <algorithm>

namespace {

inline std::uint32_t over(std::uint32_t src, std::uint32_t dst, std::uint32_t alpha) {
    // premultiplied source over destination, one channel of 8 bits
    return std::min<std::uint32_t>(255, src + (dst * (255 - alpha) + 127) / 255);
}

} // namespace

bool BlendCursor(std::uint8_t* image, int width, int height, long bytes_per_row, int bits_per_pixel,
                 int depth, const TCursorImage& cursor, int x, int y) {
    if (!image || (bits_per_pixel != 32 && bits_per_pixel != 24 && bits_per_pixel != 16))
        return false;
    const int bytes = bits_per_pixel / 8;
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = std::min(x + cursor.width, width), y1 = std::min(y + cursor.height, height);
    for (int row = y0; row < y1; ++row) {
        std::uint8_t* dst = image + row * bytes_per_row + x0 * bytes;
        const std::uint32_t* src = cursor.pixels.data() + size_t(row - y) * cursor.width + (x0 - x);
        for (int col = x0; col < x1; ++col, dst += bytes, ++src) {
            const std::uint32_t p = *src;
            const std::uint32_t a = p >> 24;
            if (a == 0 && (p & 0xffffff) == 0)
                continue;
            const std::uint32_t r = (p >> 16) & 0xff, g = (p >> 8) & 0xff, b = p & 0xff;
            if (bytes >= 3) {
                dst[0] = std::uint8_t(over(b, dst[0], a));
                dst[1] = std::uint8_t(over(g, dst[1], a));
                dst[2] = std::uint8_t(over(r, dst[2], a));
                continue;
            }
            std::uint16_t v = std::uint16_t(dst[0] | (dst[1] << 8));
            std::uint32_t dr, dg, db;
            if (depth == 15) {
                dr = ((v >> 10) & 0x1f) * 255 / 31;
                dg = ((v >> 5) & 0x1f) * 255 / 31;
                db = (v & 0x1f) * 255 / 31;
                dr = over(r, dr, a) * 31 / 255;
                dg = over(g, dg, a) * 31 / 255;
                db = over(b, db, a) * 31 / 255;
                v = std::uint16_t((dr << 10) | (dg << 5) | db);
            } else {
                dr = ((v >> 11) & 0x1f) * 255 / 31;
                dg = ((v >> 5) & 0x3f) * 255 / 63;
                db = (v & 0x1f) * 255 / 31;
                dr = over(r, dr, a) * 31 / 255;
                dg = over(g, dg, a) * 63 / 255;
                db = over(b, db, a) * 31 / 255;
                v = std::uint16_t((dr << 11) | (dg << 5) | db);
            }
            dst[0] = std::uint8_t(v & 0xff);
            dst[1] = std::uint8_t(v >> 8);
        }
    }
    return true;
}
