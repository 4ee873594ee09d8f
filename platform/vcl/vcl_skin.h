// The skinned controls the main window is built from: the frame with its own title bar,
// group boxes, selectors (combo boxes), push buttons and the status bar.
#pragma once

#include "vcl_controls.h"

#include <memory>
#include <vector>

// The skinned frame: fills its window, draws the window's title bar and border.
class TsuiForm : public TWinControl {
    AnsiString GetCaption() const;
    void SetCaption(const AnsiString& value);

public:
    explicit TsuiForm(TComponent* AOwner);

    // The title shown in the frame's title bar.
    Property<&TsuiForm::GetCaption, &TsuiForm::SetCaption> Caption{this};
    // The window's border and the title's colour while the window is inactive; they take
    // effect when the frame is loaded.
    TColor BorderColor = clBlack;
    int BorderWidth = 1;
    TColor InactiveCaptionColor = clInactiveCaption;

    // The title bar's font and, as its colour, the title's colour while active.
    void SetFont(const TFontDescription& font) override;
    // Takes the window over: no system frame, this frame's border around it.
    void Loaded() override;

protected:
    void ColorChanged() override;

private:
    void ApplyTitleLook();
    TFontDescription TitleFont;
};

class TsuiGroupBox : public TWinControl {
    AnsiString GetCaption() const;
    void SetCaption(const AnsiString& value);

public:
    explicit TsuiGroupBox(TComponent* AOwner);

    Property<&TsuiGroupBox::GetCaption, &TsuiGroupBox::SetCaption> Caption{this};
    void SetBorderColor(TColor color);

protected:
    void ColorChanged() override;
};

// A selector. csDropDownList: the user picks an entry and cannot type. csDropDown: the
// user may also type, with inline completion from the list; the selected entry is then the
// one whose text the field holds exactly, or none.
class TsuiComboBox : public TWinControl {
    AnsiString GetText() const;
    void SetText(const AnsiString& value);
    int GetItemIndex() const;
    void SetItemIndex(int value);
    TComboBoxStyle GetStyle() const { return ComboStyle; }
    void SetStyle(TComboBoxStyle value);

public:
    explicit TsuiComboBox(TComponent* AOwner);
    ~TsuiComboBox() override;

    // The text in the field: for a drop-down list the selected entry's text, empty when
    // nothing is selected. Writing it to a drop-down list selects the entry with that text
    // (none when there is no such entry); to a drop-down it sets the field's text.
    Property<&TsuiComboBox::GetText, &TsuiComboBox::SetText> Text{this};
    // Zero-based index of the selected entry, -1 when none. Writing selects that entry; an
    // index outside the list leaves no entry selected; writing the selected index changes
    // nothing. No event is raised either way.
    Property<&TsuiComboBox::GetItemIndex, &TsuiComboBox::SetItemIndex> ItemIndex{this};
    Property<&TsuiComboBox::GetStyle, &TsuiComboBox::SetStyle> Style{this};

private:
    std::unique_ptr<TStrings> ComboItems;

public:
    // The entries, in the order added (never sorted).
    TStrings* const Items;

    void SetSkinColors(TColor border, TColor arrow, TColor button);
    // List rows `itemHeight` pixels high, at most `dropDownCount` rows shown at once.
    void SetDropDown(int itemHeight, int dropDownCount);

protected:
    void ColorChanged() override;

private:
    TComboBoxStyle ComboStyle = csDropDown;
};

// A push button. Clicked by the mouse, or by Space or Enter while it has the focus; it is
// never the window's default or cancel button.
class TsuiButton : public TWinControl {
    AnsiString GetCaption() const;
    void SetCaption(const AnsiString& value);

public:
    explicit TsuiButton(TComponent* AOwner);

    Property<&TsuiButton::GetCaption, &TsuiButton::SetCaption> Caption{this};
    TNotifyEvent OnClick;

    // Raises OnClick, as a click of the user does.
    void Click();
    TNotifyEvent* FindEvent(std::string_view name) override;
};

class TsuiStatusBar;

// One panel of a status bar.
class TStatusPanel {
    AnsiString GetText() const { return PanelText; }
    void SetText(const AnsiString& value);
    int GetWidth() const { return PanelWidth; }
    void SetWidth(int value);
    TAlignment GetAlignment() const { return PanelAlignment; }
    void SetAlignment(TAlignment value);
    TStatusPanelBevel GetBevel() const { return PanelBevel; }
    void SetBevel(TStatusPanelBevel value);

public:
    explicit TStatusPanel(TsuiStatusBar* bar) : Bar(bar) {}
    TStatusPanel(const TStatusPanel&) = delete;
    TStatusPanel& operator=(const TStatusPanel&) = delete;

    // Setting the text redraws the panel.
    Property<&TStatusPanel::GetText, &TStatusPanel::SetText> Text{this};
    // The designed width. The last panel runs to the right end of the bar whatever its
    // designed width.
    Property<&TStatusPanel::GetWidth, &TStatusPanel::SetWidth> Width{this};
    Property<&TStatusPanel::GetAlignment, &TStatusPanel::SetAlignment> Alignment{this};
    Property<&TStatusPanel::GetBevel, &TStatusPanel::SetBevel> Bevel{this};

private:
    TsuiStatusBar* Bar;
    AnsiString PanelText;
    int PanelWidth = 50;
    TAlignment PanelAlignment = taLeftJustify;
    TStatusPanelBevel PanelBevel = pbLowered;
};

class TStatusPanels {
    TStatusPanel* GetItem(int index) const;
    int GetCount() const { return static_cast<int>(PanelList.size()); }

public:
    explicit TStatusPanels(TsuiStatusBar* bar) : Bar(bar) {}
    TStatusPanels(const TStatusPanels&) = delete;
    TStatusPanels& operator=(const TStatusPanels&) = delete;

    // The panel at a zero-based index; throws Exception when out of range.
    IndexedProperty<&TStatusPanels::GetItem> Items{this};
    ReadOnlyProperty<&TStatusPanels::GetCount> Count{this};
    TStatusPanel* Add();

private:
    TsuiStatusBar* Bar;
    std::vector<std::unique_ptr<TStatusPanel>> PanelList;
};

class TsuiStatusBar : public TWinControl {
    bool GetSizeGrip() const { return BarSizeGrip; }
    void SetSizeGrip(bool value);

public:
    explicit TsuiStatusBar(TComponent* AOwner);
    ~TsuiStatusBar() override;

private:
    std::unique_ptr<TStatusPanels> PanelsOwner;

public:
    TStatusPanels* const Panels;
    Property<&TsuiStatusBar::GetSizeGrip, &TsuiStatusBar::SetSizeGrip> SizeGrip{this};
    void SetPanelColor(TColor color);

    // Lays the panels out and redraws them after a panel changed.
    void PanelsChanged();

protected:
    void ColorChanged() override;

private:
    bool BarSizeGrip = true;
};
