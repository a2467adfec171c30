// The --model option shared by the commands that talk to a head unit.
#pragma once

#include <map>
#include <string>

#include <CLI/CLI.hpp>

#include "settings/unit_types.h"

namespace velkor {

inline CLI::Option* AddModelOption(CLI::App& command, AppType& model) {
    static const std::map<std::string, AppType> kNames = {{"r3360", kAppTypeR3360},
                                                          {"j5", kAppTypeJ5}};
    return command
        .add_option("--model", model,
                    "head-unit model: r3360 (ASCII commands, 19200 baud) or j5 (frames, 38400 "
                    "baud)")
        ->required()
        ->transform(CLI::CheckedTransformer(kNames, CLI::ignore_case).description(""))
        ->option_text("r3360|j5");
}

}  // namespace velkor
