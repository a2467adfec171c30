#include "devices/same_device.h"

#include <sys/stat.h>

#include <filesystem>

namespace velkor {

std::string FileKey(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) {
            std::string key = "node ";
            key += std::to_string(info.st_rdev);
            return key;
        }
        std::string key = "file ";
        key += std::to_string(info.st_dev);
        key += ':';
        key += std::to_string(info.st_ino);
        return key;
    }
    std::error_code error;
    const auto resolved = std::filesystem::weakly_canonical(path, error);
    std::string key = "path ";
    key += error ? path : resolved.string();
    return key;
}

std::optional<std::pair<std::string, std::string>> FindSameDevice(
    const std::vector<std::string>& devices) {
    std::vector<std::string> keys;
    keys.reserve(devices.size());
    for (std::size_t i = 0; i < devices.size(); ++i) {
        keys.push_back(FileKey(devices[i]));
        for (std::size_t j = 0; j < i; ++j) {
            if (keys[j] == keys[i]) {
                return std::make_pair(devices[j], devices[i]);
            }
        }
    }
    return std::nullopt;
}

}  // namespace velkor
