// The --mcu option shared by the commands that handle firmware of one MCU family.
#pragma once

#include <CLI/CLI.hpp>

#include "cli/option_checks.h"
#include "settings/unit_types.h"

namespace velkor {

// By name only: the settings file's numbers (1 to 3) are easily mistaken for the models'.
inline CLI::Option* AddMcuOption(CLI::App& command, McuType& mcu) {
    return command.add_option("--mcu", mcu, "MCU family: stm8 (S-record), nec or m3 (Intel HEX)")
        ->required()
        ->transform(OneOfNames({{"stm8", kMcuTypeStm8}, {"nec", kMcuTypeNec}, {"m3", kMcuTypeM3}}))
        ->option_text("stm8|nec|m3");
}

}  // namespace velkor
