#include "vcl_skin.h"

#include "vcl_forms.h"
#include "vcl_sysutils.h"
#include "vcl_widgets.h"

#include <QAbstractItemView>
#include <QLineEdit>

using namespace vcl_widgets;

namespace {

QString ToQString(const AnsiString& s) {
    return QString::fromStdString(s.Utf8());
}
AnsiString FromQString(const QString& s) {
    return AnsiString(s.toStdString());
}

} // namespace

// ---- TsuiForm -------------------------------------------------------------------------

TsuiForm::TsuiForm(TComponent* AOwner) : TWinControl(AOwner) {
    auto* frame = new SkinFrameWidget;
    frame->setFocusPolicy(Qt::NoFocus);
    SetWidget(frame);
}

AnsiString TsuiForm::GetCaption() const {
    auto* frame = static_cast<SkinFrameWidget*>(Widget());
    return frame ? FromQString(frame->TitleBar()->Title()) : AnsiString();
}

void TsuiForm::SetCaption(const AnsiString& value) {
    if (auto* frame = static_cast<SkinFrameWidget*>(Widget()))
        frame->TitleBar()->SetTitle(ToQString(value));
}

void TsuiForm::SetFont(const TFontDescription& font) {
    TitleFont = font;
    ApplyTitleLook();
}

void TsuiForm::ApplyTitleLook() {
    auto* frame = static_cast<SkinFrameWidget*>(Widget());
    if (!frame)
        return;
    frame->TitleBar()->SetTitleFont(ToQFont(TitleFont, frame->font()), ToQColor(TitleFont.Color),
                                    ToQColor(InactiveCaptionColor));
}

void TsuiForm::Loaded() {
    ApplyTitleLook();
    if (TForm* form = ParentForm())
        form->SetSkinnedFrame(BorderColor, BorderWidth);
}

void TsuiForm::ColorChanged() {
    TWinControl::ColorChanged();
}

// ---- TsuiGroupBox ---------------------------------------------------------------------

TsuiGroupBox::TsuiGroupBox(TComponent* AOwner) : TWinControl(AOwner) {
    auto* box = new SkinGroupBoxWidget;
    box->setFocusPolicy(Qt::NoFocus);
    SetWidget(box);
}

AnsiString TsuiGroupBox::GetCaption() const {
    auto* box = static_cast<SkinGroupBoxWidget*>(Widget());
    return box ? FromQString(box->Caption()) : AnsiString();
}

void TsuiGroupBox::SetCaption(const AnsiString& value) {
    if (auto* box = static_cast<SkinGroupBoxWidget*>(Widget()))
        box->SetCaption(ToQString(value));
}

void TsuiGroupBox::SetBorderColor(TColor color) {
    const QColor c = ToQColor(color);
    auto* box = static_cast<SkinGroupBoxWidget*>(Widget());
    if (box && c.isValid())
        box->SetFrameColor(c);
}

void TsuiGroupBox::ColorChanged() {
    TWinControl::ColorChanged();
}

// ---- TsuiComboBox ---------------------------------------------------------------------

namespace {

class ComboBoxStrings final : public TStrings {
public:
    explicit ComboBoxStrings(TsuiComboBox* owner) : Owner(owner) {}

    int Add(const AnsiString& text) override {
        QComboBox* box = Box();
        if (!box)
            return -1;
        // Adding to an empty list selects nothing, whatever the toolkit does by itself.
        const int selected = box->currentIndex();
        box->addItem(ToQString(text));
        if (selected == -1 && box->currentIndex() != -1)
            box->setCurrentIndex(-1);
        return box->count() - 1;
    }

    void Clear() override {
        if (QComboBox* box = Box())
            box->clear();
    }

protected:
    int GetCount() const override {
        QComboBox* box = Box();
        return box ? box->count() : 0;
    }

    AnsiString Get(int index) const override {
        if (index < 0 || index >= GetCount())
            throw Exception("List index out of bounds (" + AnsiString(index) + ")");
        return FromQString(Box()->itemText(index));
    }

private:
    QComboBox* Box() const { return static_cast<QComboBox*>(Owner->Widget()); }

    TsuiComboBox* Owner;
};

} // namespace

TsuiComboBox::TsuiComboBox(TComponent* AOwner)
    : TWinControl(AOwner), ComboItems(std::make_unique<ComboBoxStrings>(this)),
      Items(ComboItems.get()) {
    auto* box = new SkinComboBoxWidget;
    box->setFocusPolicy(Qt::StrongFocus);
    SetWidget(box);
    SetStyle(csDropDown);
}

TsuiComboBox::~TsuiComboBox() = default;

AnsiString TsuiComboBox::GetText() const {
    auto* box = static_cast<QComboBox*>(Widget());
    return box ? FromQString(box->currentText()) : AnsiString();
}

