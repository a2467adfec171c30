#include "runs/output_paths.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>

#include "devices/same_device.h"

namespace velkor {
namespace {

// A tty with hardware behind it (a UART, a USB adapter), as `ports` lists them: the kernel
// shows it in the tty class with a device of its own. Virtual terminals and pseudo-terminals
// have none.
bool IsSerialDevice(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISCHR(status.st_mode)) {
        return false;
    }
    const std::string node = "/sys/dev/char/" + std::to_string(major(status.st_rdev)) + ":" +
                             std::to_string(minor(status.st_rdev));
    std::error_code error;
    const auto subsystem = std::filesystem::read_symlink(node + "/subsystem", error);
    return !error && subsystem.filename() == "tty" &&
           std::filesystem::exists(node + "/device", error);
}

std::string Refusal(std::string_view option, const std::string& path, std::string_view role) {
    std::string refusal(option);
    refusal += ' ';
    refusal += path;
    refusal += " is ";
    refusal += role;
    refusal += "; name another file";
    return refusal;
}

}  // namespace

std::string WriteRefusal(std::string_view option, const std::string& path,
                         const std::vector<KeptFile>& kept) {
    if (path.empty()) {
        return {};
    }
    const std::string key = FileKey(path);
    for (const KeptFile& file : kept) {
        if (!file.path.empty() && FileKey(file.path) == key) {
            return Refusal(option, path, file.role);
        }
    }
    if (IsSerialDevice(path)) {
        return Refusal(option, path, "a serial device");
    }
    return {};
}

}  // namespace velkor
