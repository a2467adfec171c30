#include "settings/model_resolution.h"

#include <system_error>

namespace velkor {
namespace {

int ModelOfFolder(std::string_view name) {
    if (name.size() == 2 && (name[0] == 'J' || name[0] == 'j') && name.substr(1) == "5") {
        return kAppTypeJ5;
    }
    if (name.size() == 5 && (name[0] == 'R' || name[0] == 'r') && name.substr(1) == "3360") {
        return kAppTypeR3360;
    }
    return kAppTypeUndetermined;
}

// Any file-system object counts, a dangling symbolic link included.
bool Exists(const std::filesystem::path& path) {
    std::error_code error;
    const auto status = std::filesystem::symlink_status(path, error);
    return !error && status.type() != std::filesystem::file_type::not_found;
}

}  // namespace

int ResolveModel(std::string_view manager_path, const std::filesystem::path& root) {
    if (!manager_path.empty()) {
        const std::size_t last = manager_path.rfind('/');
        const std::string_view folder =
            last == std::string_view::npos ? std::string_view() : manager_path.substr(0, last);
        const std::size_t before = folder.rfind('/');
        const int model =
            ModelOfFolder(before == std::string_view::npos ? folder : folder.substr(before + 1));
        if (model != kAppTypeUndetermined) {
            return model;
        }
    }
    const bool j5 = Exists(root / "StaticStore/J5/Manager.exe");
    const bool r3360 = Exists(root / "StaticStore/R3360/Manager.exe");
    if (j5 == r3360) {
        return kAppTypeUndetermined;
    }
    return j5 ? kAppTypeJ5 : kAppTypeR3360;
}

}  // namespace velkor
