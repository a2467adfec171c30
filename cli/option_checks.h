// Checks of option values that say in plain words what the option takes. CLI11 puts the
// option's name before a check's message, so each message reads on from it: "--model" "must be
// r3360 or j5" (usage_errors.cpp joins the two).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

namespace velkor {

// One of `names`, in any case, which becomes its number for the option's variable. Anything
// else, the numbers themselves included, is refused: "must be stm8, nec or m3".
CLI::Validator OneOfNames(const std::vector<std::pair<std::string, int>>& names);

// A whole number from `lowest` to `highest`, counting `unit` when not empty: "must be a whole
// number of seconds from 1 to 3600".
CLI::Validator WholeNumberFrom(unsigned lowest, unsigned highest, const std::string& unit);

}  // namespace velkor
