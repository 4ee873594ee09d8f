#include "artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <QString>
#include <QTransform>

#include <array>
#include <cmath>
#include <numbers>

namespace artwork {
namespace {

constexpr QImage::Format kFormat = QImage::Format_ARGB32_Premultiplied;

QImage blank(QSize size) {
    QImage img(size, kFormat);
    img.fill(Qt::transparent);
    return img;
}

// Pixmaps go through QPixmapCache rather than static QPixmaps: a static QPixmap would
// outlive the application object, and the cache is emptied while the application ends.
template <class Render> QPixmap cachedPixmap(const QString& key, Render render) {
    QPixmap pm;
    if (!QPixmapCache::find(key, &pm)) {
        pm = QPixmap::fromImage(render());
        QPixmapCache::insert(key, pm);
    }
    return pm;
}

QColor mix(QColor a, QColor b, double t) {
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
                            float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t));
}

// ---- Lamps ---------------------------------------------------------------------------

struct LampGeometry {
    double centre;  // both axes; on a pixel centre so odd diameters land on whole pixels
    double rim;     // outer radius of the black rim
    double ring;    // outer radius of the white ring
    double disc;    // radius of the black or red disc
    double rayFrom; // rays run radially from here ...
    double rayTo;   // ... to here
    double rayWidth;
};

// 32: rim 15 px across (pixels 8..22), rays 23 px across (pixels 4..26), so column 31 and
// rows 28..31 are never touched.
constexpr LampGeometry kLamp32{15.5, 7.5, 6.5, 4.5, 8.5, 11.5, 2.0};
constexpr LampGeometry kLamp16{7.5, 4.5, 3.5, 2.5, 5.0, 7.0, 1.5};

void circle(QPainter& p, double cx, double r, QColor colour) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(QPointF(cx, cx), r, r);
}

QImage renderLamp(bool lit, int size) {
    const LampGeometry& g = size == 32 ? kLamp32 : kLamp16;
    QImage img = blank({size, size});
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor red = QColor::fromRgb(LampRed);
    if (lit) {
        QPen pen(red, g.rayWidth, Qt::SolidLine, Qt::FlatCap);
        p.setPen(pen);
        for (int i = 0; i < 8; ++i) {
            const double a = i * std::numbers::pi / 4.0;
            const double c = std::cos(a), s = std::sin(a);
            p.drawLine(QPointF(g.centre + c * g.rayFrom, g.centre + s * g.rayFrom),
                       QPointF(g.centre + c * g.rayTo, g.centre + s * g.rayTo));
        }
    }
    circle(p, g.centre, g.rim, Qt::black);
    circle(p, g.centre, g.ring, Qt::white);
    circle(p, g.centre, g.disc, lit ? red : QColor(Qt::black));
    return img;
}

// ---- Application icon ----------------------------------------------------------------

// One set of measures per size, so that each size is laid out on its own pixel grid
// instead of being shrunk from the largest.
struct IconGeometry {
    int size;
    double inset;   // of the rounded square
    double corner;  // its corner radius
    double toolLen; // length of each tool along its diagonal
    double wrenchWidth, headRadius, jawWidth, eyeRadius, holeRadius;
    double handleWidth, handleLen, shaftWidth, tipLen;
    double outline; // 0: none
    bool details;   // grip grooves, highlights
};

constexpr IconGeometry kIcons[] = {
    {48, 1.0, 9.0, 40.0, 5.0, 7.5, 5.0, 4.0, 1.6, 8.0, 16.0, 3.0, 4.0, 1.0, true},
    {32, 0.5, 6.0, 27.0, 3.6, 5.2, 3.4, 2.8, 1.0, 5.6, 10.5, 2.0, 3.0, 1.0, true},
    {16, 0.0, 3.5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, false}, // tools set pixel by pixel
};

const QColor kTealTop(0x2B, 0xB8, 0xB0);
const QColor kTealBottom(0x0A, 0x76, 0x72);
const QColor kTealEdge(0x05, 0x55, 0x52);
const QColor kSteelLight(0xF2, 0xF4, 0xF6);
const QColor kSteelDark(0x9A, 0xA4, 0xAE);
const QColor kToolOutline(0x1E, 0x2A, 0x33);
const QColor kHandleLight(0xFF, 0xB0, 0x3A);
const QColor kHandleDark(0xD9, 0x5A, 0x12);

