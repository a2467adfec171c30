#include "settings/settings_location.h"

#include <string>
#include <system_error>

namespace velkor {

std::filesystem::path SettingsFilePath(const std::filesystem::path& executable) {
    // Only the last component's extension counts: a dot in a folder name ("/opt/v1.2/tool")
    // must not cut the path, and an executable usually has no extension at all.
    std::filesystem::path settings = executable;
    settings.replace_extension(".ini");
    return settings;
}

std::filesystem::path ProgramDirectory(const std::filesystem::path& settings_file) {
    const std::string& text = settings_file.native();
    const std::size_t slash = text.rfind('/');
    return std::filesystem::path(slash == std::string::npos ? std::string()
                                                            : text.substr(0, slash));
}

std::filesystem::path RunningExecutablePath(const std::filesystem::path& self_link) {
    std::error_code error;
    std::filesystem::path executable = std::filesystem::read_symlink(self_link, error);
    return error ? std::filesystem::path() : executable;
}

}  // namespace velkor
