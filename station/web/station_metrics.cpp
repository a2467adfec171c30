#include "station/web/station_metrics.h"

#include <charconv>
#include <iterator>

#include "platform/text.h"

namespace velkor {
namespace {

// Every result a unit can end with is shown from the start, at 0, so that a rate over the
// first unit of a kind is right; a result not listed here shows once it happens.
constexpr const char* kResults[] = {
    "updated", "up_to_date", "not_confirmed", "program_failed", "verify_failed", "interrupted",
    "no_file", "no_version", "port_failed",   "no_log",         "failed"};

constexpr SlotState kStates[] = {SlotState::kWaiting, SlotState::kUpdating, SlotState::kDone,
                                 SlotState::kRemoval};

std::string Number(double value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

// A label value. A name with control characters or bytes that are not UTF-8 shows them
// escaped, as on the terminal; any other name as it is. Then the format's own escapes.
std::string LabelValue(std::string_view text) {
    std::string doubled;  // what EscapeControls makes of a name it leaves alone
    for (const char c : text) {
        doubled += c;
        if (c == '\\') {
            doubled += c;
        }
    }
    std::string shown = EscapeControls(text);
    if (shown == doubled) {
        shown = text;
    }
    std::string value;
    for (const char c : shown) {
        if (c == '\\' || c == '"') {
            value += '\\';
        }
        value += c;
    }
    return value;
}

void Family(std::string& out, const char* name, const char* type, const char* help) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

}  // namespace

std::string StationMetrics(const StationSnapshot& snapshot) {
    std::string out;
    Family(out, "velkor_station_info", "gauge", "The station and its velkor-flash version.");
    out += "velkor_station_info{version=\"" + LabelValue(snapshot.version) + "\",station=\"" +
           LabelValue(snapshot.station) + "\"} 1\n";

    Family(out, "velkor_station_start_time_seconds", "gauge",
           "When the station started, in seconds since the Unix epoch.");
    out += "velkor_station_start_time_seconds " +
           Number(std::chrono::duration<double>(snapshot.started.time_since_epoch()).count()) +
           "\n";

    Family(out, "velkor_station_units_total", "counter", "Units the station finished, by result.");
    std::map<std::string, std::uint64_t> results = snapshot.results;
    for (const char* result : kResults) {
        results.try_emplace(result, 0);
    }
    for (const auto& [result, count] : results) {
        out += "velkor_station_units_total{result=\"" + LabelValue(result) + "\"} " +
               std::to_string(count) + "\n";
    }

    Family(out, "velkor_station_slots", "gauge", "Slots of the station, by state.");
    for (const SlotState state : kStates) {
        std::size_t count = 0;
        for (const SlotStatus& slot : snapshot.slots) {
            count += slot.state == state;
        }
        out += "velkor_station_slots{state=\"" + std::string(SlotStateWord(state)) + "\"} " +
               std::to_string(count) + "\n";
    }

    Family(out, "velkor_station_update_seconds", "histogram",
           "Time a unit took, from its version query to its record.");
    const UpdateTimes& times = snapshot.update_times;
    std::uint64_t cumulative = 0;
    for (std::size_t i = 0; i < std::size(kUpdateSecondsBuckets); ++i) {
        cumulative += times.buckets[i];
        out += "velkor_station_update_seconds_bucket{le=\"" + Number(kUpdateSecondsBuckets[i]) +
               "\"} " + std::to_string(cumulative) + "\n";
    }
    out +=
        "velkor_station_update_seconds_bucket{le=\"+Inf\"} " + std::to_string(times.count) + "\n";
    out += "velkor_station_update_seconds_sum " + Number(times.sum) + "\n";
    out += "velkor_station_update_seconds_count " + std::to_string(times.count) + "\n";
    return out;
}

}  // namespace velkor
