// The record file: JSON Lines that many runs append to, side by side.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace velkor {

// Whether the record file can be opened for appending (it is created when missing), so that a
// run whose record would be lost can refuse to start; false with the reason in `error`.
bool CanAppendRecord(const std::filesystem::path& file, std::string& error);

// Appends `line` with a single write to the file opened for appending, so that lines of runs
// side by side never interleave; false with the reason in `error`.
bool AppendRecord(const std::filesystem::path& file, std::string_view line, std::string& error);

}  // namespace velkor
