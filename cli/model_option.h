// The --model option shared by the commands that talk to a head unit.
#pragma once

#include <CLI/CLI.hpp>

#include "cli/option_checks.h"
#include "settings/unit_types.h"

namespace velkor {

// By name only: the settings file's numbers (1, 2) are easily mistaken for the families'.
inline CLI::Option* AddModelOption(CLI::App& command, AppType& model) {
    return command
        .add_option("--model", model,
                    "head-unit model: r3360 (ASCII commands, 19200 baud) or j5 (frames, 38400 "
                    "baud)")
        ->required()
        ->transform(OneOfNames({{"r3360", kAppTypeR3360}, {"j5", kAppTypeJ5}}))
        ->option_text("r3360|j5");
}

}  // namespace velkor
