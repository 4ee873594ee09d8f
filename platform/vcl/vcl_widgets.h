// The Qt widgets behind the controls and the skin that paints them (internal to the window
// platform). The skin: light flat surfaces, black frames, a dark-blue title bar of our own
// with the application icon, the caption and a close button, and pictured push buttons.
#pragma once

#include "form_description.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFont>
#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QWidget>

#include <string_view>
#include <vector>

class TForm;
class QMenu;

namespace vcl_widgets {

// A description colour as a QColor; clDefault gives an invalid colour.
QColor ToQColor(TColor color);
// The font of a description, with the platform's substitutes for families that are not
// installed and a CJK family for Chinese text.
QFont ToQFont(const TFontDescription& font, const QFont& base);
// Fills the widget's background with `color` (clDefault: the parent's background shows).
void SetBackground(QWidget* widget, TColor color);
void SetTextColor(QWidget* widget, TColor color);
// The picture at its natural size (the 32 x 32 image of an icon); null for None.
QPixmap PicturePixmap(TPictureId picture);
// The application icon (48, 32 and 16 pixels).
QIcon ApplicationIcon();

// The top-level window of a form. With a skinned frame it has no system frame: it paints
// its own border around the client area.
class FormWindow : public QWidget {
public:
    explicit FormWindow(TForm* form);
    void SetBorder(const QColor& color, int width);
    int BorderWidth() const { return Border; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    TForm* Form;
    QColor BorderColor;
    int Border = 0;
};

// The close button of the title bar (objectName "CloseButton").
class TitleButton : public QAbstractButton {
public:
    explicit TitleButton(QWidget* parent);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The skinned frame's title bar (objectName "TitleBar"): the application icon, which opens
// the window menu (objectName "WindowMenu"), the caption, and the close button. Dragging
// the bar moves the window.
class TitleBarWidget : public QWidget {
public:
    static constexpr int BarHeight = 20;

    explicit TitleBarWidget(QWidget* parent);
    void SetTitle(const QString& title);
    QString Title() const { return TitleText; }
    void SetTitleFont(const QFont& font, const QColor& active, const QColor& inactive);
    // The caption as drawn: cut with "..." when the bar is too short for it.
    QString ShownTitle() const;
    QRect IconRect() const;
    QRect TitleRect() const;
    QColor TitleColor() const;
    QMenu* WindowMenu() const { return Menu; }
    void ShowWindowMenu();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString TitleText;
    QFont TitleFont;
    QColor ActiveColor{Qt::white};
    QColor InactiveColor{Qt::gray};
    TitleButton* Close;
    QMenu* Menu;
    bool Dragging = false;
    QPoint DragOffset; // from the window's top-left to the pointer
};

// The skinned frame: a light surface with the title bar docked at its top.
class SkinFrameWidget : public QWidget {
public:
    explicit SkinFrameWidget(QWidget* parent = nullptr);
    TitleBarWidget* TitleBar() const { return Bar; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    TitleBarWidget* Bar;
};

class SkinGroupBoxWidget : public QWidget {
public:
    explicit SkinGroupBoxWidget(QWidget* parent = nullptr);
    void SetCaption(const QString& caption);
    QString Caption() const { return CaptionText; }
    void SetFrameColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString CaptionText;
    QColor FrameColor{Qt::black};
};

// Geometry and painting of the skinned selectors: a one-pixel frame, the field, and an
// arrow button at the right end.
class SkinStyle : public QProxyStyle {
public:
    static constexpr int ArrowButtonWidth = 16;
    // One instance for every skinned widget; lives as long as the process.
    static SkinStyle* Instance();

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget) const override;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override;

private:
    SkinStyle();
};

class SkinComboBoxWidget : public QComboBox {
public:
    explicit SkinComboBoxWidget(QWidget* parent = nullptr);
    // Editable (csDropDown) with inline completion, or a pick-only list (csDropDownList).
    void SetEditable(bool editable);
    void SetFieldColor(const QColor& field);
    void SetSkinColors(const QColor& border, const QColor& arrow, const QColor& button);
    void SetRowHeight(int height);

    QColor BorderColor{Qt::black};
    QColor ArrowColor{Qt::black};
    QColor ButtonColor{0xFB, 0xFB, 0xFB};
};

// Pressed by the mouse, Space, or Enter while focused; never a default button. Painted
// from the button face pictures (normal, under the mouse, pressed).
class SkinButtonWidget : public QPushButton {
public:
    static constexpr int FocusRectMargin = 2;

    explicit SkinButtonWidget(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

class ImageWidget : public QWidget {
public:
    explicit ImageWidget(QWidget* parent = nullptr);
    void SetPicture(TPictureId picture);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TPictureId Picture = TPictureId::None;
};

struct PanelLayout {
    int Width;
    TAlignment Alignment;
    TStatusPanelBevel Bevel;
    QString Text;
};

// One status panel: its text inside a bevel.
class StatusPanelLabel : public QLabel {
public:
    explicit StatusPanelLabel(QWidget* parent);
    TStatusPanelBevel Bevel = pbLowered;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// Panels side by side from the left, each as wide as designed; the last one runs to the
// right end. No size grip.
class StatusBarWidget : public QWidget {
public:
    explicit StatusBarWidget(QWidget* parent = nullptr);
    void SetPanels(const std::vector<PanelLayout>& panels);
    void SetPanelColor(const QColor& color);
    const std::vector<StatusPanelLabel*>& PanelLabels() const { return Labels; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Relayout();

    std::vector<PanelLayout> Panels;
    std::vector<StatusPanelLabel*> Labels;
    QColor PanelColor;
};

} // namespace vcl_widgets