QLinearGradient across(double width, QColor light, QColor dark) {
    QLinearGradient grad(0, -width / 2, 0, width / 2);
    grad.setColorAt(0, light);
    grad.setColorAt(1, dark);
    return grad;
}

void drawToolPath(QPainter& p, const QPainterPath& path, const QBrush& fill,
                  const IconGeometry& g) {
    if (g.outline > 0)
        p.setPen(QPen(kToolOutline, g.outline, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    else
        p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawPath(path);
}

// Wrench along the local x axis: open jaw at the negative end, ring end at the positive.
void drawWrench(QPainter& p, const IconGeometry& g) {
    const double half = g.toolLen / 2;
    QPainterPath shaft;
    shaft.addRoundedRect(QRectF(-half + g.headRadius, -g.wrenchWidth / 2,
                                g.toolLen - g.headRadius - (g.eyeRadius > 0 ? g.eyeRadius : 0),
                                g.wrenchWidth),
                         g.wrenchWidth / 2, g.wrenchWidth / 2);
    QPainterPath head;
    head.addEllipse(QPointF(-half + g.headRadius, 0), g.headRadius, g.headRadius);
    QPainterPath jaw;
    jaw.addRect(QRectF(-half - 1, -g.jawWidth / 2, g.headRadius + 1, g.jawWidth));
    QPainterPath body = shaft.united(head).subtracted(jaw);
    if (g.eyeRadius > 0) {
        QPainterPath eye;
        eye.addEllipse(QPointF(half - g.eyeRadius, 0), g.eyeRadius, g.eyeRadius);
        body = body.united(eye);
        if (g.holeRadius > 0) {
            QPainterPath hole;
            hole.addEllipse(QPointF(half - g.eyeRadius, 0), g.holeRadius, g.holeRadius);
            body = body.subtracted(hole);
        }
    }
    drawToolPath(p, body, across(2 * g.headRadius, kSteelLight, kSteelDark), g);
}

// Screwdriver along the local x axis: handle at the negative end, blade at the positive.
void drawScrewdriver(QPainter& p, const IconGeometry& g) {
    const double half = g.toolLen / 2;
    const double shaftStart = -half + g.handleLen;
    QPainterPath blade;
    blade.addRect(QRectF(shaftStart - 1, -g.shaftWidth / 2, g.toolLen - g.handleLen - g.tipLen + 1,
                         g.shaftWidth));
    QPolygonF tip;
    tip << QPointF(half - g.tipLen, -g.shaftWidth / 2) << QPointF(half, -g.shaftWidth * 0.3)
        << QPointF(half, g.shaftWidth * 0.3) << QPointF(half - g.tipLen, g.shaftWidth / 2);
    blade.addPolygon(tip);
    drawToolPath(p, blade.simplified(), across(g.shaftWidth, kSteelLight, kSteelDark), g);

    QPainterPath handle;
    handle.addRoundedRect(QRectF(-half, -g.handleWidth / 2, g.handleLen, g.handleWidth),
                          g.handleWidth * 0.4, g.handleWidth * 0.4);
    drawToolPath(p, handle, across(g.handleWidth, kHandleLight, kHandleDark), g);
    if (g.details) {
        p.setPen(QPen(QColor(0x8A, 0x34, 0x08, 150), g.size >= 48 ? 1.0 : 0.8));
        const double x0 = -half + g.handleLen * 0.25, x1 = -half + g.handleLen * 0.85;
        for (double y : {-g.handleWidth / 4, 0.0, g.handleWidth / 4})
            p.drawLine(QPointF(x0, y), QPointF(x1, y));
    }
}

// At 16 pixels rotated, antialiased shapes blur into the teal, so the tools are set pixel
// by pixel on the two diagonals: the screwdriver on the band x + y = 15..16 (handle at the
// bottom left), the wrench on the band x - y = -1..1 (jaw at the top left), outlined.
void setTools16(QImage& img) {
    const QRgb steelLight = kSteelLight.rgb(), steelMid = QColor(0xC4, 0xCC, 0xD4).rgb(),
               steelDark = kSteelDark.rgb(), outline = kToolOutline.rgb(),
               handleLight = kHandleLight.rgb(), handleMid = QColor(0xF0, 0x86, 0x22).rgb(),
               handleDark = kHandleDark.rgb();
    auto inWrench = [](int x, int y) {
        const int along = x + y, across = x - y;
        const int hx = x - 4, hy = y - 4, ex = x - 12, ey = y - 12;
        const bool head = hx * hx + hy * hy <= 7 && !(std::abs(across) <= 1 && along <= 7);
        const bool shaft = along >= 8 && along <= 23 && std::abs(across) <= 1;
        const bool end = ex * ex + ey * ey <= 2;
        return head || shaft || end;
    };
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const int across = x + y, along = x - y;
            if (along >= -11 && along <= -5 && across >= 14 && across <= 16)
                img.setPixel(x, y,
                             across == 14   ? handleLight
                             : across == 15 ? handleMid
                                            : handleDark);
            else if (along >= -4 && along <= -3 && across >= 15 && across <= 16)
                img.setPixel(x, y, steelDark);
            else if (along >= -2 && along <= 10 && across >= 15 && across <= 16)
                img.setPixel(x, y, across == 15 ? steelLight : steelDark);
        }
    for (int y = 1; y < 15; ++y)
        for (int x = 1; x < 15; ++x) {
            if (inWrench(x, y)) {
                const int across = x - y;
                img.setPixel(x, y, across > 0 ? steelLight : across == 0 ? steelMid : steelDark);
            } else if (inWrench(x - 1, y) || inWrench(x + 1, y) || inWrench(x, y - 1) ||
                       inWrench(x, y + 1)) {
                img.setPixel(x, y, outline);
            }
        }
}

QImage renderAppIcon(const IconGeometry& g) {
    const double s = g.size;
    QImage img = blank({g.size, g.size});
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    const QRectF square(g.inset, g.inset, s - 2 * g.inset, s - 2 * g.inset);
    QLinearGradient teal(0, 0, 0, s);
    teal.setColorAt(0, kTealTop);
    teal.setColorAt(1, kTealBottom);
    p.setPen(Qt::NoPen);
    p.setBrush(kTealEdge);
    p.drawRoundedRect(square, g.corner, g.corner);
    p.setBrush(teal);
    p.drawRoundedRect(square.adjusted(1, 1, -1, -1), g.corner - 1, g.corner - 1);
    if (g.details) {
        // A soft sheen over the upper half of the square.
        QLinearGradient sheen(0, g.inset, 0, s / 2);
        sheen.setColorAt(0, QColor(255, 255, 255, 70));
        sheen.setColorAt(1, QColor(255, 255, 255, 0));
        p.setBrush(sheen);
        p.drawRoundedRect(square.adjusted(1, 1, -1, -s / 2), g.corner - 1, g.corner - 1);
    }

    if (g.size == 16) {
        p.end();
        setTools16(img);
        return img;
    }
    // The screwdriver runs from bottom-left to top-right, under the wrench, which runs
    // from top-left (jaw) to bottom-right.
    p.save();
    p.translate(s / 2, s / 2);
    p.rotate(-45);
    drawScrewdriver(p, g);
    p.restore();
    p.save();
    p.translate(s / 2, s / 2);
    p.rotate(45);
    drawWrench(p, g);
    p.restore();
    return img;
}

// ---- Title bar -----------------------------------------------------------------------

// The bar's tone, row by row: a light top edge, a glossy upper half, the dark blue body
// and, from row 19 down, a dark bottom edge. The window's bar is 20 rows high: shown whole
// or cut to its first 20 rows, the bar ends on the dark edge. Every title picture starts
// from these rows.
constexpr int kTitleEdgeRow = 19;

QColor titleRow(int y) {
    const QColor top(0x6E, 0x90, 0xD8), upper(0x3A, 0x62, 0xBC), body(0x1E, 0x44, 0x9C),
        low(0x12, 0x30, 0x7A), bottom(0x0A, 0x1E, 0x52);
    if (y == 0)
        return top;
    if (y >= kTitleEdgeRow)
        return bottom;
    if (y <= 9)
        return mix(upper, body, (y - 1) / 8.0);
    return mix(body, low, (y - 10) / double(kTitleEdgeRow - 11));
}

void paintTitleRows(QImage& img) {
    QPainter p(&img);
    for (int y = 0; y < img.height(); ++y)
        p.fillRect(0, y, img.width(), 1, titleRow(y));
}

QImage renderTitleLeft() {
    QImage img = blank(TitleLeftSize);
    paintTitleRows(img);

    // Lighter waves and diagonal streaks, drawn on their own layer and faded out towards
    // the right so that the last columns keep the plain rows of the filler.
    QImage layer = blank(TitleLeftSize);
    {
        QPainter p(&layer);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(Qt::NoBrush);
        for (int k = 0; k < 3; ++k) {
            QPainterPath wave;
            const double base = 5.0 + 4.5 * k, amp = 2.5 + k, period = 120.0 + 40.0 * k;
            wave.moveTo(-2, base);
            for (int x = -2; x <= TitleLeftSize.width(); x += 6)
                wave.lineTo(x,
                            base + amp * std::sin((x + 37.0 * k) * 2 * std::numbers::pi / period));
            p.setPen(QPen(QColor(150, 185, 255, 70 - 15 * k), 2.0 - 0.4 * k));
            p.drawPath(wave);
        }
        p.setPen(QPen(QColor(170, 200, 255, 28), 5.0));
        for (int x = -20; x < 340; x += 26)
            p.drawLine(QPointF(x, TitleHeight + 2), QPointF(x + 22, -2));
        p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        QLinearGradient fade(0, 0, TitleLeftSize.width(), 0);
        fade.setColorAt(0.0, QColor(0, 0, 0, 255));
        fade.setColorAt(0.55, QColor(0, 0, 0, 200));
        fade.setColorAt(0.85, QColor(0, 0, 0, 0));
        fade.setColorAt(1.0, QColor(0, 0, 0, 0));
        p.fillRect(layer.rect(), fade);
    }
    QPainter p(&img);
    p.drawImage(0, 0, layer);
    // Keep the top and bottom edge lines clean over the pattern.
    p.fillRect(0, 0, img.width(), 1, titleRow(0));
    p.fillRect(0, kTitleEdgeRow, img.width(), TitleHeight - kTitleEdgeRow, titleRow(kTitleEdgeRow));
    return img;
}

QImage renderTitleFiller() {
    QImage img = blank({1, TitleHeight});
    paintTitleRows(img);
    return img;
}

QImage renderTitleRight() {
    QImage img = blank({1, TitleHeight});
    for (int y = 0; y < TitleHeight; ++y)
        img.setPixelColor(0, y, titleRow(y).darker(135));
    return img;
}

// ---- Close button --------------------------------------------------------------------

QImage renderCloseButton(ButtonState state) {
    QImage img = blank(CloseButtonSize);
    if (state != ButtonState::Normal) {
        QPainter p(&img);
        p.fillRect(QRect(2, 2, 15, 15), state == ButtonState::Hover
                                            ? QColor(0x4A, 0x72, 0xC8, 150)
                                            : QColor(0x08, 0x18, 0x48, 170));
        p.setPen(QColor(0x0A, 0x1C, 0x58));
        p.drawRect(QRect(1, 1, 16, 16));
    }
    // The cross, pixel by pixel: two diagonals, three pixels thick in staircase, across
    // pixels 5..13 around the middle pixel (9, 9).
    for (int dy = -4; dy <= 4; ++dy)
        for (int dx = -4; dx <= 4; ++dx)
            if (std::abs(dx - dy) <= 1 || std::abs(dx + dy) <= 1)
                img.setPixel(9 + dx, 9 + dy, CloseGlyphBlue);
    return img;
}

// ---- Push-button faces ---------------------------------------------------------------

struct FaceColours {
    QColor top, bottom, border;
};

FaceColours faceColours(ButtonState state) {
    switch (state) {
    case ButtonState::Hover:
        return {QColor(0xE6, 0xF1, 0xFE), QColor(0xBC, 0xD6, 0xF6), QColor(0x4F, 0x80, 0xC8)};
    case ButtonState::Pressed:
        return {QColor(0x8F, 0xB2, 0xE4), QColor(0x6A, 0x94, 0xD6), QColor(0x24, 0x50, 0x9A)};
    case ButtonState::Normal:
        break;
    }
    return {QColor(0xFF, 0xFF, 0xFF), QColor(0xE4, 0xE8, 0xEE), QColor(0x7C, 0x8A, 0xA2)};
}

} // namespace

