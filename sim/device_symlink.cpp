#include "sim/device_symlink.h"

namespace velkor::sim {

DeviceSymlink::~DeviceSymlink() {
    if (link_.empty()) {
        return;
    }
    std::error_code ignored;
    if (std::filesystem::read_symlink(link_, ignored) == device_) {
        std::filesystem::remove(link_, ignored);
    }
}

bool DeviceSymlink::Create(const std::filesystem::path& link, const std::filesystem::path& device,
                           std::string& error) {
    std::error_code failure;
    // A missing link reports an error here too; real trouble shows when the link is made.
    const auto status = std::filesystem::symlink_status(link, failure);
    failure.clear();
    if (std::filesystem::exists(status)) {
        if (!std::filesystem::is_symlink(status)) {
            error = link.string() + " exists and is not a symbolic link; it is left alone";
            return false;
        }
        std::filesystem::remove(link, failure);
    }
    if (!failure) {
        std::filesystem::create_symlink(device, link, failure);
    }
    if (failure) {
        error = "cannot make the link " + link.string() + ": " + failure.message();
        return false;
    }
    link_ = link;
    device_ = device;
    return true;
}

}  // namespace velkor::sim
