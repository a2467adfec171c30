// What velkor-flash says when its command line is wrong: in plain words, naming the option,
// where CLI11 would show its own wording ("Check j6 value in {j5->2,r3360->1} ... FAILED").
#pragma once

#include <string>

#include <CLI/CLI.hpp>

namespace velkor {

// "velkor-flash: " and the reason on one line, then where to read the command's options; for
// App::failure_message of the program's App.
std::string UsageMessage(const CLI::App* app, const CLI::Error& error);

}  // namespace velkor
