// A stable name for the simulator's pseudo-terminal, whose own name changes from run to run,
// so that a technician's settings ("ComPort") can stay the same.
#pragma once

#include <filesystem>
#include <string>

namespace velkor::sim {

class DeviceSymlink {
  public:
    DeviceSymlink() = default;
    // Removes the link if it still points to the device it was made for.
    ~DeviceSymlink();
    DeviceSymlink(const DeviceSymlink&) = delete;
    DeviceSymlink& operator=(const DeviceSymlink&) = delete;

    // Makes `link` point to `device` in one step (made under a temporary name in the same
    // folder and renamed into place), replacing an older symbolic link there but never any
    // other kind of file. False with `error` set when that is not possible.
    bool Create(const std::filesystem::path& link, const std::filesystem::path& device,
                std::string& error);

    // Removes the link now if it still points to its device, as udev removes a device's links
    // when it goes; the destructor then leaves it alone.
    void Remove();

  private:
    std::filesystem::path link_;
    std::filesystem::path device_;
};

}  // namespace velkor::sim
