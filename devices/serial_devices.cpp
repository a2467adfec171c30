#include "devices/serial_devices.h"

#include <libudev.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string_view>
#include <system_error>

#include "platform/trusted_links.h"

namespace velkor {
namespace {

constexpr std::string_view kByIdFolder = "/dev/serial/by-id/";

struct UdevUnref {
    void operator()(udev* handle) const { udev_unref(handle); }
    void operator()(udev_enumerate* handle) const { udev_enumerate_unref(handle); }
    void operator()(udev_device* handle) const { udev_device_unref(handle); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevUnref>;

std::string TextOf(const char* value) {
    return value != nullptr ? std::string(value) : std::string();
}

// The driver of the nearest parent that has one; the kernel's own serial port layer
// ("serial-base": drivers "port" and "ctrl") says nothing about the hardware and is passed
// over. Parents are owned by their child and need no unref.
std::string DriverOf(udev_device* device) {
    for (udev_device* parent = udev_device_get_parent(device); parent != nullptr;
         parent = udev_device_get_parent(parent)) {
        const char* subsystem = udev_device_get_subsystem(parent);
        if (subsystem != nullptr && std::string_view(subsystem) == "serial-base") {
            continue;
        }
        if (const char* driver = udev_device_get_driver(parent)) {
            return driver;
        }
    }
    return {};
}

std::optional<UsbIdentity> UsbIdentityOf(udev_device* device) {
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device");
    if (usb == nullptr) {
        return std::nullopt;
    }
    return UsbIdentity{
        TextOf(udev_device_get_sysattr_value(usb, "idVendor")),
        TextOf(udev_device_get_sysattr_value(usb, "idProduct")),
        TextOf(udev_device_get_sysattr_value(usb, "serial")),
        TextOf(udev_device_get_sysattr_value(usb, "product")),
        TextOf(udev_device_get_sysattr_value(usb, "manufacturer")),
    };
}

// The device each /dev/serial/by-id/ link leads to. Read from the links themselves, for
// machines where udev keeps no database of them (a container, say) but the links exist.
std::map<std::string, std::string> ByIdLinks() {
    std::map<std::string, std::string> links;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(kByIdFolder, error)) {
        std::error_code resolve_error;
        const auto target = std::filesystem::canonical(entry.path(), resolve_error);
        if (!resolve_error) {
            links.emplace(target.string(), entry.path().string());
        }
    }
    return links;
}

// `device` may be null: the links alone then tell.
std::string ByIdOf(udev_device* device, const std::map<std::string, std::string>& links,
                   const std::string& node) {
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(
        entry, device != nullptr ? udev_device_get_devlinks_list_entry(device) : nullptr) {
        const std::string_view link = udev_list_entry_get_name(entry);
        if (link.starts_with(kByIdFolder)) {
            return std::string(link);
        }
    }
    const auto found = links.find(node);
    return found != links.end() ? found->second : std::string();
}

// A serial_core port reports its UART type; 0 is an empty legacy slot such as most ttyS.
bool IsEmptyUartSlot(udev_device* device) {
    const char* type = udev_device_get_sysattr_value(device, "type");
    return type != nullptr && std::string_view(type) == "0";
}

}  // namespace

bool ListSerialDevices(std::vector<SerialDevice>& devices, std::string& error) {
    devices.clear();
    UdevPtr<udev> context(udev_new());
    UdevPtr<udev_enumerate> enumerate(context ? udev_enumerate_new(context.get()) : nullptr);
    if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "tty") < 0) {
        error = "udev cannot be asked for the serial devices";
        return false;
    }
    if (const int result = udev_enumerate_scan_devices(enumerate.get()); result < 0) {
        error = "udev cannot list the serial devices: ";
        error += std::strerror(-result);
        return false;
    }
    const auto links = ByIdLinks();
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
        UdevPtr<udev_device> device(
            udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
        if (!device || udev_device_get_parent(device.get()) == nullptr ||
            IsEmptyUartSlot(device.get())) {
            continue;
        }
        const char* node = udev_device_get_devnode(device.get());
        if (node == nullptr) {
            continue;
        }
        SerialDevice found;
        found.device = node;
        found.by_id = ByIdOf(device.get(), links, found.device);
        found.driver = DriverOf(device.get());
        found.usb = UsbIdentityOf(device.get());
        devices.push_back(std::move(found));
    }

    std::vector<std::string> nodes;
    for (const SerialDevice& device : devices) {
        nodes.push_back(device.device);
    }
    const auto uses = FindPortHolders(nodes);
    for (std::size_t i = 0; i < devices.size(); ++i) {
        devices[i].use = uses[i];
    }
    return true;
}

std::optional<SerialDevice> IdentifySerialDevice(const std::string& port) {
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(port, error);
    struct stat status {};
    if (error || ::stat(real.c_str(), &status) != 0 || !S_ISCHR(status.st_mode)) {
        return std::nullopt;
    }
    SerialDevice found;
    found.device = real.string();
    UdevPtr<udev> context(udev_new());
    // A pseudo-terminal has no entry under /sys/dev/char, so udev finds none for it.
    UdevPtr<udev_device> device(
        context ? udev_device_new_from_devnum(context.get(), 'c', status.st_rdev) : nullptr);
    found.by_id = ByIdOf(device.get(), ByIdLinks(), found.device);
    if (device) {
        found.driver = DriverOf(device.get());
        found.usb = UsbIdentityOf(device.get());
    }
    return found;
}

std::string SlotDeviceRefusal(const std::string& link, bool allow_pty) {
    struct stat info {};
    if (::lstat(link.c_str(), &info) != 0) {
        return "it is gone";
    }
    if (S_ISLNK(info.st_mode) && !IsTrustedLinkOwner(info.st_uid)) {
        return "the link belongs to neither root nor this user";
    }
    std::error_code error;
    const std::string real = std::filesystem::canonical(link, error).string();
    if (error || ::stat(real.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) {
        return "it leads to no character device";
    }
    // The kernel's pseudo-terminal slaves; they have no entry under /sys/dev/char.
    constexpr unsigned kFirstPtyMajor = 136;
    constexpr unsigned kLastPtyMajor = 143;
    if (major(info.st_rdev) >= kFirstPtyMajor && major(info.st_rdev) <= kLastPtyMajor) {
        return allow_pty ? std::string()
                         : real + " is a pseudo-terminal (--allow-pty takes simulated units)";
    }
    UdevPtr<udev> context(udev_new());
    UdevPtr<udev_device> device(
        context ? udev_device_new_from_devnum(context.get(), 'c', info.st_rdev) : nullptr);
    const char* subsystem = device ? udev_device_get_subsystem(device.get()) : nullptr;
    if (subsystem == nullptr || std::string_view(subsystem) != "tty" ||
        udev_device_get_parent(device.get()) == nullptr || IsEmptyUartSlot(device.get())) {
        return real + " is not a serial device";
    }
    return {};
}

}  // namespace velkor
