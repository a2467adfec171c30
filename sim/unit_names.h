// Names and texts on velkor-sim's command line: models, MCU families, escaped texts.
#pragma once

#include <map>
#include <string>

#include <CLI/CLI.hpp>

#include "settings/unit_types.h"
#include "sim/option_text.h"

namespace velkor::sim {

inline CLI::Option* AddModelName(CLI::App& app, AppType& model, const std::string& description) {
    static const std::map<std::string, AppType> kModels = {{"r3360", kAppTypeR3360},
                                                           {"j5", kAppTypeJ5}};
    return app.add_option("--model", model, description)
        ->transform(CLI::CheckedTransformer(kModels, CLI::ignore_case).description(""))
        ->option_text("r3360|j5");
}

inline CLI::Option* AddFamilyName(CLI::App& app, McuType& family, const std::string& description) {
    static const std::map<std::string, McuType> kFamilies = {
        {"stm8", kMcuTypeStm8}, {"nec", kMcuTypeNec}, {"m3", kMcuTypeM3}};
    return app.add_option("--family", family, description)
        ->transform(CLI::CheckedTransformer(kFamilies, CLI::ignore_case).description(""))
        ->option_text("stm8|nec|m3");
}

inline const char* FamilyName(McuType family) {
    switch (family) {
        case kMcuTypeStm8:
            return "stm8";
        case kMcuTypeNec:
            return "nec";
        case kMcuTypeM3:
            return "m3";
        default:
            return "unspecified";
    }
}

// Texts may carry escapes such as \r\n or \xFF; a malformed one is refused while parsing.
inline CLI::Validator EscapedText() {
    return CLI::Validator(
        [](std::string& text) {
            return DecodeEscapes(text) ? std::string() : "malformed escape in '" + text + "'";
        },
        "TEXT");
}

}  // namespace velkor::sim
