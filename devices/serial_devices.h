// The serial devices of the machine, as udev knows them, for velkor-flash ports.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "devices/port_holders.h"

namespace velkor {

struct UsbIdentity {
    std::string vendor_id;   // four hexadecimal digits, for example "0403"
    std::string product_id;  // for example "6001"
    std::string serial;      // the adapter's serial number; empty when it has none
    std::string product;     // the adapter's own product text
    std::string manufacturer;
};

struct SerialDevice {
    std::string device;  // for example "/dev/ttyUSB0"
    std::string by_id;   // its /dev/serial/by-id/ link; empty when it has none
    std::string driver;  // for example "ftdi_sio"; empty when udev names none
    std::optional<UsbIdentity> usb;
    PortUseReport use;
};

// Every tty with hardware behind it: USB adapters, USB modems and boards, UARTs. Left out are
// the virtual terminals, pseudo-terminals and the like, which have no parent device, and
// legacy UART slots the kernel found no UART in (type 0). Nothing is opened; no byte is sent.
// False, with `error` saying why, when udev cannot be asked.
bool ListSerialDevices(std::vector<SerialDevice>& devices, std::string& error);

// The device `port` names, links followed, with its by-id name and USB identity where it has
// them; nothing opened, holders not looked for. None when `port` names no device node. A
// pseudo-terminal, or a machine where udev cannot be asked, gives the path alone.
std::optional<SerialDevice> IdentifySerialDevice(const std::string& port);

// Why the device `link` leads to may not be a slot of a station that watches a folder, or empty
// when it may: a tty with hardware behind it (a USB adapter, a board, a UART), reached through
// a link that root or the running user owns, never /dev/null, /dev/tty, a console or a
// pseudo-terminal another program acts a unit on; pseudo-terminals (simulated units) only with
// `allow_pty`.
std::string SlotDeviceRefusal(const std::string& link, bool allow_pty);

}  // namespace velkor
