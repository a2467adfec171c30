#include "picker/listing_rules.h"

#include <time.h>

#include <limits>

#include "settings/unit_types.h"

namespace velkor {

RowIcon ChooseRowIcon(bool is_folder, bool is_mounted_volume, std::string_view name) {
    if (!is_folder) {
        return RowIcon::kFirmwareFile;
    }
    if (!is_mounted_volume) {
        return RowIcon::kFolder;
    }
    if (name.find("Recycle") != std::string_view::npos) {
        return RowIcon::kRecycleBin;
    }
    if (name.find("Net") != std::string_view::npos) {
        return RowIcon::kNetworkVolume;
    }
    return RowIcon::kStorageVolume;
}

bool FileFitsMcuType(std::string_view name, int mcu_type) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        return false;
    }
    std::string extension(name.substr(dot));
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    const bool is_s19 = extension == ".s19";
    const bool is_hex = extension == ".hex";
    switch (mcu_type) {
        case kMcuTypeStm8:
            return is_s19;
        case kMcuTypeNec:
        case kMcuTypeM3:
            return is_hex;
        default:
            return is_s19 || is_hex;
    }
}

std::string DateText(std::int64_t seconds_since_epoch) {
    if (seconds_since_epoch < std::numeric_limits<time_t>::min() ||
        seconds_since_epoch > std::numeric_limits<time_t>::max()) {
        return kInvalidDateTime;
    }
    const time_t time = static_cast<time_t>(seconds_since_epoch);
    struct tm local {};
    if (::localtime_r(&time, &local) == nullptr) {
        return kInvalidDateTime;
    }
    char text[64];
    const std::size_t length = ::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    if (length == 0) {
        return kInvalidDateTime;
    }
    return std::string(text, length);
}

}  // namespace velkor
