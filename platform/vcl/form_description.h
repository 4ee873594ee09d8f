// A form description: the design-time content of a window as data. The form class
// (TForm) creates every component listed here, in order, before the body of the derived
// window class's constructor runs; handlers are named and bound through the window class's
// published methods.
//
// Texts are UTF-8. Geometry is in pixels, Left and Top relative to the parent's client
// area. Colours are 0x00RRGGBB, or one of the system colours below.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

using TColor = std::uint32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clSkyBlue = 0xA6CAF0;
// System colours: resolved from the running system's palette.
inline constexpr TColor clSystemColor = 0xFF000000;
inline constexpr TColor clBtnFace = clSystemColor | 1;
inline constexpr TColor clWindow = clSystemColor | 2;
inline constexpr TColor clWindowText = clSystemColor | 3;
inline constexpr TColor clInactiveCaption = clSystemColor | 4;
inline constexpr TColor clActiveCaption = clSystemColor | 5;
// "Not given": the control takes its parent's colour (or its kind's default).
inline constexpr TColor clDefault = clSystemColor | 0xFFFF;

enum TComboBoxStyle { csDropDown, csDropDownList };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TStatusPanelBevel { pbNone, pbLowered, pbRaised };
enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog };
enum TPosition { poDesigned, poScreenCenter, poDesktopCenter };

// The kinds of component a description can hold.
enum class TComponentKind {
    Label,
    Image,
    Timer,
    SkinForm,     // TsuiForm
    SkinGroupBox, // TsuiGroupBox
    SkinComboBox, // TsuiComboBox
    SkinButton,   // TsuiButton
    SkinStatusBar // TsuiStatusBar
};

// Pictures the platform can show in an image control.
enum class TPictureId { None, LampUnlit, LampLit };

struct TFontDescription {
    std::string_view Name{}; // empty: the control takes its parent's font
    int Height = 0;          // character height in pixels
    bool Bold = false;
    TColor Color = clWindowText;
};

// An event of a component and the name of the published method it calls.
struct TEventBinding {
    std::string_view Event{};   // "OnClick", "OnTimer", "OnCreate"
    std::string_view Handler{}; // "suiButton1Click"
};

struct TStatusPanelDescription {
    int Width = 50;
    TAlignment Alignment = taLeftJustify;
    TStatusPanelBevel Bevel = pbLowered;
    std::string_view Text{};
};

struct TComponentDescription {
    TComponentKind Kind{};
    std::string_view Name{};
    std::string_view Parent{}; // the name of a component listed earlier, or of the form
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    std::string_view Caption{}; // caption, label text, a combo box's initial text
    std::span<const std::string_view> Items{};
    int ItemIndex = -1;
    TComboBoxStyle Style = csDropDown;
    bool Enabled = true;
    bool Visible = true;
    int TabOrder = -1; // position in the parent's tab order; -1: not a tab stop
    TColor Color = clDefault;
    TFontDescription Font{};
    std::span<const TEventBinding> Events{};
    // Kind-specific.
    TPictureId Picture = TPictureId::None;             // Image
    int Interval = 1000;                               // Timer, milliseconds
    std::span<const TStatusPanelDescription> Panels{}; // StatusBar
    bool SizeGrip = true;                              // StatusBar
    TColor BorderColor = clDefault;                    // skinned controls: frame colour
    TColor ArrowColor = clDefault;                     // SkinComboBox
    TColor ButtonColor = clDefault;                    // SkinComboBox: arrow-button colour
    TColor PanelColor = clDefault;                     // SkinStatusBar
    TColor InactiveCaptionColor = clDefault;           // SkinForm: title text while inactive
    int BorderWidth = 0;                               // SkinForm
    int ItemHeight = 13;                               // SkinComboBox: rows of the list
    int DropDownCount = 8;                             // SkinComboBox
};

struct TFormDescription {
    std::string_view Name{};
    std::string_view Caption{};
    int ClientWidth = 0;
    int ClientHeight = 0;
    TFormBorderStyle BorderStyle = bsSizeable;
    TPosition Position = poDesigned;
    int Left = 0; // with poDesigned
    int Top = 0;
    TColor Color = clBtnFace;
    TFontDescription Font{};
    std::span<const TEventBinding> Events{};
    std::span<const TComponentDescription> Components{};
};