QImage LampImage(bool lit, int size) {
    if (size != 32 && size != 16)
        return {};
    static const std::array<QImage, 4> lamps = {renderLamp(false, 32), renderLamp(false, 16),
                                                renderLamp(true, 32), renderLamp(true, 16)};
    return lamps[(lit ? 2 : 0) + (size == 16 ? 1 : 0)];
}

QIcon LampIcon(bool lit) {
    QIcon icon;
    for (int size : {32, 16})
        icon.addPixmap(cachedPixmap(QStringLiteral("cmt-art/lamp/%1/%2").arg(lit).arg(size),
                                    [&] { return LampImage(lit, size); }));
    return icon;
}

QImage AppIconImage(int size) {
    static const std::array<QImage, 3> icons = {renderAppIcon(kIcons[0]), renderAppIcon(kIcons[1]),
                                                renderAppIcon(kIcons[2])};
    for (std::size_t i = 0; i < icons.size(); ++i)
        if (kIcons[i].size == size)
            return icons[i];
    return {};
}

QIcon AppIcon() {
    QIcon icon;
    for (int size : AppIconSizes)
        icon.addPixmap(cachedPixmap(QStringLiteral("cmt-art/app/%1").arg(size),
                                    [&] { return AppIconImage(size); }));
    return icon;
}

