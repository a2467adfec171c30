// The serial device behind a port name such as "COM2:", and what an open failure means in
// words a technician can act on.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace velkor {

// Key in section "UpdateConfig" of the settings file that names the MCU's serial device.
inline constexpr std::string_view kComPortKey = "ComPort";

// Longest device path taken from the settings file.
inline constexpr std::size_t kComPortCapacity = 255;

// The device to open for `port_name`. A name "COMn:" (n from 1, the colon optional, any case)
// is the device named by "ComPort" in the settings file, or /dev/ttyS(n-1) without it; an
// empty `settings_file` skips the lookup. Any other name is taken as a device path.
std::string ResolvePortDevice(std::string_view port_name,
                              const std::filesystem::path& settings_file);

// Where the device name came from, so that the advice names what the user can correct.
inline constexpr std::string_view kPortSourceSettings = "the \"ComPort\" setting";
inline constexpr std::string_view kPortSourceCommandLine = "--port";

// One log line, ending "\r\n", saying which device could not be opened and why, for the
// errno values that Open of a serial port returns; the advice names `source`. A device named
// on the command line that is a link, such as /dev/serial/by-id/..., is named with the device
// it leads to; the tool's window names its setting as it is.
std::string DescribeOpenFailure(int error, const std::string& device,
                                std::string_view source = kPortSourceSettings);

}  // namespace velkor
