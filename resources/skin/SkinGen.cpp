// Draws the program's skin: the main window's background, the image buttons in their normal
// ("_1") and pressed ("_2") looks, the about box's logo and the application icon in the sizes a
// desktop asks for. Run at build time: kvc_skingen <output folder>.
//
// Every button is drawn over a copy of the part of the background it covers, so the 24-bit
// bitmaps blend into the window without needing an alpha channel.
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>
#include <QTextStream>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {

// One palette for everything: a deep navy title, a cool light body, a saturated blue strip.
const QColor kTitleTop(0x2b, 0x4d, 0x80);
const QColor kTitleBottom(0x17, 0x2c, 0x4f);
const QColor kBodyTop(0xee, 0xf2, 0xf7);
const QColor kBodyBottom(0xd3, 0xdc, 0xe8);
const QColor kPanelTop(0x24, 0x2b, 0x36);
const QColor kPanelBottom(0x12, 0x17, 0x1f);
const QColor kStripTop(0x3a, 0x7b, 0xd5);
const QColor kStripBottom(0x1b, 0x4c, 0x9a);
const QColor kAccentBlue(0x1e, 0x88, 0xff);
const QColor kRecordRed(0xe5, 0x30, 0x2a);
const QColor kText(0x1d, 0x2a, 0x3b);

constexpr int kWinW = 340;
constexpr int kWinH = 200;
constexpr int kTitleH = 28;
constexpr int kStripY = 156;

QString gOut;

