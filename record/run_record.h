// What one run of velkor-flash, or one update or APPLY of the window, did to which unit with
// which file: the facts its record line and its --json object are made of. Each run fills its
// own, so that several runs side by side never share one.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "procedures/programming_state.h"
#include "procedures/stream_outcome.h"
#include "session/update_verify.h"
#include "settings/unit_types.h"

namespace velkor {

// The firmware file of a run.
struct FileFacts {
    std::string path;
    // None when the file could not be read.
    std::optional<std::uint64_t> size;
    std::optional<std::string> sha256;  // 64 lower-case hexadecimal digits
    // The file checksum, when the check computed a valid one.
    std::optional<std::uint32_t> checksum;
    FileVerdict verdict = FileVerdict::kNotChecked;
};

// The device behind the port a run was given, as found when the run began.
struct DeviceFacts {
    // The device itself, links such as a /dev/serial/by-id/ name followed; none when the port
    // names nothing.
    std::optional<std::string> path;
    std::optional<std::string> by_id;       // its /dev/serial/by-id/ name
    std::optional<std::string> usb_serial;  // the serial number of its USB adapter
};

// Unit options by the option panel's labels and entries, for example {"TV", "DVBT"}.
using NamedOptions = std::vector<std::pair<std::string, std::string>>;

struct RunRecord {
    // "write", "config" or "query"; the window's "update" or "apply".
    std::string command;
    std::chrono::system_clock::time_point time;  // when the run started
    std::uint32_t duration_ms = 0;
    std::string tool_version;
    std::string host;
    std::string station;  // where the run was made: the host name unless named otherwise
    std::optional<std::string> operator_name;
    // The station's slot the unit sat in; none outside a station.
    std::optional<std::string> slot;
    std::string port;
    DeviceFacts device;
    AppType model = kAppTypeUndetermined;
    McuType family = kMcuTypeUndetermined;
    bool slave = false;

    // What the MCU reported before anything was written, its texts as raw bytes; none where
    // the run did not get that far.
    std::optional<std::string> mcu_version_before;
    std::optional<std::string> mcu_information_before;
    std::optional<std::uint32_t> mcu_checksum_before;

    std::optional<FileFacts> file;
    bool forced = false;
    // Programmed as a unit left in its boot loader: without a version answer or the file check.
    bool recovered = false;
    // The record stream of a run that programmed, or tried to.
    std::optional<StreamOutcome> programming;
    // None where the run did not verify; `verify_skipped` when --no-verify said so.
    std::optional<VerifyOutcome> verify;
    bool verify_skipped = false;

    std::optional<NamedOptions> options_read;
    std::optional<NamedOptions> options_written;

    // A word for the outcome, such as "updated" or "verify_failed", and the exit status of
    // velkor-flash that goes with it.
    std::string result;
    int exit_code = 0;
};

// A record of `command` started now by this version of the tool on this host, as its station.
RunRecord StartRecord(std::string command);

}  // namespace velkor
