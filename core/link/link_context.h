// What every link object shares: the one open serial port, the time source, the receive byte
// and the MCU's last replies. The front end creates one and hands it to all link objects;
// tests build a fresh one each.
#pragma once

#include <cstdint>
#include <filesystem>
#include <utility>

#include "link/mcu_replies.h"
#include "platform/clock.h"
#include "platform/serial_port.h"
#include "report/report.h"
#include "settings/port_name.h"

namespace velkor {

enum class ByteRead { kNone, kReceived, kFailed };

struct LinkContext {
    LinkContext(SerialPort& serial_port, Clock& time_source, Report& session_report,
                std::filesystem::path settings = {})
        : port(serial_port),
          clock(time_source),
          report(session_report),
          settings_file(std::move(settings)) {}

    // Takes at most one queued byte into `receive_byte`, without waiting.
    ByteRead PollByte() {
        const int count = port.Read(&receive_byte, 1);
        if (count < 0) {
            return ByteRead::kFailed;
        }
        return count == 1 ? ByteRead::kReceived : ByteRead::kNone;
    }

    std::uint32_t ElapsedSince(std::uint32_t start) { return clock.NowMs() - start; }

    SerialPort& port;  // the port handle of every link object
    Clock& clock;
    Report& report;  // the session's log and progress
    // Where the device name came from, for the advice when it cannot be opened.
    std::string_view port_source = kPortSourceSettings;
    // Where "ComPort" may name the device behind "COM2:"; empty: no settings file.
    std::filesystem::path settings_file;
    std::uint8_t receive_byte = 0;
    McuReplies replies;
};

}  // namespace velkor
