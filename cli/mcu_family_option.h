// The --mcu option shared by the commands that handle firmware of one MCU family.
#pragma once

#include <map>
#include <string>

#include <CLI/CLI.hpp>

#include "settings/unit_types.h"

namespace velkor {

inline CLI::Option* AddMcuOption(CLI::App& command, McuType& mcu) {
    static const std::map<std::string, McuType> kNames = {
        {"stm8", kMcuTypeStm8}, {"nec", kMcuTypeNec}, {"m3", kMcuTypeM3}};
    return command.add_option("--mcu", mcu, "MCU family: stm8 (S-record), nec or m3 (Intel HEX)")
        ->required()
        ->transform(CLI::CheckedTransformer(kNames, CLI::ignore_case).description(""))
        ->option_text("stm8|nec|m3");
}

}  // namespace velkor
