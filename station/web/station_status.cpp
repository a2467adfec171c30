#include "station/web/station_status.h"

#include <algorithm>
#include <iterator>

#include "platform/text.h"

namespace velkor {

StationStatus::StationStatus(std::string station, std::string version)
    : started_steady_(std::chrono::steady_clock::now()) {
    now_.station = std::move(station);
    now_.version = std::move(version);
    now_.started = std::chrono::system_clock::now();
}

SlotStatus* StationStatus::Find(std::size_t id) {
    const auto found = std::find_if(now_.slots.begin(), now_.slots.end(),
                                    [id](const SlotStatus& slot) { return slot.id == id; });
    return found == now_.slots.end() ? nullptr : &*found;
}

void StationStatus::Changed() {
    ++now_.sequence;
    changed_.notify_all();
}

std::size_t StationStatus::AddSlot(const std::string& name) {
    std::lock_guard lock(mutex_);
    SlotStatus& slot = now_.slots.emplace_back();
    slot.id = next_id_++;
    slot.name = name;
    slot.state_since = std::chrono::system_clock::now();
    Changed();
    return slot.id;
}

void StationStatus::RemoveSlot(std::size_t id) {
    std::lock_guard lock(mutex_);
    std::erase_if(now_.slots, [id](const SlotStatus& slot) { return slot.id == id; });
    Changed();
}

void StationStatus::SetState(std::size_t id, SlotState state, std::string_view version) {
    std::lock_guard lock(mutex_);
    SlotStatus* slot = Find(id);
    if (slot == nullptr || (slot->state == state && version.empty())) {
        return;
    }
    slot->state = state;
    slot->state_since = std::chrono::system_clock::now();
    slot->percent = -1;
    if (!version.empty()) {
        slot->version = Latin1ToUtf8(version);
    } else if (state == SlotState::kWaiting) {
        slot->version.clear();
    }
    Changed();
}

void StationStatus::SetProgress(std::size_t id, int percent) {
    std::lock_guard lock(mutex_);
    SlotStatus* slot = Find(id);
    if (slot == nullptr || slot->percent == percent) {
        return;
    }
    slot->percent = percent;
    Changed();
}

void StationStatus::UnitDone(std::size_t id, const std::string& result, const std::string& reason,
                             double seconds, nlohmann::ordered_json record) {
    std::lock_guard lock(mutex_);
    if (SlotStatus* slot = Find(id)) {
        slot->result = result;
        slot->reason = reason;
        slot->result_at = std::chrono::system_clock::now();
        slot->unit_seconds = seconds;
    }
    ++now_.results[result];
    UpdateTimes& times = now_.update_times;
    const auto bucket = std::lower_bound(std::begin(kUpdateSecondsBuckets),
                                         std::end(kUpdateSecondsBuckets), seconds);
    ++times.buckets[static_cast<std::size_t>(bucket - std::begin(kUpdateSecondsBuckets))];
    times.sum += seconds;
    ++times.count;
    now_.records.push_back(std::make_shared<const nlohmann::ordered_json>(std::move(record)));
    if (now_.records.size() > kRecentRecords) {
        now_.records.pop_front();
    }
    ++now_.records_seen;
    Changed();
}

void StationStatus::SetStopping() {
    std::lock_guard lock(mutex_);
    now_.stopping = true;
    Changed();
}

StationSnapshot StationStatus::Snapshot(bool records) const {
    std::lock_guard lock(mutex_);
    StationSnapshot copy;
    if (records) {
        copy = now_;
    } else {
        copy.station = now_.station;
        copy.version = now_.version;
        copy.started = now_.started;
        copy.slots = now_.slots;
        copy.results = now_.results;
        copy.update_times = now_.update_times;
        copy.records_seen = now_.records_seen;
        copy.sequence = now_.sequence;
        copy.stopping = now_.stopping;
    }
    copy.seconds_running =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_steady_).count();
    return copy;
}

std::uint64_t StationStatus::WaitForChange(std::uint64_t sequence,
                                           std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return closed_ || now_.sequence != sequence; });
    return now_.sequence;
}

void StationStatus::Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
}

bool StationStatus::closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

}  // namespace velkor
