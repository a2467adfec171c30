// The few options velkor-tool takes on its command line. They are answered before Qt starts,
// so --help and --version work on a unit without a display and feed the manual page.
#pragma once

#include <optional>

namespace velkor {

// Answers --help or --version on standard output and returns the exit status; returns nothing
// when the tool should start. Qt's own options (-platform, -display, ...) pass through.
std::optional<int> AnswerInformationOptions(int argc, char** argv);

}  // namespace velkor
