// The main window as designed: a fixed 538 x 243 dialog covered by the skinned frame, the
// PC port group on the left, the module parameter group on the right, the status bar at
// the bottom, and the 100 ms timer.
#include "Unit1_form.h"

#include "value_lists.h"

namespace {

using enum TComponentKind;

constexpr TColor kFrameColor = 0xFBFBFB;

constexpr TFontDescription kFormFont{.Name = "MS Sans Serif", .Height = 11, .Color = clWindowText};
constexpr TFontDescription kGroupFont{.Name = "MS Sans Serif", .Height = 11, .Color = clBlack};
constexpr TFontDescription kButtonFont = kGroupFont;
constexpr TFontDescription kTitleFont{
    .Name = "Tahoma", .Height = 11, .Bold = true, .Color = clWhite};

constexpr std::string_view kPcBaudRates[] = {"1200",  "2400",  "4800",  "9600",
                                             "19200", "38400", "57600", "115200"};
constexpr std::string_view kPcParities[] = {"NO", "ODD", "EVEN"};

constexpr TEventBinding kFormEvents[] = {{"OnCreate", "FormCreate"}};
constexpr TEventBinding kOpenPortEvents[] = {{"OnClick", "suiButton_OpenPortClick"}};
constexpr TEventBinding kWriteEvents[] = {{"OnClick", "suiButton1Click"}};
constexpr TEventBinding kReadEvents[] = {{"OnClick", "suiButton2Click"}};
constexpr TEventBinding kTimerEvents[] = {{"OnTimer", "Timer1Timer"}};

constexpr TStatusPanelDescription kPanels[] = {
    {.Width = 180, .Alignment = taLeftJustify, .Bevel = pbLowered},
    {.Width = 180, .Alignment = taCenter, .Bevel = pbLowered},
    {.Width = 180, .Alignment = taCenter, .Bevel = pbLowered},
};

constexpr std::string_view DefaultText(const ValueList& list) {
    return list.Items[static_cast<std::size_t>(list.DefaultIndex)];
}

// A PC-side selector: a sky-blue pick-only list.
constexpr TComponentDescription PcSelector(std::string_view name, int top, int tabOrder,
                                           std::span<const std::string_view> items, int itemIndex) {
    return {.Kind = SkinComboBox,
            .Name = name,
            .Parent = "suiGroupBox1",
            .Left = 64,
            .Top = top,
            .Width = 69,
            .Height = 21,
            .Caption = itemIndex >= 0 ? items[static_cast<std::size_t>(itemIndex)] : "",
            .Items = items,
            .ItemIndex = itemIndex,
            .Style = csDropDownList,
            .TabOrder = tabOrder,
            .Color = clSkyBlue,
            .BorderColor = clBlack,
            .ArrowColor = clBlack,
            .ButtonColor = kFrameColor};
}

// A module parameter selector: an editable drop-down on the system's field colour.
constexpr TComponentDescription ParamSelector(std::string_view name, int left, int top,
                                              int tabOrder, const ValueList& list,
                                              bool enabled = true) {
    return {.Kind = SkinComboBox,
            .Name = name,
            .Parent = "suiGroupBox2",
            .Left = left,
            .Top = top,
            .Width = 90,
            .Height = 21,
            .Caption = DefaultText(list),
            .Items = list.Items,
            .ItemIndex = list.DefaultIndex,
            .Style = csDropDown,
            .Enabled = enabled,
            .TabOrder = tabOrder,
            .Color = clWindow,
            .BorderColor = clBlack,
            .ArrowColor = clBlack,
            .ButtonColor = kFrameColor};
}

constexpr TComponentDescription Caption(std::string_view name, std::string_view parent, int left,
                                        int top, int width, int height, std::string_view text) {
    return {.Kind = Label,
            .Name = name,
            .Parent = parent,
            .Left = left,
            .Top = top,
            .Width = width,
            .Height = height,
            .Caption = text};
}

constexpr TComponentDescription PushButton(std::string_view name, std::string_view parent, int left,
                                           int top, int width, int height, std::string_view caption,
                                           int tabOrder, std::span<const TEventBinding> events) {
    return {.Kind = SkinButton,
            .Name = name,
            .Parent = parent,
            .Left = left,
            .Top = top,
            .Width = width,
            .Height = height,
            .Caption = caption,
            .TabOrder = tabOrder,
            .Font = kButtonFont,
            .Events = events};
}

constexpr TComponentDescription Indicator(std::string_view name, TPictureId picture) {
    return {.Kind = Image,
            .Name = name,
            .Parent = "suiGroupBox1",
            .Left = 16,
            .Top = 118,
            .Width = 31,
            .Height = 28,
            .Picture = picture};
}

constexpr std::string_view kTitle = "CMT2300透传模块配置工具------Varnholt";

// In creation order, which is also the stacking order among siblings.
constexpr TComponentDescription kComponents[] = {
    {.Kind = SkinForm,
     .Name = "suiForm1",
     .Parent = "Form1",
     .Left = 0,
     .Top = 0,
     .Width = 538,
     .Height = 243,
     .Caption = kTitle,
     .TabOrder = 0,
     .Color = kFrameColor,
     .Font = kTitleFont,
     .BorderColor = clBlack,
     .InactiveCaptionColor = clInactiveCaption,
     .BorderWidth = 1},

    {.Kind = SkinGroupBox,
     .Name = "suiGroupBox1",
     .Parent = "suiForm1",
     .Left = 7,
     .Top = 23,
     .Width = 154,
     .Height = 194,
     .Caption = "用户",
     .TabOrder = 1,
     .Font = kGroupFont,
     .BorderColor = clBlack},
    Caption("Label1", "suiGroupBox1", 10, 52, 52, 19, "波特率："),
    Caption("Label2", "suiGroupBox1", 10, 82, 52, 21, "效     验："),
    Caption("Label3", "suiGroupBox1", 10, 23, 49, 19, "串     口："),
    Indicator("Image1", TPictureId::LampUnlit),
    Indicator("Image2", TPictureId::LampLit),
    PushButton("suiButton_OpenPort", "suiGroupBox1", 57, 121, 77, 26, "打开", 0, kOpenPortEvents),
    PcSelector("suiComboBox_PcPort", 18, 1, {}, -1),
    PcSelector("suiComboBox_PcBaudRate", 49, 2, kPcBaudRates, 3),
    PcSelector("suiComboBox_PcParity", 79, 3, kPcParities, 0),

    {.Kind = SkinStatusBar,
     .Name = "suiStatusBar1",
     .Parent = "suiForm1",
     .Left = 0,
     .Top = 222,
     .Width = 538,
     .Height = 21,
     .TabOrder = 2,
     .Color = kFrameColor,
     .Panels = kPanels,
     .SizeGrip = false,
     .PanelColor = kFrameColor},

    {.Kind = SkinGroupBox,
     .Name = "suiGroupBox2",
     .Parent = "suiForm1",
     .Left = 169,
     .Top = 24,
     .Width = 361,
     .Height = 193,
     .Caption = "参数配置页",
     .TabOrder = 3,
     .Font = kGroupFont,
     .BorderColor = clBlack},
    Caption("Label4", "suiGroupBox2", 16, 34, 65, 13, "无线信道:"),
    Caption("Label5", "suiGroupBox2", 181, 34, 65, 13, "工作模式:"),
    Caption("Label6", "suiGroupBox2", 16, 74, 65, 13, "串口速率:"),
    Caption("Label7", "suiGroupBox2", 181, 74, 65, 13, "串口效验:"),
    Caption("Label8", "suiGroupBox2", 16, 111, 65, 13, "休眠时间:"),
    ParamSelector("suiComboBox1", 81, 30, 0, RadioChannelList),
    ParamSelector("suiComboBox2", 246, 30, 1, WorkModeList),
    ParamSelector("suiComboBox3", 81, 70, 2, SerialRateList),
    ParamSelector("suiComboBox4", 246, 70, 3, SerialParityList, false),
    PushButton("suiButton1", "suiGroupBox2", 56, 146, 89, 27, "写入配置", 4, kWriteEvents),
    PushButton("suiButton2", "suiGroupBox2", 192, 146, 89, 27, "读取配置", 5, kReadEvents),
    ParamSelector("suiComboBox5", 81, 107, 6, SleepTimeList),

    {.Kind = Timer, .Name = "Timer1", .Parent = "Form1", .Events = kTimerEvents, .Interval = 100},
};

} // namespace

const TFormDescription Form1Description{
    .Name = "Form1",
    .Caption = kTitle,
    .ClientWidth = 538,
    .ClientHeight = 243,
    .BorderStyle = bsDialog,
    .Position = poDesktopCenter,
    .Color = clBtnFace,
    .Font = kFormFont,
    .Events = kFormEvents,
    .Components = kComponents,
};
