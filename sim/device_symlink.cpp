#include "sim/device_symlink.h"

#include <unistd.h>

namespace velkor::sim {

DeviceSymlink::~DeviceSymlink() {
    Remove();
}

void DeviceSymlink::Remove() {
    if (link_.empty()) {
        return;
    }
    std::error_code ignored;
    if (std::filesystem::read_symlink(link_, ignored) == device_) {
        std::filesystem::remove(link_, ignored);
    }
    link_.clear();
}

bool DeviceSymlink::Create(const std::filesystem::path& link, const std::filesystem::path& device,
                           std::string& error) {
    std::error_code failure;
    // A missing link reports an error here too; real trouble shows when the link is made.
    const auto status = std::filesystem::symlink_status(link, failure);
    if (std::filesystem::exists(status) && !std::filesystem::is_symlink(status)) {
        error = link.string() + " exists and is not a symbolic link; it is left alone";
        return false;
    }
    // Made whole under a name of its own in the same folder, then renamed over the link in one
    // step, so that a watcher of the folder never sees the name missing or half made. The
    // leading dot keeps the temporary name out of a watcher's pattern for device links.
    const std::filesystem::path temporary =
        link.parent_path() /
        ("." + link.filename().string() + ".velkor-sim-" + std::to_string(::getpid()));
    failure.clear();
    // Left behind by an earlier process of the same number that did not end cleanly.
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(temporary, failure))) {
        std::filesystem::remove(temporary, failure);
    }
    failure.clear();
    std::filesystem::create_symlink(device, temporary, failure);
    if (!failure) {
        std::filesystem::rename(temporary, link, failure);
        if (failure) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
        }
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
