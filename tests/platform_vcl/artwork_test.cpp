// The window's pictures: sizes, the transparency the window relies on, and the colours
// that carry meaning (lamp lit or not, close glyph, title tone).
#include "artwork.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QRect>

#include <memory>
#include <vector>

using namespace artwork;

// Qt's raster engine spreads large fills over its own thread pool, synchronised by futexes
// inside the (uninstrumented) Qt libraries, which the thread sanitizer cannot see. This test
// starts no thread of its own: every report it could give lies inside Qt.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libQt6Core.so\nrace:libQt6Gui.so\n";
}

namespace {

class Artwork : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (QGuiApplication::instance())
            return;
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "artwork_test";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QGuiApplication>(argc, argv);
    }
    static void TearDownTestSuite() { app_.reset(); }

    static std::unique_ptr<QGuiApplication> app_;
};
std::unique_ptr<QGuiApplication> Artwork::app_;

int alpha(const QImage& img, int x, int y) {
    return qAlpha(img.pixel(x, y));
}

// The smallest rectangle holding every pixel that is not fully transparent.
QRect drawnArea(const QImage& img) {
    QRect r;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (alpha(img, x, y) > 0)
                r |= QRect(x, y, 1, 1);
    return r;
}

std::vector<QSize> sizesOf(const QIcon& icon) {
    const QList<QSize> sizes = icon.availableSizes();
    return {sizes.begin(), sizes.end()};
}

