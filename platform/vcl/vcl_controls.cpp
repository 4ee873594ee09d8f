#include "vcl_controls.h"

#include "vcl_forms.h"
#include "vcl_widgets.h"

#include <QLabel>
#include <QTimer>
#include <QWidget>

using namespace vcl_widgets;

// ---- TControl -------------------------------------------------------------------------

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {}

TControl::~TControl() {
    // A widget still alive here may hold the widgets of controls owned elsewhere; those
    // controls see their widget gone (QPointer) rather than a dangling one.
    delete ControlWidget.data();
}

void TControl::SetWidget(QWidget* widget) {
    ControlWidget = widget;
}

QWidget* TControl::Widget() const {
    return static_cast<QWidget*>(ControlWidget.data());
}

int TControl::GetLeft() const {
    return ControlWidget ? Widget()->x() : 0;
}
int TControl::GetTop() const {
    return ControlWidget ? Widget()->y() : 0;
}
int TControl::GetWidth() const {
    return ControlWidget ? Widget()->width() : 0;
}
int TControl::GetHeight() const {
    return ControlWidget ? Widget()->height() : 0;
}

void TControl::SetLeft(int value) {
    SetBounds(value, GetTop(), GetWidth(), GetHeight());
}
void TControl::SetTop(int value) {
    SetBounds(GetLeft(), value, GetWidth(), GetHeight());
}
void TControl::SetWidth(int value) {
    SetBounds(GetLeft(), GetTop(), value, GetHeight());
}
void TControl::SetHeight(int value) {
    SetBounds(GetLeft(), GetTop(), GetWidth(), value);
}

void TControl::SetBounds(int left, int top, int width, int height) {
    if (ControlWidget)
        Widget()->setGeometry(left, top, width, height);
}

bool TControl::GetVisible() const {
    // The control's own flag: a child counts as visible while its window is still hidden.
    return ControlWidget && !Widget()->isHidden();
}

void TControl::SetVisible(bool value) {
    if (ControlWidget)
        Widget()->setVisible(value);
}

bool TControl::GetEnabled() const {
    return ControlWidget && !Widget()->testAttribute(Qt::WA_Disabled);
}

void TControl::SetEnabled(bool value) {
    if (ControlWidget)
        Widget()->setEnabled(value);
}

void TControl::SetParent(TWinControl* parent) {
    if (parent == ParentControl)
        return;
    ParentControl = parent;
    if (!ControlWidget)
        return;
    // Controls are visible unless hidden on purpose, also before they have a parent.
    const bool visible =
        !Widget()->testAttribute(Qt::WA_WState_ExplicitShowHide) || !Widget()->isHidden();
    const QRect geometry = Widget()->geometry();
    Widget()->setParent(parent ? parent->ClientWidget() : nullptr);
    Widget()->setGeometry(geometry);
    Widget()->setVisible(visible);
    ColorChanged();
}

void TControl::SetColor(TColor color) {
    ControlColor = color;
    ColorChanged();
}

void TControl::ColorChanged() {
    if (ControlWidget)
        SetBackground(Widget(), ControlColor);
}

void TControl::SetFont(const TFontDescription& font) {
    if (!ControlWidget || font.Name.empty())
        return;
    Widget()->setFont(ToQFont(font, Widget()->font()));
    SetTextColor(Widget(), font.Color);
}

TForm* TControl::ParentForm() const {
    for (const TControl* c = this; c; c = c->ParentControl) {
        if (auto* form = dynamic_cast<TForm*>(const_cast<TControl*>(c)))
            return form;
    }
    return nullptr;
}

// ---- TWinControl ----------------------------------------------------------------------

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

void TWinControl::SetTabOrder(int value) {
    ControlTabOrder = value;
    if (TForm* form = ParentForm())
        form->UpdateTabOrder();
}

bool TWinControl::GetTabStop() const {
    QWidget* w = FocusWidget();
    return w && (w->focusPolicy() & Qt::TabFocus);
}

void TWinControl::SetTabStop(bool value) {
    if (QWidget* w = Widget())
        w->setFocusPolicy(value ? Qt::StrongFocus : Qt::NoFocus);
}

bool TWinControl::Focused() const {
    QWidget* w = FocusWidget();
    return w && w->hasFocus();
}

bool TWinControl::CanFocus() const {
    QWidget* w = Widget();
    return w && w->isEnabled() && w->isVisible();
}

void TWinControl::SetFocus() {
    if (QWidget* w = Widget())
        w->setFocus(Qt::OtherFocusReason);
}

// ---- TLabel ---------------------------------------------------------------------------

TLabel::TLabel(TComponent* AOwner) : TControl(AOwner) {
    auto* label = new QLabel;
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(false);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFocusPolicy(Qt::NoFocus);
    SetWidget(label);
}

void TLabel::ColorChanged() {
    TControl::ColorChanged();
    if (QWidget* w = Widget())
        w->setAutoFillBackground(true);
}

AnsiString TLabel::GetCaption() const {
    auto* label = static_cast<QLabel*>(Widget());
    return label ? AnsiString(label->text().toStdString()) : AnsiString();
}

void TLabel::SetCaption(const AnsiString& value) {
    if (auto* label = static_cast<QLabel*>(Widget()))
        label->setText(QString::fromStdString(value.Utf8()));
}

// ---- TImage ---------------------------------------------------------------------------

TImage::TImage(TComponent* AOwner) : TControl(AOwner) {
    auto* image = new ImageWidget;
    image->setFocusPolicy(Qt::NoFocus);
    SetWidget(image);
}

void TImage::SetPicture(TPictureId picture) {
    ImagePicture = picture;
    if (auto* image = static_cast<ImageWidget*>(Widget()))
        image->SetPicture(picture);
}

// ---- TTimer ---------------------------------------------------------------------------

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner), Timer(new QTimer) {
    Timer->setTimerType(Qt::CoarseTimer);
    QObject::connect(Timer, &QTimer::timeout, [this] { CallEvent(OnTimer, this); });
    Restart();
}

TTimer::~TTimer() {
    delete Timer;
}

void TTimer::SetInterval(int value) {
    TimerInterval = value;
    Restart();
}

void TTimer::SetEnabled(bool value) {
    TimerEnabled = value;
    Restart();
}

void TTimer::Restart() {
    Timer->stop();
    if (TimerEnabled && TimerInterval > 0)
        Timer->start(TimerInterval);
}

TNotifyEvent* TTimer::FindEvent(std::string_view name) {
    return name == "OnTimer" ? &OnTimer : nullptr;
}
