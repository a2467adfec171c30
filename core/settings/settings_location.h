// Where the settings file lies: beside the executable, with its name and the extension ".ini".
#pragma once

#include <filesystem>

namespace velkor {

// The executable's path with the extension of its file name replaced by ".ini", or ".ini"
// appended when the name has none ("/opt/velkor/velkor-tool" -> "/opt/velkor/velkor-tool.ini").
std::filesystem::path SettingsFilePath(const std::filesystem::path& executable);

// The settings file's path up to, not including, its last "/"; empty when there is none, so
// that ProgramDirectory(...) + "/" + name always names a file beside the settings file.
std::filesystem::path ProgramDirectory(const std::filesystem::path& settings_file);

// The running executable's path, or an empty path when it cannot be learnt. `self_link` is
// the kernel's link to it, replaceable in tests.
std::filesystem::path RunningExecutablePath(
    const std::filesystem::path& self_link = "/proc/self/exe");

}  // namespace velkor
