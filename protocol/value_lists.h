// The item lists of the five module parameters, with the entry selected at start.
// The window fills its parameter selectors from these; the module only ever sees the
// index of an entry, never its text. Texts are UTF-8.
#pragma once

#include <array>
#include <span>
#include <string_view>

struct ValueList {
    std::span<const std::string_view> Items;
    int DefaultIndex;
};

namespace value_lists_detail {
inline constexpr std::array<std::string_view, 3> WorkMode = {"正常模式", "中心模式", "节点模式"};
inline constexpr std::array<std::string_view, 16> RadioChannel = {
    "1ch", "2ch",  "3ch",  "4ch",  "5ch",  "6ch",  "7ch",  "8ch",
    "9ch", "10ch", "11ch", "12ch", "13ch", "14ch", "15ch", "16ch"};
inline constexpr std::array<std::string_view, 7> SerialRate = {"1200",  "2400",  "4800", "9600",
                                                               "19200", "38400", "57600"};
inline constexpr std::array<std::string_view, 3> SerialParity = {"NO", "ODD", "EVEN"};
inline constexpr std::array<std::string_view, 4> SleepTime = {"2s", "3s", "4s", "5s"};
} // namespace value_lists_detail

inline constexpr ValueList WorkModeList{value_lists_detail::WorkMode, 0};
inline constexpr ValueList RadioChannelList{value_lists_detail::RadioChannel, 0};
inline constexpr ValueList SerialRateList{value_lists_detail::SerialRate, 3};
inline constexpr ValueList SerialParityList{value_lists_detail::SerialParity, 0};
inline constexpr ValueList SleepTimeList{value_lists_detail::SleepTime, 0};
