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
// When the file could not be opened, errno says why (EMFILE: no descriptor to be had).
bool AppendRecord(const std::filesystem::path& file, std::string_view line, std::string& error);

// As AppendRecord, for the window's "RecordFile": `name` is relative to `folder` with no ".."
// component, links on the way are followed only when root or the running user owns them, the
// file itself is never a link and only ever a regular file (a FIFO would block the window), and
// when missing it is created readable and writable by the folder's group, so that the next
// technician can append to it too.
bool AppendRecordBelow(const std::filesystem::path& folder, std::string_view name,
                       std::string_view line, std::string& error);

}  // namespace velkor
