// The Qt widgets behind the controls (internal to the window platform).
#pragma once

#include "form_description.h"

#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QWidget>

#include <string_view>
#include <vector>

class TForm;

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

// The top-level window of a form.
class FormWindow : public QWidget {
public:
    explicit FormWindow(TForm* form);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    TForm* Form;
};

class SkinFrameWidget : public QWidget {
public:
    explicit SkinFrameWidget(QWidget* parent = nullptr) : QWidget(parent) {}
    QString Title;
};

class SkinGroupBoxWidget : public QFrame {
public:
    explicit SkinGroupBoxWidget(QWidget* parent = nullptr);
    void SetCaption(const QString& caption);
    QString Caption() const { return CaptionText; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString CaptionText;
};

class SkinComboBoxWidget : public QComboBox {
public:
    explicit SkinComboBoxWidget(QWidget* parent = nullptr);
    // Editable (csDropDown) with inline completion, or a pick-only list (csDropDownList).
    void SetEditable(bool editable);
};

// Pressed by the mouse, Space, or Enter while focused; never a default button.
class SkinButtonWidget : public QPushButton {
public:
    explicit SkinButtonWidget(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
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

class StatusBarWidget : public QWidget {
public:
    explicit StatusBarWidget(QWidget* parent = nullptr);
    void SetPanels(const std::vector<PanelLayout>& panels);
    // The label showing each panel (for inspection).
    const std::vector<QLabel*>& PanelLabels() const { return Labels; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void Relayout();

    std::vector<PanelLayout> Panels;
    std::vector<QLabel*> Labels;
};

} // namespace vcl_widgets