QImage TitleLeftImage() {
    static const QImage img = renderTitleLeft();
    return img;
}

QImage TitleRightImage() {
    static const QImage img = renderTitleRight();
    return img;
}

QImage TitleFillerImage() {
    static const QImage img = renderTitleFiller();
    return img;
}

QPixmap TitleLeft() {
    return cachedPixmap(QStringLiteral("cmt-art/title/left"), TitleLeftImage);
}
QPixmap TitleRight() {
    return cachedPixmap(QStringLiteral("cmt-art/title/right"), TitleRightImage);
}
QPixmap TitleFiller() {
    return cachedPixmap(QStringLiteral("cmt-art/title/filler"), TitleFillerImage);
}

QImage CloseButtonImage(ButtonState state) {
    static const std::array<QImage, 3> images = {renderCloseButton(ButtonState::Normal),
                                                 renderCloseButton(ButtonState::Hover),
                                                 renderCloseButton(ButtonState::Pressed)};
    return images[std::size_t(state)];
}

QPixmap CloseButton(ButtonState state) {
    return cachedPixmap(QStringLiteral("cmt-art/close/%1").arg(int(state)),
                        [&] { return CloseButtonImage(state); });
}

QImage ButtonFaceImage(QSize size, ButtonState state) {
    if (size.isEmpty())
        return {};
    const int w = size.width(), h = size.height();
    const FaceColours c = faceColours(state);
    QImage img = blank(size);
    QPainter p(&img);
    for (int y = 0; y < h; ++y) {
        QColor row = mix(c.top, c.bottom, h > 1 ? y / double(h - 1) : 0.0);
        // The normal face's faint pattern: every other row a shade darker.
        if (state == ButtonState::Normal && y % 2 == 1)
            row = row.darker(103);
        p.fillRect(0, y, w, 1, row);
    }
    if (state == ButtonState::Normal) {
        // ... crossed by sparse, barely visible diagonal lines.
        p.setPen(QColor(0x90, 0xA0, 0xB8, 22));
        for (int x = -h; x < w; x += 4)
            p.drawLine(x, h - 1, x + h - 1, 0);
    }
    p.setPen(c.border);
    p.setBrush(Qt::NoBrush);
    p.drawRect(0, 0, w - 1, h - 1);
    p.end();
    // Softened corners: the frame's corner pixels are left out.
    if (w > 2 && h > 2)
        for (QPoint corner :
             {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1)})
            img.setPixel(corner, 0);
    return img;
}

QPixmap ButtonFace(QSize size, ButtonState state) {
    if (size.isEmpty())
        return {};
    return cachedPixmap(QStringLiteral("cmt-art/face/%1x%2/%3")
                            .arg(size.width())
                            .arg(size.height())
                            .arg(int(state)),
                        [&] { return ButtonFaceImage(size, state); });
}

} // namespace artwork
