#include "vcl_widgets.h"

#include "artwork.h"
#include "vcl_forms.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCompleter>
#include <QFontDatabase>
#include <QHash>
#include <QSet>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPalette>
#include <QStyledItemDelegate>

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

// The family list a font named `family` asks for: the family, its stand-ins, then a CJK
// family for Chinese captions and list entries, keeping only the installed ones (when any
// is installed). Asking the toolkit for a family the system lacks sends every font that
// names it through a fresh fontconfig substitution and fallback sort; the window's fonts
// name missing families ("MS Sans Serif", "Tahoma"), so the list is settled once per name
// and shared. The toolkit draws with the first installed family of a list either way, so
// the look stays; a name that fontconfig only knows as an alias counts as missing. The
// installed families are read once (the tool adds no fonts of its own at run time).
// Only called on the GUI thread.
QStringList InstalledFamilies(const QString& family) {
    static QHash<QString, QStringList> settled;
    if (auto it = settled.constFind(family); it != settled.constEnd())
        return *it;
    QStringList wanted{family};
    wanted << Substitutes(family);
    wanted << "WenQuanYi Micro Hei"
           << "Noto Sans CJK SC";
    wanted.removeDuplicates();
    // The database's own list, not hasFamily(): that resolves every missing name through
    // fontconfig's aliases, which costs more than it saves. A family offered by several
    // foundries is listed as "Name [foundry]".
    static const QSet<QString> all = [] {
        QSet<QString> names;
        for (QString name : QFontDatabase::families()) {
            if (const qsizetype foundry = name.indexOf(QLatin1String(" [")); foundry > 0)
                name.truncate(foundry);
            names.insert(name.toCaseFolded());
        }
        return names;
    }();
    QStringList installed;
    for (const QString& name : wanted)
        if (all.contains(name.toCaseFolded()))
            installed << name;
    return *settled.insert(family, installed.isEmpty() ? wanted : installed);
}

} // namespace

QFont ToQFont(const TFontDescription& font, const QFont& base) {
    if (font.Name.empty())
        return base;
    QFont result(base);
    const QString family = QString::fromUtf8(font.Name.data(), qsizetype(font.Name.size()));
    result.setFamilies(InstalledFamilies(family));
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
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::WindowText, c);
        palette.setColor(group, QPalette::Text, c);
        palette.setColor(group, QPalette::ButtonText, c);
    }
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

QIcon ApplicationIcon() {
    return artwork::AppIcon();
}

// ---- Window ---------------------------------------------------------------------------

FormWindow::FormWindow(TForm* form) : Form(form) {}

void FormWindow::SetBorder(const QColor& color, int width) {
    BorderColor = color;
    Border = width;
    update();
}

void FormWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    Form->WindowClosed();
}

void FormWindow::paintEvent(QPaintEvent*) {
    if (Border <= 0)
        return;
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(QRect(0, 0, r.width(), Border), BorderColor);
    p.fillRect(QRect(0, r.height() - Border, r.width(), Border), BorderColor);
    p.fillRect(QRect(0, 0, Border, r.height()), BorderColor);
    p.fillRect(QRect(r.width() - Border, 0, Border, r.height()), BorderColor);
}

// ---- Group box ------------------------------------------------------------------------

SkinGroupBoxWidget::SkinGroupBoxWidget(QWidget* parent) : QWidget(parent) {}

void SkinGroupBoxWidget::SetCaption(const QString& caption) {
    CaptionText = caption;
    update();
}

void SkinGroupBoxWidget::SetFrameColor(const QColor& color) {
    FrameColor = color;
    update();
}

void SkinGroupBoxWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QFontMetrics fm(font());
    const int top = fm.height() / 2;
    p.setPen(FrameColor);
    p.drawRect(QRect(0, top, width() - 1, height() - top - 1));
    if (!CaptionText.isEmpty()) {
        const QRect textRect(8, 0, fm.horizontalAdvance(CaptionText) + 4, fm.height());
        p.fillRect(textRect, palette().color(QPalette::Window));
        p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                 QPalette::WindowText));
        p.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, CaptionText);
    }
}

// ---- Selector -------------------------------------------------------------------------

namespace {

class RowHeightDelegate final : public QStyledItemDelegate {
public:
    RowHeightDelegate(int height, QObject* parent) : QStyledItemDelegate(parent), Height(height) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), Height};
    }

private:
    int Height;
};

} // namespace

SkinComboBoxWidget::SkinComboBoxWidget(QWidget* parent) : QComboBox(parent) {
    setStyle(SkinStyle::Instance());
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
        lineEdit()->setFrame(false);
        lineEdit()->setPalette(palette());
    }
}

