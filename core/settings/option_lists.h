// The entries of the option panel's lists, by index: the index is what the MCU stores.
#pragma once

#include <array>
#include <span>
#include <string_view>

#include "procedures/unit_options.h"

namespace velkor {

inline constexpr std::array<std::string_view, 9> kTvEntries = {
    "NULL", "BOX", "ISDB", "TCL/CDT", "ISDBT", "CMMB", "DVBT", "T200/T202", "ISDBT-IN"};
inline constexpr std::array<std::string_view, 2> kHbrakeEntries = {"DISABLE", "ENABLE"};
inline constexpr std::array<std::string_view, 2> kRdsEntries = {"DISABLE", "ENABLE"};
// Maker code, diagonal with a plain double quote as inch mark, " NEW" for the later panels.
inline constexpr std::array<std::string_view, 9> kTftEntries = {
    "HSD 8\"",   "HSD 7\"",     "HSD 6.2\"",   "INN 8\"",      "INN 7\"",
    "INN 6.5\"", "INN 8\" NEW", "INN 7\" NEW", "INN 6.5\" NEW"};
inline constexpr std::array<std::string_view, 4> kDvdEntries = {"NULL", "HALBERDIN", "MIRSEL",
                                                                "TARNIC"};
inline constexpr std::array<std::string_view, 4> kRadioEntries = {"NULL", "OSPREN", "HIT7705",
                                                                  "TEF6624"};
inline constexpr std::array<std::string_view, 4> kAudioEntries = {"TDA7418", "TDA7419", "TAS3204",
                                                                  "BD37534"};

// One option of the panel: its place in UnitOptions, label and entries.
struct OptionList {
    UnitOption option;
    std::string_view label;
    std::span<const std::string_view> entries;
};

// In the order the lists are filled: TV, HBRAKE, RDS, TFT, DVD, RADIO, AUDIO.
inline constexpr std::array<OptionList, kUnitOptionCount> kOptionLists = {{
    {kOptionTv, "TV:", kTvEntries},
    {kOptionHbrake, "HBRAKE:", kHbrakeEntries},
    {kOptionRds, "RDS:", kRdsEntries},
    {kOptionTft, "TFT:", kTftEntries},
    {kOptionDvd, "DVD:", kDvdEntries},
    {kOptionRadio, "RADIO:", kRadioEntries},
    {kOptionAudio, "AUDIO:", kAudioEntries},
}};

}  // namespace velkor
