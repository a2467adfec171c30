// velkor-flash station: every unit plugged into a fixture is updated, verified and recorded,
// each slot on a cycle of its own: waiting for a unit, updating it, showing the result,
// waiting for it to be taken away.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "runs/run_options.h"
#include "runs/run_stop.h"
#include "settings/unit_types.h"
#include "station/web/station_web.h"

namespace velkor {

struct StationOptions {
    AppType model = kAppTypeUndetermined;
    McuType mcu = kMcuTypeUndetermined;
    std::string file;                // one file for every unit, or
    std::string firmware_dir;        // the file of each unit chosen from this folder
    std::vector<std::string> ports;  // fixed slots, or
    std::string ports_from;
    std::string watch;  // a slot for every device link in this folder
    std::string match;  // a shell pattern the links' names must match; empty: all
    // Watched links to pseudo-terminals (simulated units) are slots too; otherwise only serial
    // devices with hardware behind them are.
    bool allow_pty = false;
    // A link that appears while this many slots are watched is not taken.
    unsigned max_slots = 64;
    RecordOptions record;
    std::string log_dir;  // a log file per slot; empty: none
    std::uint32_t poll_interval_ms = 1000;
    bool always = false;     // program units that already hold the file
    unsigned max_units = 0;  // end after this many unit cycles; 0: never
    bool slave = false;
    bool verify = true;
    unsigned connect_attempts = 1;
    std::optional<HttpListen> http;  // the web page and metrics; none without
};

// Runs the station until `stop` drains or stops it, or until --max-units cycles ended. The
// exit status: 0 when every unit was updated or up to date, otherwise the highest among the
// units; 128 plus the signal when a signal ended the station.
int RunStation(const StationOptions& options, RunStop& stop);

}  // namespace velkor
