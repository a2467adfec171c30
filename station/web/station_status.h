// What the station's web page and metrics show: its slots, the count of each result, the
// last records and the units' update times. The slots' threads change it in a few
// assignments under a lock; the server reads snapshots and waits for changes on its own
// threads, so that no reader ever holds a slot up.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "station/slot_state.h"

namespace velkor {

// Upper bounds, in seconds, of the update time histogram's buckets: an up-to-date unit takes a
// few seconds, a whole M3 image at 38400 baud about 40.
inline constexpr double kUpdateSecondsBuckets[] = {5, 10, 20, 30, 45, 60, 90, 120, 180, 300, 600};
inline constexpr std::size_t kRecentRecords = 50;

struct SlotStatus {
    std::size_t id = 0;
    std::string name;
    SlotState state = SlotState::kWaiting;
    std::chrono::system_clock::time_point state_since;
    std::string version;  // the unit's version reply, as UTF-8
    int percent = -1;     // of the record stream; -1 before it begins
    // The last unit's: its result word ("updated", "program_failed"), why it failed, when it
    // ended and how long it took. Empty before the slot's first unit.
    std::string result;
    std::string reason;
    std::chrono::system_clock::time_point result_at;
    double unit_seconds = 0;
};

struct UpdateTimes {
    std::vector<std::uint64_t> buckets =  // units in each bucket, not cumulative; the last +Inf
        std::vector<std::uint64_t>(std::size(kUpdateSecondsBuckets) + 1);
    double sum = 0;
    std::uint64_t count = 0;
};

struct StationSnapshot {
    std::string station;  // the name records carry
    std::string version;  // of velkor-flash
    std::chrono::system_clock::time_point started;
    double seconds_running = 0;
    std::vector<SlotStatus> slots;  // in the order they came
    std::map<std::string, std::uint64_t> results;
    UpdateTimes update_times;
    // Oldest first, at most kRecentRecords; shared, so that a snapshot copies no record.
    std::deque<std::shared_ptr<const nlohmann::ordered_json>> records;
    std::uint64_t records_seen = 0;  // every record since the start
    std::uint64_t sequence = 0;      // changes since the start
    bool stopping = false;           // a signal asked it to end once its units finish
};

class StationStatus {
  public:
    StationStatus(std::string station, std::string version);

    std::size_t AddSlot(const std::string& name);
    void RemoveSlot(std::size_t id);
    // `version`: the unit's reply as its bytes; empty leaves the one shown.
    void SetState(std::size_t id, SlotState state, std::string_view version = {});
    void SetProgress(std::size_t id, int percent);
    // A unit ended: its result word, why it failed (empty otherwise), its time and its record.
    void UnitDone(std::size_t id, const std::string& result, const std::string& reason,
                  double seconds, nlohmann::ordered_json record);
    // The station ends once the units under way finish.
    void SetStopping();

    // Without `records`, the snapshot's records are left empty, for readers that need only
    // the slots and the counts.
    StationSnapshot Snapshot(bool records = true) const;
    // Blocks until a change after `sequence`, `timeout` or Close(); the sequence reached.
    std::uint64_t WaitForChange(std::uint64_t sequence, std::chrono::milliseconds timeout);
    // Wakes every waiter for good.
    void Close();
    bool closed() const;

  private:
    SlotStatus* Find(std::size_t id);
    void Changed();  // under mutex_

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    StationSnapshot now_;
    std::size_t next_id_ = 0;
    bool closed_ = false;
    const std::chrono::steady_clock::time_point started_steady_;
};

}  // namespace velkor