void TsuiComboBox::SetText(const AnsiString& value) {
    auto* box = static_cast<QComboBox*>(Widget());
    if (!box)
        return;
    const QString text = ToQString(value);
    if (box->isEditable())
        box->setEditText(text);
    else
        box->setCurrentIndex(box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

int TsuiComboBox::GetItemIndex() const {
    auto* box = static_cast<QComboBox*>(Widget());
    if (!box)
        return -1;
    const int current = box->currentIndex();
    if (!box->isEditable())
        return current;
    // In an editable field the selection follows what the field shows: typing text that is
    // no entry selects none, completing or typing an entry's text selects that entry.
    const QString text = box->currentText();
    if (current >= 0 && box->itemText(current) == text)
        return current;
    return box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

void TsuiComboBox::SetItemIndex(int value) {
    auto* box = static_cast<QComboBox*>(Widget());
    if (!box || value == GetItemIndex())
        return;
    box->setCurrentIndex(value >= 0 && value < box->count() ? value : -1);
}

void TsuiComboBox::SetStyle(TComboBoxStyle value) {
    ComboStyle = value;
    if (auto* box = static_cast<SkinComboBoxWidget*>(Widget())) {
        const int index = GetItemIndex();
        box->SetEditable(value == csDropDown);
        box->setCurrentIndex(index);
        ColorChanged();
    }
}

void TsuiComboBox::SetSkinColors(TColor border, TColor arrow, TColor button) {
    if (auto* box = static_cast<SkinComboBoxWidget*>(Widget()))
        box->SetSkinColors(ToQColor(border), ToQColor(arrow), ToQColor(button));
}

void TsuiComboBox::SetDropDown(int itemHeight, int dropDownCount) {
    auto* box = static_cast<SkinComboBoxWidget*>(Widget());
    if (!box)
        return;
    box->SetRowHeight(itemHeight);
    box->setMaxVisibleItems(dropDownCount);
}

void TsuiComboBox::ColorChanged() {
    if (auto* box = static_cast<SkinComboBoxWidget*>(Widget()))
        box->SetFieldColor(ToQColor(Color));
}

// ---- TsuiButton -----------------------------------------------------------------------

TsuiButton::TsuiButton(TComponent* AOwner) : TWinControl(AOwner) {
    auto* button = new SkinButtonWidget;
    button->setFocusPolicy(Qt::StrongFocus);
    QObject::connect(button, &QPushButton::clicked, [this] { CallEvent(OnClick, this); });
    SetWidget(button);
}

AnsiString TsuiButton::GetCaption() const {
    auto* button = static_cast<QPushButton*>(Widget());
    return button ? FromQString(button->text()) : AnsiString();
}

void TsuiButton::SetCaption(const AnsiString& value) {
    if (auto* button = static_cast<QPushButton*>(Widget()))
        button->setText(ToQString(value));
}

void TsuiButton::Click() {
    CallEvent(OnClick, this);
}

TNotifyEvent* TsuiButton::FindEvent(std::string_view name) {
    return name == "OnClick" ? &OnClick : nullptr;
}

// ---- TsuiStatusBar --------------------------------------------------------------------

void TStatusPanel::SetText(const AnsiString& value) {
    PanelText = value;
    Bar->PanelsChanged();
}

void TStatusPanel::SetWidth(int value) {
    PanelWidth = value;
    Bar->PanelsChanged();
}

void TStatusPanel::SetAlignment(TAlignment value) {
    PanelAlignment = value;
    Bar->PanelsChanged();
}

void TStatusPanel::SetBevel(TStatusPanelBevel value) {
    PanelBevel = value;
    Bar->PanelsChanged();
}

TStatusPanel* TStatusPanels::GetItem(int index) const {
    if (index < 0 || index >= GetCount())
        throw Exception("List index out of bounds (" + AnsiString(index) + ")");
    return PanelList[static_cast<std::size_t>(index)].get();
}

TStatusPanel* TStatusPanels::Add() {
    PanelList.push_back(std::make_unique<TStatusPanel>(Bar));
    Bar->PanelsChanged();
    return PanelList.back().get();
}

TsuiStatusBar::TsuiStatusBar(TComponent* AOwner)
    : TWinControl(AOwner), PanelsOwner(std::make_unique<TStatusPanels>(this)),
      Panels(PanelsOwner.get()) {
    auto* bar = new StatusBarWidget;
    bar->setFocusPolicy(Qt::NoFocus);
    SetWidget(bar);
}

TsuiStatusBar::~TsuiStatusBar() = default;

// The bar never shows a size grip: the windows it is used in cannot be resized.
void TsuiStatusBar::SetSizeGrip(bool value) {
    BarSizeGrip = value;
}

void TsuiStatusBar::SetPanelColor(TColor color) {
    if (auto* bar = static_cast<StatusBarWidget*>(Widget()))
        bar->SetPanelColor(ToQColor(color));
}

void TsuiStatusBar::PanelsChanged() {
    auto* bar = static_cast<StatusBarWidget*>(Widget());
    if (!bar)
        return;
    std::vector<PanelLayout> layout;
    for (int i = 0; i < Panels->Count; ++i) {
        TStatusPanel* panel = Panels->Items[i];
        layout.push_back({panel->Width, panel->Alignment, panel->Bevel, ToQString(panel->Text)});
    }
    bar->SetPanels(layout);
}

void TsuiStatusBar::ColorChanged() {
    TWinControl::ColorChanged();
}