bool save(const QImage& img, const QString& name) {
    const QString path = gOut + "/" + name + ".png";
    if (!img.save(path, "PNG")) {
        std::fprintf(stderr, "kvc_skingen: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

QFont uiFont(int px, bool bold = false) {
    QFont f("DejaVu Sans");
    f.setPixelSize(px);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

void setup(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

// The camera glyph shared by the logo, the icon and the title bar: a rounded body with a lens
// and a viewfinder cone, drawn into the box r.
void drawCamera(QPainter& p, const QRectF& r, const QColor& body, const QColor& lensRing,
                bool recordDot) {
    const qreal u = r.width() / 64.0;
    p.save();
    p.translate(r.topLeft());
    p.setPen(Qt::NoPen);
    // body
    QPainterPath bodyPath;
    bodyPath.addRoundedRect(QRectF(6 * u, 20 * u, 36 * u, 26 * u), 5 * u, 5 * u);
    p.setBrush(body);
    p.drawPath(bodyPath);
    // viewfinder cone
    QPainterPath cone;
    cone.moveTo(44 * u, 28 * u);
    cone.lineTo(58 * u, 20 * u);
    cone.lineTo(58 * u, 46 * u);
    cone.lineTo(44 * u, 38 * u);
    cone.closeSubpath();
    p.drawPath(cone);
    // film reels on top
    p.drawEllipse(QPointF(14 * u, 14 * u), 7 * u, 7 * u);
    p.drawEllipse(QPointF(31 * u, 13 * u), 8 * u, 8 * u);
    p.setBrush(lensRing);
    p.drawEllipse(QPointF(14 * u, 14 * u), 2.4 * u, 2.4 * u);
    p.drawEllipse(QPointF(31 * u, 13 * u), 2.8 * u, 2.8 * u);
    // lens
    p.setBrush(lensRing);
    p.drawEllipse(QPointF(24 * u, 33 * u), 8.5 * u, 8.5 * u);
    QRadialGradient glass(QPointF(22 * u, 31 * u), 7 * u);
    glass.setColorAt(0, QColor(0x7f, 0xc4, 0xff));
    glass.setColorAt(1, QColor(0x0d, 0x2a, 0x5c));
    p.setBrush(glass);
    p.drawEllipse(QPointF(24 * u, 33 * u), 6 * u, 6 * u);
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawEllipse(QPointF(21.5 * u, 30.5 * u), 1.8 * u, 1.8 * u);
    if (recordDot) {
        p.setBrush(kRecordRed);
        p.drawEllipse(QPointF(37 * u, 25 * u), 2.6 * u, 2.6 * u);
    }
    p.restore();
}

// ---- the main window's background

QImage drawMainWin() {
    QImage img(kWinW, kWinH, QImage::Format_RGB32);
    QPainter p(&img);
    setup(p);

    // body
    QLinearGradient body(0, kTitleH, 0, kStripY);
    body.setColorAt(0, kBodyTop);
    body.setColorAt(1, kBodyBottom);
    p.fillRect(img.rect(), body);

    // title bar with a thin highlight at its top and a shadow line under it
    QLinearGradient title(0, 0, 0, kTitleH);
    title.setColorAt(0, kTitleTop);
    title.setColorAt(1, kTitleBottom);
    p.fillRect(QRect(0, 0, kWinW, kTitleH), title);
    p.fillRect(QRect(0, 0, kWinW, 1), QColor(0x4a, 0x6f, 0xa6));
    p.fillRect(QRect(0, kTitleH, kWinW, 1), QColor(0x0c, 0x18, 0x2c));
    p.fillRect(QRect(0, kTitleH + 1, kWinW, 1), QColor(0xff, 0xff, 0xff, 150));

    drawCamera(p, QRectF(6, 4, 20, 20), QColor(0xf2, 0xf6, 0xfb), QColor(0x17, 0x2c, 0x4f), true);
    p.setFont(uiFont(13, true));
    p.setPen(QColor(0, 0, 0, 110));
    p.drawText(QRectF(31, 1, 240, kTitleH), Qt::AlignVCenter | Qt::AlignLeft,
               "Kestrovane Video Capture");
    p.setPen(Qt::white);
    p.drawText(QRectF(30, 0, 240, kTitleH), Qt::AlignVCenter | Qt::AlignLeft,
               "Kestrovane Video Capture");

    // rounded, sunken field that frames the region text (the edit lies at 10,35 320x21)
    {
        const QRectF outer(6.5, 32.5, 327, 26);
        QPainterPath path;
        path.addRoundedRect(outer, 6, 6);
        p.setPen(QPen(QColor(0x9d, 0xab, 0xbe), 1));
        p.setBrush(Qt::white);
        p.drawPath(path);
        p.setPen(QPen(QColor(0, 0, 0, 28), 1));
        p.drawLine(QPointF(12, 34), QPointF(328, 34));
    }

    // dark status panel behind the two status lines (26,73 and 26,95)
    {
        const QRectF panel(12.5, 65.5, 315, 45);
        QLinearGradient g(0, panel.top(), 0, panel.bottom());
        g.setColorAt(0, kPanelTop);
        g.setColorAt(1, kPanelBottom);
        QPainterPath path;
        path.addRoundedRect(panel, 6, 6);
        p.setPen(QPen(QColor(0x0a, 0x0e, 0x14), 1));
        p.setBrush(g);
        p.drawPath(path);
        // a faint light edge under the panel so it sits in the body
        p.setPen(QPen(QColor(255, 255, 255, 170), 1));
        p.drawLine(QPointF(18, 111.5), QPointF(322, 111.5));
        // a little "screen" sheen in the top third
        QLinearGradient sheen(0, panel.top(), 0, panel.top() + 16);
        sheen.setColorAt(0, QColor(255, 255, 255, 26));
        sheen.setColorAt(1, QColor(255, 255, 255, 0));
        QPainterPath top;
        top.addRoundedRect(panel.adjusted(1, 1, -1, -28), 5, 5);
        p.setPen(Qt::NoPen);
        p.setBrush(sheen);
        p.drawPath(top);
    }

    // a separator line in the body above the strip
    p.fillRect(QRect(8, 145, 324, 1), QColor(0xb4, 0xc0, 0xcf));
    p.fillRect(QRect(8, 146, 324, 1), QColor(0xff, 0xff, 0xff, 190));

    // the blue strip that the four big buttons cover
    QLinearGradient strip(0, kStripY, 0, kWinH);
    strip.setColorAt(0, kStripTop);
    strip.setColorAt(1, kStripBottom);
    p.fillRect(QRect(0, kStripY, kWinW, kWinH - kStripY), strip);
    p.fillRect(QRect(0, kStripY, kWinW, 1), QColor(0x12, 0x37, 0x72));
    p.fillRect(QRect(0, kStripY + 1, kWinW, 1), QColor(0x6d, 0xa2, 0xea));

    // outer edge of the window
    p.setPen(QPen(QColor(0x0c, 0x18, 0x2c), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, kWinW - 1, kWinH - 1));
    p.end();
    return img;
}

// ---- image buttons

using Glyph = std::function<void(QPainter&, const QRectF& box, bool pressed)>;

// A 14 x 14 caption button on the title bar: a rounded, glossy tile with a white glyph.
QImage drawSmallButton(const QImage& bg, QPoint at, bool pressed, const QColor& tint,
                       const Glyph& glyph) {
    QImage img = bg.copy(QRect(at, QSize(14, 14)));
    QPainter p(&img);
    setup(p);
    const QRectF r(0.5, 0.5, 13, 13);
    QLinearGradient g(0, 0, 0, 14);
    if (pressed) {
        g.setColorAt(0, tint.darker(190));
        g.setColorAt(1, tint.darker(130));
    } else {
        g.setColorAt(0, tint.lighter(135));
        g.setColorAt(1, tint);
    }
    p.setPen(QPen(QColor(0x08, 0x12, 0x22, 220), 1));
    p.setBrush(g);
    p.drawRoundedRect(r, 3, 3);
    if (!pressed) {
        p.setPen(QPen(QColor(255, 255, 255, 90), 1));
        p.drawLine(QPointF(3, 1.5), QPointF(11, 1.5));
    }
    const QRectF box = pressed ? QRectF(1.5, 1.5, 12, 12) : QRectF(1, 1, 12, 12);
    glyph(p, box, pressed);
    p.end();
    return img;
}

QPen glyphPen(qreal w, bool pressed) {
    return QPen(pressed ? QColor(0xd8, 0xe4, 0xf4) : Qt::white, w, Qt::SolidLine, Qt::RoundCap,
                Qt::RoundJoin);
}

void glyphPinUpright(QPainter& p, const QRectF& b, bool pressed) {
    const qreal x = b.left(), y = b.top();
    p.setPen(Qt::NoPen);
    p.setBrush(pressed ? QColor(0xd8, 0xe4, 0xf4) : Qt::white);
    p.drawEllipse(QPointF(x + 6, y + 3.3), 2.6, 2.3);                // head
    p.drawRoundedRect(QRectF(x + 4.6, y + 4.2, 2.8, 3.4), 0.6, 0.6); // neck
    p.drawRoundedRect(QRectF(x + 2.6, y + 7.0, 6.8, 1.6), 0.7, 0.7); // collar
    p.setPen(glyphPen(1.1, pressed));
    p.drawLine(QPointF(x + 6, y + 8.6), QPointF(x + 6, y + 11.4)); // needle
}

void glyphPinLying(QPainter& p, const QRectF& b, bool pressed) {
    // the pin on its side, pointing left, in amber so that "on" reads at a glance
    const qreal x = b.left(), y = b.top();
    const QColor amber = pressed ? QColor(0xff, 0xe3, 0xa8) : QColor(0xff, 0xcc, 0x55);
    p.setPen(QPen(amber, 1.1, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(x + 0.8, y + 6), QPointF(x + 4.2, y + 6)); // needle
    p.setPen(Qt::NoPen);
    p.setBrush(amber);
    p.drawRoundedRect(QRectF(x + 4.0, y + 2.6, 1.7, 6.8), 0.7, 0.7); // collar
    p.drawRoundedRect(QRectF(x + 5.4, y + 4.6, 3.2, 2.8), 0.6, 0.6); // neck
    p.drawEllipse(QPointF(x + 9.3, y + 6), 2.3, 2.6);                // head
}

void glyphQuestion(QPainter& p, const QRectF& b, bool pressed) {
    p.setPen(pressed ? QColor(0xd8, 0xe4, 0xf4) : Qt::white);
    p.setFont(uiFont(11, true));
    p.drawText(b.adjusted(0, 0, 0, 0), Qt::AlignCenter, "?");
}

void glyphMinimise(QPainter& p, const QRectF& b, bool pressed) {
    p.setPen(glyphPen(1.8, pressed));
    p.drawLine(QPointF(b.left() + 3, b.top() + 8.8), QPointF(b.left() + 9, b.top() + 8.8));
}

void glyphCross(QPainter& p, const QRectF& b, bool pressed) {
    p.setPen(glyphPen(1.6, pressed));
    const qreal x = b.left(), y = b.top();
    p.drawLine(QPointF(x + 3, y + 3), QPointF(x + 9, y + 9));
    p.drawLine(QPointF(x + 9, y + 3), QPointF(x + 3, y + 9));
}

// The option button for the Mark window: a radio circle and its words, on the body.
QImage drawMarkWindow(const QImage& bg, QPoint at, bool checked) {
    QImage img = bg.copy(QRect(at, QSize(140, 17)));
    QPainter p(&img);
    setup(p);
    const QPointF c(8.5, 8.5);
    QLinearGradient ring(0, 1, 0, 16);
    ring.setColorAt(0, QColor(0xfd, 0xfe, 0xff));
    ring.setColorAt(1, QColor(0xdc, 0xe3, 0xee));
    p.setPen(QPen(checked ? QColor(0x1b, 0x5c, 0xb8) : QColor(0x6d, 0x7c, 0x90), 1.2));
    p.setBrush(ring);
    p.drawEllipse(c, 6.6, 6.6);
    if (checked) {
        QRadialGradient dot(c - QPointF(1, 1), 4.5);
        dot.setColorAt(0, QColor(0x63, 0xaa, 0xff));
        dot.setColorAt(1, QColor(0x13, 0x5b, 0xc9));
        p.setPen(Qt::NoPen);
        p.setBrush(dot);
        p.drawEllipse(c, 3.7, 3.7);
    }
    QFont f = uiFont(11, true);
    f.setStretch(QFont::SemiCondensed);
    p.setFont(f);
    p.setPen(checked ? QColor(0x13, 0x4a, 0x9c) : kText);
    p.drawText(QRectF(20, 0, 120, 17), Qt::AlignVCenter | Qt::AlignLeft, "Mark Video Window");
    p.end();
    return img;
}

// An 83 x 41 button of the blue strip: a raised tile with an icon over a short caption;
// the pressed look is sunken, darker, and shifts its content one pixel down and right.
QImage drawBigButton(const QImage& bg, QPoint at, bool pressed, const QString& caption,
                     const Glyph& glyph) {
    QImage img = bg.copy(QRect(at, QSize(83, 41)));
    QPainter p(&img);
    setup(p);
    const QRectF r(1.5, 1.5, 80, 38);
    QLinearGradient g(0, 1, 0, 40);
    if (pressed) {
        g.setColorAt(0, QColor(0x12, 0x3a, 0x7a));
        g.setColorAt(1, QColor(0x1f, 0x55, 0xa8));
    } else {
        g.setColorAt(0, QColor(0x5b, 0x97, 0xe8));
        g.setColorAt(0.5, QColor(0x33, 0x72, 0xcf));
        g.setColorAt(1, QColor(0x1f, 0x56, 0xaa));
    }
    p.setPen(QPen(QColor(0x0d, 0x2c, 0x5e), 1));
    p.setBrush(g);
    p.drawRoundedRect(r, 5, 5);
    if (pressed) {
        // inner shadow along the top and left edges
        p.setPen(QPen(QColor(0, 0, 0, 70), 1.4));
        p.drawLine(QPointF(5, 3), QPointF(78, 3));
        p.drawLine(QPointF(3, 5), QPointF(3, 36));
    } else {
        p.setPen(QPen(QColor(255, 255, 255, 95), 1));
        p.drawLine(QPointF(6, 2.5), QPointF(77, 2.5));
    }
    const qreal shift = pressed ? 1 : 0;
    glyph(p, QRectF(41.5 - 11 + shift, 4 + shift, 22, 22), pressed);
    p.setFont(uiFont(10, true));
    p.setPen(QColor(0, 0, 0, 90));
    p.drawText(QRectF(shift, 26 + shift + 1, 83, 13), Qt::AlignHCenter | Qt::AlignVCenter, caption);
    p.setPen(pressed ? QColor(0xd0, 0xdf, 0xf5) : Qt::white);
    p.drawText(QRectF(shift, 26 + shift, 83, 13), Qt::AlignHCenter | Qt::AlignVCenter, caption);
    p.end();
    return img;
}

void glyphDot(QPainter& p, const QRectF& b, const QColor& c, bool pressed) {
    const QPointF centre = b.center();
    p.setPen(QPen(QColor(255, 255, 255, pressed ? 170 : 235), 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(centre, 9.5, 9.5);
    QRadialGradient g(centre - QPointF(2.5, 2.5), 9);
    g.setColorAt(0, c.lighter(160));
    g.setColorAt(0.6, c);
    g.setColorAt(1, c.darker(150));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(centre, 7.2, 7.2);
    p.setBrush(QColor(255, 255, 255, 150));
    p.drawEllipse(centre - QPointF(2.6, 2.8), 2.0, 1.5);
}

void glyphPlay(QPainter& p, const QRectF& b, bool pressed) {
    QPainterPath tri;
    const qreal x = b.left(), y = b.top();
    tri.moveTo(x + 6, y + 2);
    tri.lineTo(x + 19, y + 11);
    tri.lineTo(x + 6, y + 20);
    tri.closeSubpath();
    p.setPen(QPen(pressed ? QColor(0xd0, 0xdf, 0xf5) : Qt::white, 2, Qt::SolidLine, Qt::RoundCap,
                  Qt::RoundJoin));
    p.setBrush(pressed ? QColor(0xd0, 0xdf, 0xf5) : Qt::white);
    p.drawPath(tri);
}

void glyphFolder(QPainter& p, const QRectF& b, bool pressed) {
    const qreal x = b.left(), y = b.top();
    const QColor back = pressed ? QColor(0xd9, 0xa8, 0x3c) : QColor(0xf1, 0xbd, 0x4a);
    const QColor front = pressed ? QColor(0xf0, 0xcc, 0x70) : QColor(0xff, 0xdb, 0x7c);
    QPainterPath tab;
    tab.moveTo(x + 1, y + 5);
    tab.lineTo(x + 8, y + 5);
    tab.lineTo(x + 10, y + 7);
    tab.lineTo(x + 20, y + 7);
    tab.lineTo(x + 20, y + 19);
    tab.lineTo(x + 1, y + 19);
    tab.closeSubpath();
    p.setPen(QPen(QColor(0x8a, 0x5d, 0x0d), 1));
    p.setBrush(back);
    p.drawPath(tab);
    QPainterPath flap;
    flap.moveTo(x + 1, y + 19);
    flap.lineTo(x + 4, y + 10);
    flap.lineTo(x + 22, y + 10);
    flap.lineTo(x + 20, y + 19);
    flap.closeSubpath();
    QLinearGradient g(0, y + 10, 0, y + 19);
    g.setColorAt(0, front.lighter(108));
    g.setColorAt(1, front);
    p.setBrush(g);
    p.drawPath(flap);
}

void glyphTools(QPainter& p, const QRectF& b, bool pressed) {
    const QColor metal = pressed ? QColor(0xc8, 0xd4, 0xe4) : QColor(0xf4, 0xf7, 0xfb);
    const QPointF c = b.center();
    p.save();
    p.translate(c);
    // a gear: teeth as a ring of short thick strokes, a disc, and a hole
    p.setPen(QPen(metal, 3.4, Qt::SolidLine, Qt::FlatCap));
    for (int i = 0; i < 8; ++i) {
        const double a = i * M_PI / 4;
        p.drawLine(QPointF(std::cos(a) * 6.5, std::sin(a) * 6.5),
                   QPointF(std::cos(a) * 9.6, std::sin(a) * 9.6));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(metal);
    p.drawEllipse(QPointF(0, 0), 7.4, 7.4);
    p.setBrush(pressed ? QColor(0x1a, 0x4c, 0x99) : QColor(0x2c, 0x68, 0xc4));
    p.drawEllipse(QPointF(0, 0), 3.0, 3.0);
    // a screwdriver across it
    p.rotate(45);
    p.setBrush(QColor(0xf0, 0x6a, 0x3c).darker(pressed ? 120 : 100));
    p.setPen(QPen(QColor(0x6a, 0x23, 0x0c), 0.8));
    p.drawRoundedRect(QRectF(-2.2, 1.5, 4.4, 9.5), 1.6, 1.6);
    p.setPen(Qt::NoPen);
    p.setBrush(metal);
    p.drawRect(QRectF(-0.9, -10.5, 1.8, 12.2));
    p.restore();
}

// ---- logo and icon

QImage drawLogo(int size, bool opaque) {
    QImage img(size, size, opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
    img.fill(opaque ? QColor(0xff, 0xff, 0xff) : QColor(0, 0, 0, 0));
    QPainter p(&img);
    setup(p);
    const qreal s = size;
    // The opaque logo is a full blue square; the icon a rounded tile on transparency.
    const QRectF tile =
        opaque ? QRectF(0, 0, s, s) : QRectF(s * 0.03, s * 0.03, s * 0.94, s * 0.94);
    const qreal radius = opaque ? 0 : s * 0.2;
    QLinearGradient g(0, tile.top(), 0, tile.bottom());
    g.setColorAt(0, QColor(0x4a, 0x9a, 0xf5));
    g.setColorAt(1, QColor(0x12, 0x45, 0x9c));
    p.setPen(size >= 32 && !opaque ? QPen(QColor(0x0b, 0x2f, 0x6e), s / 64.0) : Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(tile, radius, radius);
    // gloss on the upper half
    QLinearGradient gloss(0, tile.top(), 0, tile.center().y());
    gloss.setColorAt(0, QColor(255, 255, 255, 90));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(gloss);
    p.drawRoundedRect(tile.adjusted(s * 0.04, s * 0.03, -s * 0.04, -s * 0.47), s * 0.16, s * 0.16);
    drawCamera(p, QRectF(s * 0.02, s * 0.06, s * 0.96, s * 0.96), QColor(0xf7, 0xfa, 0xff),
               QColor(0x1b, 0x3a, 0x6b), true);
    p.end();
    return img;
}

} // namespace

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: kvc_skingen <output folder>\n");
        return 2;
    }
    gOut = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(gOut) || !QDir().mkpath(gOut + "/icons")) {
        std::fprintf(stderr, "kvc_skingen: cannot create %s\n", argv[1]);
        return 1;
    }

    bool ok = true;
    const QImage bg = drawMainWin();
    ok &= save(bg, "MainWin");

    const QColor tileBlue(0x3a, 0x63, 0x9e);
    const QColor tileRed(0xc8, 0x3a, 0x35);
    const QColor tileAmber(0x4d, 0x6e, 0xa0);
    struct Small {
        const char* name;
        QPoint at;
        QColor tint;
        Glyph glyph;
    };
    const Small smalls[] = {
        {"TopButton", {275, 2}, tileBlue, glyphPinUpright},
        {"TopOKButton", {275, 2}, tileAmber, glyphPinLying},
        {"HelpButton", {291, 2}, tileBlue, glyphQuestion},
        {"MinButton", {308, 2}, tileBlue, glyphMinimise},
        {"CloseButton", {324, 2}, tileRed, glyphCross},
    };
    for (const Small& s : smalls) {
        ok &= save(drawSmallButton(bg, s.at, false, s.tint, s.glyph), QString(s.name) + "_1");
        ok &= save(drawSmallButton(bg, s.at, true, s.tint, s.glyph), QString(s.name) + "_2");
    }

    ok &= save(drawMarkWindow(bg, {25, 115}, false), "MarkWindow_1");
    ok &= save(drawMarkWindow(bg, {25, 115}, true), "MarkWindow_2");

    struct Big {
        const char* name;
        QPoint at;
        const char* caption;
        Glyph glyph;
    };
    const Big bigs[] = {
        {"ReadyRecord",
         {1, 158},
         "Record",
         [](QPainter& p, const QRectF& b, bool pr) { glyphDot(p, b, kAccentBlue, pr); }},
        {"Recording",
         {1, 158},
         "Stop",
         [](QPainter& p, const QRectF& b, bool pr) { glyphDot(p, b, kRecordRed, pr); }},
        {"Play", {86, 158}, "Play", glyphPlay},
        {"OpenFolder", {171, 158}, "Folder", glyphFolder},
        {"Options", {257, 158}, "Options", glyphTools},
    };
    for (const Big& b : bigs) {
        ok &= save(drawBigButton(bg, b.at, false, b.caption, b.glyph), QString(b.name) + "_1");
        ok &= save(drawBigButton(bg, b.at, true, b.caption, b.glyph), QString(b.name) + "_2");
    }

    ok &= save(drawLogo(64, true), "AppLogo");
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        ok &= save(drawLogo(size, false), QString("icons/AppIcon_%1").arg(size));
    return ok ? 0 : 1;
}
