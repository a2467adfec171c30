#include "cli/ports_command.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/command_help.h"
#include "devices/serial_devices.h"
#include "platform/text.h"
#include "record/record_json.h"

namespace velkor {
namespace {

constexpr int kPortsListed = 0;
constexpr int kPortsNotListed = 1;

std::string UseText(const PortUseReport& use) {
    switch (use.use) {
        case PortUse::kFree:
            return "no";
        case PortUse::kUnknown:
            return "unknown (the open files of other users' programs are hidden from this one)";
        case PortUse::kHeld:
            break;
    }
    return "yes, by " + HoldersText(use.holders);
}

void PrintText(const std::vector<SerialDevice>& devices) {
    if (devices.empty()) {
        std::printf("No serial device found.\n");
        return;
    }
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const SerialDevice& device = devices[i];
        // An adapter names itself: its texts are shown escaped, as the unit's are.
        const auto shown = [](const std::string& value) {
            return value.empty() ? std::string("-") : EscapeControls(value);
        };
        std::string text = i > 0 ? "\n" : "";
        text += EscapeControls(device.device);
        text += "\n  by-id:  ";
        text += shown(device.by_id);
        text += "\n  driver: ";
        text += shown(device.driver);
        if (device.usb) {
            const UsbIdentity& usb = *device.usb;
            text += "\n  usb:    ";
            text += EscapeControls(usb.vendor_id);
            text += ':';
            text += EscapeControls(usb.product_id);
            text += ", serial ";
            text += shown(usb.serial);
            text += ", \"";
            text += EscapeControls(usb.product);
            text += '"';
        }
        text += "\n  in use: ";
        text += UseText(device.use);
        text += '\n';
        std::fputs(text.c_str(), stdout);
    }
}

nlohmann::json TextOrNull(const std::string& text) {
    return text.empty() ? nlohmann::json(nullptr) : nlohmann::json(text);
}

void PrintJson(const std::vector<SerialDevice>& devices) {
    nlohmann::json list = nlohmann::json::array();
    for (const SerialDevice& device : devices) {
        nlohmann::json entry = {
            {"device", device.device},
            {"by_id", TextOrNull(device.by_id)},
            {"driver", TextOrNull(device.driver)},
            {"usb", nullptr},
            {"in_use", nullptr},
            {"holders", nlohmann::json::array()},
        };
        if (device.usb) {
            const UsbIdentity& usb = *device.usb;
            entry["usb"] = {
                {"vendor_id", usb.vendor_id},
                {"product_id", usb.product_id},
                {"serial", TextOrNull(usb.serial)},
                {"product", TextOrNull(usb.product)},
                {"manufacturer", TextOrNull(usb.manufacturer)},
            };
        }
        if (device.use.use != PortUse::kUnknown) {
            entry["in_use"] = device.use.use == PortUse::kHeld;
        }
        for (const PortHolder& holder : device.use.holders) {
            entry["holders"].push_back({{"pid", holder.pid}, {"program", holder.program}});
        }
        list.push_back(std::move(entry));
    }
    // A product text is whatever the adapter says: bytes that are no UTF-8 are replaced
    // rather than ending the listing, and control characters are written as escapes.
    std::cout << EscapeJsonControls(
                     list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace))
              << '\n';
}

}  // namespace

void AddPortsCommand(CLI::App& app, int& exit_code) {
    auto json = std::make_shared<bool>(false);
    CLI::App* command = app.add_subcommand("ports");
    SetCommandHelp(
        *command,
        {.summary = "list the serial devices of this machine",
         .description =
             "List the serial devices of this machine: device, its /dev/serial/by-id/ name, "
             "driver, for USB adapters vendor and product id, serial number and product text, "
             "and whether another program holds it now. No device is opened and no byte is sent.",
         .exits = {{"0", "listed (also when there is none)"},
                   {"1", "the devices could not be listed"},
                   kBadUsageStatus},
         .examples = {"velkor-flash ports", "velkor-flash ports --json"}});
    command->add_flag("--json", *json, "the list as a JSON array on standard output");
    command->callback([json, &exit_code] {
        std::vector<SerialDevice> devices;
        if (std::string error; !ListSerialDevices(devices, error)) {
            std::fprintf(stderr, "velkor-flash: %s\n", error.c_str());
            exit_code = kPortsNotListed;
            return;
        }
        if (*json) {
            PrintJson(devices);
        } else {
            PrintText(devices);
        }
        std::fflush(stdout);
        exit_code = kPortsListed;
    });
}

}  // namespace velkor
