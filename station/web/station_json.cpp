#include "station/web/station_json.h"

#include "record/record_json.h"

namespace velkor {
namespace {

using nlohmann::ordered_json;

ordered_json OrNull(const std::string& text) {
    return text.empty() ? ordered_json(nullptr) : ordered_json(text);
}

ordered_json SlotsObject(const StationSnapshot& snapshot) {
    const auto now = std::chrono::system_clock::now();
    ordered_json object;
    object["station"] = snapshot.station;
    object["version"] = snapshot.version;
    object["started"] = IsoLocalTime(snapshot.started);
    object["running_s"] = snapshot.seconds_running;
    object["stopping"] = snapshot.stopping;
    ordered_json slots = ordered_json::array();
    for (const SlotStatus& slot : snapshot.slots) {
        ordered_json entry;
        entry["name"] = slot.name;
        entry["state"] = std::string(SlotStateWord(slot.state));
        entry["state_s"] = std::chrono::duration<double>(now - slot.state_since).count();
        entry["version"] = OrNull(slot.version);
        entry["percent"] = slot.percent >= 0 ? ordered_json(slot.percent) : ordered_json(nullptr);
        entry["result"] = OrNull(slot.result);
        entry["reason"] = OrNull(slot.reason);
        entry["result_at"] = slot.result.empty() ? ordered_json(nullptr)
                                                 : ordered_json(IsoLocalTime(slot.result_at));
        entry["unit_s"] =
            slot.result.empty() ? ordered_json(nullptr) : ordered_json(slot.unit_seconds);
        slots.push_back(std::move(entry));
    }
    object["slots"] = std::move(slots);
    std::uint64_t updated = 0;
    std::uint64_t up_to_date = 0;
    std::uint64_t units = 0;
    ordered_json results = ordered_json::object();
    for (const auto& [result, count] : snapshot.results) {
        results[result] = count;
        units += count;
        updated += result == "updated" ? count : 0;
        up_to_date += result == "up_to_date" ? count : 0;
    }
    const double hours = snapshot.seconds_running / 3600.0;
    object["totals"] = {{"updated", updated},
                        {"up_to_date", up_to_date},
                        {"failed", units - updated - up_to_date},
                        {"units", units},
                        {"units_per_hour", hours > 0 ? static_cast<double>(units) / hours : 0.0},
                        {"results", std::move(results)}};
    return object;
}

}  // namespace

std::string JsonText(const ordered_json& value) {
    return EscapeJsonControls(value.dump(-1, ' ', false, ordered_json::error_handler_t::replace));
}

std::string StationSlotsJson(const StationSnapshot& snapshot) {
    return JsonText(SlotsObject(snapshot));
}

std::string StationStateJson(const StationSnapshot& snapshot) {
    ordered_json object = SlotsObject(snapshot);
    ordered_json records = ordered_json::array();
    for (const auto& record : snapshot.records) {
        records.push_back(*record);
    }
    object["records"] = std::move(records);
    object["records_seen"] = snapshot.records_seen;
    return JsonText(object);
}

}  // namespace velkor
