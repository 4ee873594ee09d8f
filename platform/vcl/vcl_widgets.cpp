#include "vcl_widgets.h"

#include "artwork.h"
#include "vcl_forms.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCompleter>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPalette>

namespace vcl_widgets {

QColor ToQColor(TColor color) {
    if (color == clDefault)
        return {};
    if ((color & clSystemColor) == clSystemColor) {
        const QPalette palette = QApplication::palette();
        switch (color) {
        case clBtnFace:
            return palette.color(QPalette::Button);
        case clWindow:
            return palette.color(QPalette::Base);
        case clWindowText:
            return palette.color(QPalette::WindowText);
        case clActiveCaption:
            return palette.color(QPalette::Active, QPalette::Highlight);
        case clInactiveCaption:
            // The toolkit has no caption colours; this is the classic system default.
            return QColor(0xBF, 0xCD, 0xDB);
        default:
            return {};
        }
    }
    return QColor::fromRgb(static_cast<QRgb>(color | 0xFF000000u));
}

namespace {

// Installed stand-ins for window fonts that only some systems have, closest first.
QStringList Substitutes(const QString& family) {
    if (family.compare(QLatin1String("MS Sans Serif"), Qt::CaseInsensitive) == 0 ||
        family.compare(QLatin1String("Tahoma"), Qt::CaseInsensitive) == 0)
        return {"Microsoft Sans Serif", "Tahoma",     "Liberation Sans", "Arimo",
                "Nimbus Sans",          "DejaVu Sans"};
    return {};
}

} // namespace

QFont ToQFont(const TFontDescription& font, const QFont& base) {
    if (font.Name.empty())
        return base;
    QFont result(base);
    const QString family = QString::fromUtf8(font.Name.data(), qsizetype(font.Name.size()));
    QStringList families{family};
    families << Substitutes(family);
    families.removeDuplicates();
    // Chinese captions and list entries: a CJK family after the Latin ones.
    families << "WenQuanYi Micro Hei"
             << "Noto Sans CJK SC";
    result.setFamilies(families);
    if (font.Height > 0)
        result.setPixelSize(font.Height);
    result.setBold(font.Bold);
    return result;
}

void SetBackground(QWidget* widget, TColor color) {
    const QColor c = ToQColor(color);
    if (!c.isValid()) {
        widget->setAutoFillBackground(false);
        return;
    }
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, c);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void SetTextColor(QWidget* widget, TColor color) {
    const QColor c = ToQColor(color);
    if (!c.isValid())
        return;
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, c);
    palette.setColor(QPalette::Text, c);
    palette.setColor(QPalette::ButtonText, c);
    widget->setPalette(palette);
}

QPixmap PicturePixmap(TPictureId picture) {
    switch (picture) {
    case TPictureId::LampUnlit:
        return QPixmap::fromImage(artwork::LampImage(false, 32));
    case TPictureId::LampLit:
        return QPixmap::fromImage(artwork::LampImage(true, 32));
    case TPictureId::None:
        break;
    }
    return {};
}

FormWindow::FormWindow(TForm* form) : Form(form) {}

void FormWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    Form->WindowClosed();
}

SkinGroupBoxWidget::SkinGroupBoxWidget(QWidget* parent) : QFrame(parent) {}

void SkinGroupBoxWidget::SetCaption(const QString& caption) {
    CaptionText = caption;
    update();
}

void SkinGroupBoxWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QFontMetrics fm(font());
    const int top = fm.height() / 2;
    p.setPen(palette().color(QPalette::WindowText));
    p.drawRect(QRect(0, top, width() - 1, height() - top - 1));
    if (!CaptionText.isEmpty()) {
        const int textWidth = fm.horizontalAdvance(CaptionText);
        const QRect textRect(8, 0, textWidth + 4, fm.height());
        p.fillRect(textRect, palette().color(QPalette::Window));
        p.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, CaptionText);
    }
}

SkinComboBoxWidget::SkinComboBoxWidget(QWidget* parent) : QComboBox(parent) {
    setInsertPolicy(QComboBox::NoInsert);
    setDuplicatesEnabled(true);
}

void SkinComboBoxWidget::SetEditable(bool editable) {
    setEditable(editable);
    if (editable) {
        // The entries are the only completions; typing never adds an entry.
        setInsertPolicy(QComboBox::NoInsert);
        completer()->setCompletionMode(QCompleter::InlineCompletion);
        completer()->setCaseSensitivity(Qt::CaseInsensitive);
    }
}

SkinButtonWidget::SkinButtonWidget(QWidget* parent) : QPushButton(parent) {
    setAutoDefault(false);
    setDefault(false);
}

void SkinButtonWidget::keyPressEvent(QKeyEvent* event) {
    // A focused push button takes Enter as a press (Space is the base class's).
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        event->modifiers() == Qt::NoModifier) {
        if (!event->isAutoRepeat())
            click();
        event->accept();
        return;
    }
    QPushButton::keyPressEvent(event);
}

ImageWidget::ImageWidget(QWidget* parent) : QWidget(parent) {}

void ImageWidget::SetPicture(TPictureId picture) {
    Picture = picture;
    update();
}

void ImageWidget::paintEvent(QPaintEvent*) {
    const QPixmap pixmap = PicturePixmap(Picture);
    if (pixmap.isNull())
        return;
    QPainter p(this);
    p.drawPixmap(0, 0, pixmap);
}

StatusBarWidget::StatusBarWidget(QWidget* parent) : QWidget(parent) {}

void StatusBarWidget::SetPanels(const std::vector<PanelLayout>& panels) {
    Panels = panels;
    while (Labels.size() > Panels.size()) {
        delete Labels.back();
        Labels.pop_back();
    }
    while (Labels.size() < Panels.size()) {
        auto* label = new QLabel(this);
        label->setTextFormat(Qt::PlainText);
        label->show();
        Labels.push_back(label);
    }
    for (std::size_t i = 0; i < Panels.size(); ++i) {
        QLabel* label = Labels[i];
        const PanelLayout& panel = Panels[i];
        label->setText(panel.Text);
        Qt::Alignment alignment = Qt::AlignVCenter;
        alignment |= panel.Alignment == taCenter         ? Qt::AlignHCenter
                     : panel.Alignment == taRightJustify ? Qt::AlignRight
                                                         : Qt::AlignLeft;
        label->setAlignment(alignment);
        label->setFrameShape(panel.Bevel == pbNone ? QFrame::NoFrame : QFrame::Panel);
        label->setFrameShadow(panel.Bevel == pbRaised ? QFrame::Raised : QFrame::Sunken);
    }
    Relayout();
}

void StatusBarWidget::resizeEvent(QResizeEvent*) {
    Relayout();
}

void StatusBarWidget::Relayout() {
    int x = 0;
    for (std::size_t i = 0; i < Labels.size(); ++i) {
        const bool last = i + 1 == Labels.size();
        const int w = last ? std::max(0, width() - x) : Panels[i].Width;
        Labels[i]->setGeometry(x, 0, w, height());
        x += w;
    }
}

} // namespace vcl_widgets
