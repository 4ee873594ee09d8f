// Every picture the main window shows, drawn in code: the two indicator lamps, the
// application icon, the title-bar pictures and the push-button faces.
//
// Each picture is rendered once and kept; the same call gives the same pixels on every run.
// The *Image functions are plain QImage renderings (ARGB32 premultiplied, transparent where
// nothing is drawn), usable without a QGuiApplication and from any thread. The functions
// that return QPixmap or QIcon need a QGuiApplication and are for the GUI thread; their
// pixmaps live in QPixmapCache, which the application clears when it ends.
#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSize>

namespace artwork {

enum class ButtonState { Normal, Hover, Pressed };

// Colours the pictures are built around; the window may use them for what it draws itself.
inline constexpr QRgb LampRed = 0xFFFF0000;
inline constexpr QRgb CloseGlyphBlue = 0xFFCADCFC;
inline constexpr QRgb TitleBlue = 0xFF1A3C8C; // the filler's middle row, the bar's main tone

// Indicator lamps: square images of `size` 32 or 16 (any other size gives a null image).
// Unlit: a black disc in a white ring with a black rim, 15 px across at 32. Lit: the disc
// red, with eight red rays around the ring, 23 px across at 32. Centred on pixel (15, 15)
// at 32 and (7, 7) at 16; at 32 the last column and the bottom four rows stay transparent,
// so a 31 x 28 box loses nothing of the lamp.
QImage LampImage(bool lit, int size);
// The 32 x 32 and 16 x 16 images of the lamp.
QIcon LampIcon(bool lit);

// Application icon: a crossed wrench and screwdriver on a teal rounded square, drawn
// separately for each of the sizes 48, 32 and 16 (any other size gives a null image).
QImage AppIconImage(int size);
inline constexpr int AppIconSizes[] = {48, 32, 16};
// The 48, 32 and 16 pixel images.
QIcon AppIcon();

// Title bar, 23 px high: the left section (441 x 23), the right end (1 x 23) and the filler
// (1 x 23) stretched between them. The left section's last column equals the filler, so
// the two meet without a seam.
inline constexpr QSize TitleLeftSize{441, 23};
inline constexpr int TitleHeight = 23;
QImage TitleLeftImage();
QImage TitleRightImage();
QImage TitleFillerImage();
QPixmap TitleLeft();
QPixmap TitleRight();
QPixmap TitleFiller();

// Close button, 19 x 19: a light-blue (CloseGlyphBlue) cross on a transparent ground;
// Hover and Pressed add a dark-blue square outline around it, Pressed a darker fill.
inline constexpr QSize CloseButtonSize{19, 19};
QImage CloseButtonImage(ButtonState state);
QPixmap CloseButton(ButtonState state);

// Push-button face of any size (an empty size gives a null image): light and faintly
// patterned when Normal, light blue under the mouse (Hover), darker blue when Pressed,
// framed by a one-pixel border. Caption and focus rectangle are the button's to draw.
QImage ButtonFaceImage(QSize size, ButtonState state);
QPixmap ButtonFace(QSize size, ButtonState state);

} // namespace artwork