QImage asArgb(const QPixmap& pm) {
    return pm.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

TEST_F(Artwork, LampsHaveTheirSizesExtentsAndColours) {
    struct Case {
        bool lit;
        int size;
        int centre;
        int extent; // width and height of the drawn area
    };
    const Case cases[] = {
        {false, 32, 15, 15},
        {true, 32, 15, 23},
        {false, 16, 7, 9},
        {true, 16, 7, 15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "lit " << c.lit << ", size " << c.size);
        const QImage img = LampImage(c.lit, c.size);
        ASSERT_EQ(img.size(), QSize(c.size, c.size));
        EXPECT_TRUE(img.hasAlphaChannel());

        const QRect area = drawnArea(img);
        EXPECT_EQ(area.width(), c.extent);
        EXPECT_EQ(area.height(), c.extent);
        EXPECT_EQ(area.center(), QPoint(c.centre, c.centre)) << "lamp not centred";

        // The disc's middle says whether the lamp is lit; the ring around it stays white
        // (at 16 the one-pixel ring is softened by its curved edges).
        EXPECT_EQ(img.pixel(c.centre, c.centre), c.lit ? LampRed : 0xFF000000u);
        if (c.size == 32) {
            EXPECT_EQ(img.pixel(c.centre, c.centre - 5), 0xFFFFFFFFu);
            // Directly above the lamp, on the ray's line: red when lit, nothing when unlit.
            EXPECT_EQ(img.pixel(c.centre, 5), c.lit ? LampRed : 0u);
        } else {
            EXPECT_GT(qGray(img.pixel(c.centre, c.centre - 3)), 220);
        }
    }
}

TEST_F(Artwork, LampsLoseNothingInTheirThirtyOneByTwentyEightBox) {
    for (bool lit : {false, true}) {
        SCOPED_TRACE(lit ? "lit" : "unlit");
        const QImage img = LampImage(lit, 32);
        for (int y = 0; y < 32; ++y)
            EXPECT_EQ(alpha(img, 31, y), 0) << "last column, row " << y;
        for (int y = 28; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                EXPECT_EQ(alpha(img, x, y), 0) << "row " << y << ", column " << x;
    }
}

TEST_F(Artwork, IconsCarryEachSizeAsItsOwnImage) {
    for (bool lit : {false, true}) {
        const QIcon icon = LampIcon(lit);
        EXPECT_EQ(sizesOf(icon), (std::vector<QSize>{{32, 32}, {16, 16}}));
        for (int size : {32, 16})
            EXPECT_EQ(asArgb(icon.pixmap(size, size)), LampImage(lit, size))
                << "lamp " << lit << " at " << size;
    }
    const QIcon app = AppIcon();
    EXPECT_EQ(sizesOf(app), (std::vector<QSize>{{48, 48}, {32, 32}, {16, 16}}));
    for (int size : AppIconSizes)
        EXPECT_EQ(asArgb(app.pixmap(size, size)), AppIconImage(size)) << "app icon at " << size;
    EXPECT_TRUE(AppIconImage(24).isNull());
    EXPECT_TRUE(LampImage(true, 48).isNull());
}

TEST_F(Artwork, AppIconIsAnOpaqueTealSquareWithTransparentCorners) {
    for (int size : AppIconSizes) {
        SCOPED_TRACE(size);
        const QImage img = AppIconImage(size);
        ASSERT_EQ(img.size(), QSize(size, size));
        for (QPoint corner :
             {QPoint(0, 0), QPoint(size - 1, 0), QPoint(0, size - 1), QPoint(size - 1, size - 1)})
            EXPECT_EQ(alpha(img, corner.x(), corner.y()), 0)
                << "corner " << corner.x() << "," << corner.y();
        // Beside the top edge's middle the square shows, teal: green and blue well above red.
        const QColor edge = img.pixelColor(size / 2, 2);
        EXPECT_EQ(edge.alpha(), 255);
        EXPECT_GT(edge.green(), edge.red() + 60);
        EXPECT_GT(edge.blue(), edge.red() + 60);
        // The crossing of the tools, in the middle, is light steel, not teal.
        const QColor middle = img.pixelColor(size / 2, size / 2);
        EXPECT_EQ(middle.alpha(), 255);
        EXPECT_GT(middle.red(), 120);
    }
    EXPECT_NE(AppIconImage(48).scaled(32, 32, Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
              AppIconImage(32));
}

TEST_F(Artwork, TitlePicturesMeetWithoutASeam) {
    const QImage left = TitleLeftImage(), filler = TitleFillerImage(), right = TitleRightImage();
    ASSERT_EQ(left.size(), QSize(441, 23));
    ASSERT_EQ(filler.size(), QSize(1, 23));
    ASSERT_EQ(right.size(), QSize(1, 23));
    EXPECT_EQ(TitleLeftSize, left.size());

    bool patterned = false;
    for (int y = 0; y < 23; ++y) {
        EXPECT_EQ(left.pixel(440, y), filler.pixel(0, y)) << "row " << y;
        for (int x = 0; x < 441; ++x) {
            ASSERT_EQ(alpha(left, x, y), 255) << x << "," << y;
            patterned |= x < 200 && left.pixel(x, y) != filler.pixel(0, y);
        }
        EXPECT_EQ(alpha(right, 0, y), 255);
    }
    EXPECT_TRUE(patterned) << "the left section shows no pattern over the plain rows";

    // The bar is dark blue where the caption is written (rows 2 to 18).
    for (int y = 2; y <= 18; ++y) {
        const QColor c = filler.pixelColor(0, y);
        EXPECT_GT(c.blue(), c.red() + 60) << "row " << y;
        EXPECT_LT(c.lightness(), 128) << "row " << y;
    }
    EXPECT_EQ(TitleLeft().size(), left.size());
    EXPECT_EQ(TitleFiller().size(), filler.size());
    EXPECT_EQ(TitleRight().size(), right.size());
}

TEST_F(Artwork, CloseButtonShowsTheLightBlueCrossInEveryState) {
    int hoverFill = 0;
    for (ButtonState state : {ButtonState::Normal, ButtonState::Hover, ButtonState::Pressed}) {
        SCOPED_TRACE(int(state));
        const QImage img = CloseButtonImage(state);
        ASSERT_EQ(img.size(), QSize(19, 19));
        ASSERT_EQ(asArgb(CloseButton(state)), img);
        // Both diagonals through the middle, end to end, in the glyph colour.
        for (int d = -4; d <= 4; ++d) {
            EXPECT_EQ(img.pixel(9 + d, 9 + d), CloseGlyphBlue) << d;
            EXPECT_EQ(img.pixel(9 + d, 9 - d), CloseGlyphBlue) << d;
        }
        EXPECT_EQ(alpha(img, 0, 0), 0);
        EXPECT_EQ(alpha(img, 18, 18), 0);
        const QColor outline = img.pixelColor(1, 9);
        const QColor fill = img.pixelColor(3, 9);
        if (state == ButtonState::Normal) {
            EXPECT_EQ(outline.alpha(), 0) << "no outline without the mouse";
            EXPECT_EQ(fill.alpha(), 0) << "the title shows through around the glyph";
        } else {
            EXPECT_EQ(outline.alpha(), 255);
            EXPECT_GT(outline.blue(), outline.red());
            EXPECT_LT(outline.lightness(), 64) << "outline is dark blue";
            EXPECT_GT(fill.alpha(), 0);
        }
        if (state == ButtonState::Hover) {
            hoverFill = qGray(img.pixel(3, 9));
        } else if (state == ButtonState::Pressed) {
            EXPECT_LT(qGray(img.pixel(3, 9)), hoverFill) << "pressed is darker than hover";
        }
    }
}

TEST_F(Artwork, ButtonFacesFitAnySizeAndShowTheirState) {
    for (QSize size : {QSize(77, 26), QSize(89, 27), QSize(3, 3), QSize(200, 60)}) {
        SCOPED_TRACE(::testing::Message() << size.width() << "x" << size.height());
        QColor middle[3];
        for (ButtonState state : {ButtonState::Normal, ButtonState::Hover, ButtonState::Pressed}) {
            const QImage img = ButtonFaceImage(size, state);
            ASSERT_EQ(img.size(), size);
            EXPECT_EQ(ButtonFace(size, state).size(), size);
            middle[int(state)] = img.pixelColor(size.width() / 2, size.height() / 2);
            EXPECT_EQ(middle[int(state)].alpha(), 255);
        }
        const QColor normal = middle[0], hover = middle[1], pressed = middle[2];
        EXPECT_GT(normal.lightness(), 200) << "normal face is light";
        EXPECT_GT(hover.blue(), hover.red() + 15) << "hover face is light blue";
        EXPECT_GT(hover.lightness(), 160);
        EXPECT_GT(pressed.blue(), pressed.red() + 30) << "pressed face is blue";
        EXPECT_LT(pressed.lightness(), hover.lightness()) << "pressed is darker than hover";
    }
    // The normal face is faintly patterned, not flat: neighbouring rows differ slightly.
    const QImage face = ButtonFaceImage({89, 27}, ButtonState::Normal);
    const int a = qGray(face.pixel(44, 12)), b = qGray(face.pixel(44, 13));
    EXPECT_NE(a, b);
    EXPECT_LT(std::abs(a - b), 16);
    EXPECT_TRUE(ButtonFaceImage({0, 10}, ButtonState::Normal).isNull());
    EXPECT_TRUE(ButtonFace({10, 0}, ButtonState::Hover).isNull());
}

} // namespace
