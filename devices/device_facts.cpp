#include "devices/device_facts.h"

#include "devices/serial_devices.h"

namespace velkor {

DeviceFacts DeviceFactsOf(const std::string& port) {
    DeviceFacts facts;
    const auto device = IdentifySerialDevice(port);
    if (!device) {
        return facts;
    }
    facts.path = device->device;
    if (!device->by_id.empty()) {
        facts.by_id = device->by_id;
    }
    if (device->usb && !device->usb->serial.empty()) {
        facts.usb_serial = device->usb->serial;
    }
    return facts;
}

}  // namespace velkor
