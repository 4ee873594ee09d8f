// Turns a form description into the form's components.
#include "vcl_forms.h"
#include "vcl_skin.h"
#include "vcl_sysutils.h"
#include "vcl_widgets.h"

using namespace vcl_widgets;

namespace {

AnsiString Str(std::string_view s) {
    return AnsiString(s);
}

TComponent* CreateComponent(TComponentKind kind, TForm* owner) {
    switch (kind) {
    case TComponentKind::Label:
        return new TLabel(owner);
    case TComponentKind::Image:
        return new TImage(owner);
    case TComponentKind::Timer:
        return new TTimer(owner);
    case TComponentKind::SkinForm:
        return new TsuiForm(owner);
    case TComponentKind::SkinGroupBox:
        return new TsuiGroupBox(owner);
    case TComponentKind::SkinComboBox:
        return new TsuiComboBox(owner);
    case TComponentKind::SkinButton:
        return new TsuiButton(owner);
    case TComponentKind::SkinStatusBar:
        return new TsuiStatusBar(owner);
    }
    throw Exception("Unknown component kind");
}

void BindEvents(TComponent* component, std::span<const TEventBinding> events,
                const TMethodResolver& methods, const AnsiString& formName) {
    for (const TEventBinding& binding : events) {
        const AnsiString where = formName + "." + component->Name.get() + "." + Str(binding.Event);
        TNotifyEvent* event = component->FindEvent(binding.Event);
        if (!event)
            throw Exception("Error reading " + where + ": no such event");
        TNotifyEvent method = methods.MethodAddress(binding.Handler);
        if (!method)
            throw Exception("Error reading " + where + ": method " + Str(binding.Handler) +
                            " not found");
        *event = std::move(method);
    }
}

void ApplyComboBox(TsuiComboBox* box, const TComponentDescription& d) {
    box->Style = d.Style;
    for (std::string_view item : d.Items)
        box->Items->Add(Str(item));
    box->ItemIndex = d.ItemIndex;
    // A designed text that differs from the selected entry's (a drop-down's free text).
    if (!d.Caption.empty() && box->Text.get().Utf8() != d.Caption)
        box->Text = Str(d.Caption);
    box->SetDropDown(d.ItemHeight, d.DropDownCount);
    box->SetSkinColors(d.BorderColor, d.ArrowColor, d.ButtonColor);
}

void ApplyStatusBar(TsuiStatusBar* bar, const TComponentDescription& d) {
    for (const TStatusPanelDescription& pd : d.Panels) {
        TStatusPanel* panel = bar->Panels->Add();
        panel->Width = pd.Width;
        panel->Alignment = pd.Alignment;
        panel->Bevel = pd.Bevel;
        panel->Text = Str(pd.Text);
    }
    bar->SizeGrip = d.SizeGrip;
    bar->SetPanelColor(d.PanelColor);
}

void ApplyControl(TControl* control, TWinControl* parent, const TComponentDescription& d) {
    control->Parent = parent;
    control->SetBounds(d.Left, d.Top, d.Width, d.Height);
    control->Color = d.Color;
    control->SetFont(d.Font);
    control->Enabled = d.Enabled;
    control->Visible = d.Visible;

    if (auto* win = dynamic_cast<TWinControl*>(control)) {
        win->TabOrder = d.TabOrder;
        if (d.TabOrder < 0)
            win->TabStop = false;
    }

    if (auto* label = dynamic_cast<TLabel*>(control)) {
        label->Caption = Str(d.Caption);
    } else if (auto* image = dynamic_cast<TImage*>(control)) {
        image->SetPicture(d.Picture);
    } else if (auto* frame = dynamic_cast<TsuiForm*>(control)) {
        frame->Caption = Str(d.Caption);
        frame->BorderColor = d.BorderColor;
        frame->BorderWidth = d.BorderWidth;
        frame->InactiveCaptionColor = d.InactiveCaptionColor;
    } else if (auto* group = dynamic_cast<TsuiGroupBox*>(control)) {
        group->Caption = Str(d.Caption);
        group->SetBorderColor(d.BorderColor);
    } else if (auto* box = dynamic_cast<TsuiComboBox*>(control)) {
        ApplyComboBox(box, d);
    } else if (auto* button = dynamic_cast<TsuiButton*>(control)) {
        button->Caption = Str(d.Caption);
    } else if (auto* bar = dynamic_cast<TsuiStatusBar*>(control)) {
        ApplyStatusBar(bar, d);
    }
}

} // namespace

void TForm::BuildFromDescription(const TFormDescription& description,
                                 const TMethodResolver& methods) {
    Name = Str(description.Name);
    Caption = Str(description.Caption);
    ClientWidth = description.ClientWidth;
    ClientHeight = description.ClientHeight;
    FormPosition = description.Position;
    if (description.BorderStyle == bsDialog || description.BorderStyle == bsSingle) {
        // Fixed size (ClientWidth and ClientHeight fix it); a dialog has only a close box.
        Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if (description.BorderStyle == bsSingle)
            flags |= Qt::WindowMinMaxButtonsHint;
        Window->setWindowFlags(flags);
    }
    if (description.Position == poDesigned)
        Window->move(description.Left, description.Top);
    Color = description.Color;
    SetBackground(Client, description.Color);
    if (!description.Font.Name.empty())
        Window->setFont(ToQFont(description.Font, Window->font()));
    BindEvents(this, description.Events, methods, Name);

    for (const TComponentDescription& d : description.Components) {
        TWinControl* parent = this;
        if (!d.Parent.empty() && d.Parent != description.Name) {
            parent = dynamic_cast<TWinControl*>(FindComponent(d.Parent));
            if (!parent)
                throw Exception("Error reading " + Str(description.Name) + "." + Str(d.Name) +
                                ": no parent " + Str(d.Parent));
        }
        if (FindComponent(d.Name))
            throw Exception("A component named " + Str(d.Name) + " already exists");
        TComponent* component = CreateComponent(d.Kind, this);
        component->Name = Str(d.Name);
        if (auto* control = dynamic_cast<TControl*>(component)) {
            ApplyControl(control, parent, d);
        } else if (auto* timer = dynamic_cast<TTimer*>(component)) {
            timer->Interval = d.Interval;
            timer->Enabled = d.Enabled;
        }
        BindEvents(component, d.Events, methods, Name);
        component->Loaded();
    }
    UpdateTabOrder();
}
