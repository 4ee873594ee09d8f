// Controls: components shown on screen by a Qt widget, and the timer.
//
// Every control owns its widget. A control's geometry is relative to its parent's client
// area; `Visible` is the control's own flag (a visible control inside a hidden window is
// still Visible). Threads: UI thread only.
#pragma once

#include "form_description.h"
#include "vcl_classes.h"

#include <QObject>
#include <QPointer>

class QWidget;
class QTimer;
class TWinControl;
class TForm;

class TControl : public TComponent {
    int GetLeft() const;
    void SetLeft(int value);
    int GetTop() const;
    void SetTop(int value);
    int GetWidth() const;
    void SetWidth(int value);
    int GetHeight() const;
    void SetHeight(int value);
    bool GetVisible() const;
    void SetVisible(bool value);
    bool GetEnabled() const;
    void SetEnabled(bool value);
    TWinControl* GetParent() const { return ParentControl; }
    void SetParent(TWinControl* parent);
    TColor GetColor() const { return ControlColor; }
    void SetColor(TColor color);

public:
    explicit TControl(TComponent* AOwner);
    ~TControl() override;

    Property<&TControl::GetLeft, &TControl::SetLeft> Left{this};
    Property<&TControl::GetTop, &TControl::SetTop> Top{this};
    Property<&TControl::GetWidth, &TControl::SetWidth> Width{this};
    Property<&TControl::GetHeight, &TControl::SetHeight> Height{this};
    Property<&TControl::GetVisible, &TControl::SetVisible> Visible{this};
    Property<&TControl::GetEnabled, &TControl::SetEnabled> Enabled{this};
    Property<&TControl::GetParent, &TControl::SetParent> Parent{this};
    Property<&TControl::GetColor, &TControl::SetColor> Color{this};

    void SetBounds(int left, int top, int width, int height);
    // The font, from a description; an empty name keeps the parent's font.
    virtual void SetFont(const TFontDescription& font);

    // The widget that shows this control; null once the widget is gone.
    QWidget* Widget() const;
    // The form this control lies on, or null.
    TForm* ParentForm() const;

protected:
    // Gives the control its widget (taking ownership) before it is shown anywhere.
    void SetWidget(QWidget* widget);
    // Shows Color (clDefault: the parent's colour) on the widget.
    virtual void ColorChanged();

private:
    QPointer<QObject> ControlWidget; // a QWidget
    TWinControl* ParentControl = nullptr;
    TColor ControlColor = clDefault;
};

// A control that can hold other controls and take the keyboard focus.
class TWinControl : public TControl {
    int GetTabOrder() const { return ControlTabOrder; }
    void SetTabOrder(int value);
    bool GetTabStop() const;
    void SetTabStop(bool value);

public:
    explicit TWinControl(TComponent* AOwner);

    // Position in the parent's tab order; -1 when the control takes no part in it.
    Property<&TWinControl::GetTabOrder, &TWinControl::SetTabOrder> TabOrder{this};
    // Whether Tab can move the focus to this control.
    Property<&TWinControl::GetTabStop, &TWinControl::SetTabStop> TabStop{this};

    bool Focused() const;
    bool CanFocus() const;
    void SetFocus();

    // Where child controls' widgets go.
    virtual QWidget* ClientWidget() const { return Widget(); }
    // The widget that takes the keyboard focus for this control.
    virtual QWidget* FocusWidget() const { return Widget(); }

private:
    int ControlTabOrder = -1;
};

// Text on an opaque background in the parent's colour (or its own), at the top left of
// its box, never wrapped.
class TLabel : public TControl {
    AnsiString GetCaption() const;
    void SetCaption(const AnsiString& value);

public:
    explicit TLabel(TComponent* AOwner);
    Property<&TLabel::GetCaption, &TLabel::SetCaption> Caption{this};

protected:
    void ColorChanged() override;
};

// Shows a picture at its natural size from the box's top-left corner, cut by the box.
class TImage : public TControl {
public:
    explicit TImage(TComponent* AOwner);
    void SetPicture(TPictureId picture);
    TPictureId Picture() const { return ImagePicture; }

private:
    TPictureId ImagePicture = TPictureId::None;
};

// Raises OnTimer every Interval milliseconds on the UI thread while Enabled (the default).
class TTimer : public TComponent {
    int GetInterval() const { return TimerInterval; }
    void SetInterval(int value);
    bool GetEnabled() const { return TimerEnabled; }
    void SetEnabled(bool value);

public:
    explicit TTimer(TComponent* AOwner);
    ~TTimer() override;

    Property<&TTimer::GetInterval, &TTimer::SetInterval> Interval{this};
    Property<&TTimer::GetEnabled, &TTimer::SetEnabled> Enabled{this};
    TNotifyEvent OnTimer;

    TNotifyEvent* FindEvent(std::string_view name) override;

private:
    void Restart();

    QTimer* Timer;
    int TimerInterval = 1000;
    bool TimerEnabled = true;
};