void SkinComboBoxWidget::SetFieldColor(const QColor& field) {
    QPalette pal = palette();
    if (field.isValid()) {
        pal.setColor(QPalette::Active, QPalette::Base, field);
        pal.setColor(QPalette::Inactive, QPalette::Base, field);
    }
    // Greyed while disabled.
    pal.setColor(QPalette::Disabled, QPalette::Base, QColor(0xF0, 0xF0, 0xF0));
    pal.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
    pal.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
    setPalette(pal);
    if (QLineEdit* edit = lineEdit())
        edit->setPalette(pal);
}

void SkinComboBoxWidget::SetSkinColors(const QColor& border, const QColor& arrow,
                                       const QColor& button) {
    if (border.isValid())
        BorderColor = border;
    if (arrow.isValid())
        ArrowColor = arrow;
    if (button.isValid())
        ButtonColor = button;
    update();
}

void SkinComboBoxWidget::SetRowHeight(int height) {
    setItemDelegate(new RowHeightDelegate(height, this));
}

// ---- Push button ----------------------------------------------------------------------

SkinButtonWidget::SkinButtonWidget(QWidget* parent) : QPushButton(parent) {
    setAutoDefault(false);
    setDefault(false);
    setAttribute(Qt::WA_Hover);
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

void SkinButtonWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const artwork::ButtonState state = isDown()                      ? artwork::ButtonState::Pressed
                                       : underMouse() && isEnabled() ? artwork::ButtonState::Hover
                                                                     : artwork::ButtonState::Normal;
    p.drawPixmap(0, 0, artwork::ButtonFace(size(), state));
    p.setFont(font());
    p.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    const QRect textRect = isDown() ? rect().translated(1, 1) : rect();
    p.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic, text());
    if (hasFocus()) {
        QPen pen(palette().color(QPalette::ButtonText), 1, Qt::DotLine);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawRect(rect().adjusted(FocusRectMargin, FocusRectMargin, -FocusRectMargin - 1,
                                   -FocusRectMargin - 1));
    }
}

// ---- Image ----------------------------------------------------------------------------

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

// ---- Status bar -----------------------------------------------------------------------

StatusPanelLabel::StatusPanelLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setAutoFillBackground(true);
}

void StatusPanelLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // The bevel lies two pixels below the bar's top edge, like the system's panels.
    const QRect box = rect().adjusted(0, 2, -2, 0);
    if (Bevel != pbNone) {
        const QColor shadow(0xA0, 0xA0, 0xA0);
        const QColor light(Qt::white);
        const QColor topLeft = Bevel == pbLowered ? shadow : light;
        const QColor bottomRight = Bevel == pbLowered ? light : shadow;
        p.setPen(topLeft);
        p.drawLine(box.topLeft(), box.topRight());
        p.drawLine(box.topLeft(), box.bottomLeft());
        p.setPen(bottomRight);
        p.drawLine(box.bottomLeft(), box.bottomRight());
        p.drawLine(box.topRight(), box.bottomRight());
    }
    p.setPen(palette().color(QPalette::WindowText));
    p.setFont(font());
    p.drawText(box.adjusted(3, 1, -3, -1), int(alignment()) | Qt::TextSingleLine, text());
}

StatusBarWidget::StatusBarWidget(QWidget* parent) : QWidget(parent) {
    // The system's status-bar font, not the window's.
    setFont(QApplication::font());
}

void StatusBarWidget::SetPanelColor(const QColor& color) {
    PanelColor = color;
    for (StatusPanelLabel* label : Labels) {
        QPalette pal = label->palette();
        if (PanelColor.isValid())
            pal.setColor(QPalette::Window, PanelColor);
        label->setPalette(pal);
    }
}

void StatusBarWidget::SetPanels(const std::vector<PanelLayout>& panels) {
    Panels = panels;
    while (Labels.size() > Panels.size()) {
        delete Labels.back();
        Labels.pop_back();
    }
    while (Labels.size() < Panels.size()) {
        auto* label = new StatusPanelLabel(this);
        label->show();
        Labels.push_back(label);
    }
    SetPanelColor(PanelColor);
    for (std::size_t i = 0; i < Panels.size(); ++i) {
        StatusPanelLabel* label = Labels[i];
        const PanelLayout& panel = Panels[i];
        label->setText(panel.Text);
        Qt::Alignment alignment = Qt::AlignVCenter;
        alignment |= panel.Alignment == taCenter         ? Qt::AlignHCenter
                     : panel.Alignment == taRightJustify ? Qt::AlignRight
                                                         : Qt::AlignLeft;
        label->setAlignment(alignment);
        label->Bevel = panel.Bevel;
        label->update();
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
