#include "station/station.h"

#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "devices/device_facts.h"
#include "devices/port_holders.h"
#include "devices/serial_devices.h"
#include "platform/clock.h"
#include "platform/resource_shortage.h"
#include "record/run_record.h"
#include "runs/command_output.h"
#include "runs/exit_codes.h"
#include "runs/firmware_choice.h"
#include "runs/run_output.h"
#include "runs/several_ports.h"
#include "runs/stream_lines.h"
#include "runs/update_run.h"
#include "station/slot_watcher.h"
#include "station/station_screen.h"
#include "station/unit_probe.h"
#include "station/web/station_status.h"
#include "station/web/station_web.h"

namespace velkor {
namespace {

using SteadyClock = std::chrono::steady_clock;

// A slot's share of its log: the progress of the stream on the board, and the first line of
// the last error, which says why a unit failed; the text goes only to the slot's log file.
class SlotProgress final : public ReportSink {
  public:
    SlotProgress(StationScreen& screen, std::size_t row, StationStatus& status, std::size_t id)
        : screen_(screen), row_(row), status_(status), id_(id) {}
    void AppendText(std::string_view /*text*/) override {}
    void AppendMarked(std::string_view text, LogKind kind) override {
        if (kind == LogKind::kError && !text.empty()) {
            last_error_ = std::string(text.substr(0, text.find_first_of("\r\n")));
        }
    }
    const std::string& last_error() const { return last_error_; }
    void ResetProgress(int /*maximum*/) override {}
    void SetProgress(int /*position*/) override {}
    void AdvanceStream(const StreamProgress& progress) override {
        if (progress.bytes_total > 0) {
            const auto percent = static_cast<int>(progress.bytes_done * 100 / progress.bytes_total);
            screen_.SetProgress(row_, percent);
            status_.SetProgress(id_, percent);
        }
    }

  private:
    StationScreen& screen_;
    std::size_t row_;
    StationStatus& status_;
    std::size_t id_;
    std::string last_error_;
};

// The name the records carry: --station, or the host name.
std::string StationName(const RecordOptions& record) {
    return record.station.empty() ? StartRecord("station").station : record.station;
}

// What a unit showed when its cycle ended: one that shows anything else is another unit, put
// in its place between two polls. What is not known is not compared.
struct UnitMark {
    std::optional<std::string> version;  // the version reply, as its bytes
    std::optional<std::uint32_t> checksum;

    bool ShownOtherwise(const ProbeResult& probe) const {
        return (version && probe.version_text != *version) ||
               (checksum && probe.checksum && *probe.checksum != *checksum);
    }
};

// What the record of a unit's cycle says the unit showed last.
UnitMark MarkOf(const RunRecord& record) {
    if (record.verify) {
        if (!record.verify->version_text) {
            return {};  // programmed, and not seen since: nothing to compare
        }
        return {record.verify->version_text, record.verify->mcu_checksum};
    }
    if (record.programming) {
        return {};  // its firmware changed, or half of it did
    }
    return {record.mcu_version_before, record.mcu_checksum_before};
}

enum class Removal { kGone, kSwapped, kEnded };

struct Slot {
    std::string name;    // the link's name, or the port as given
    std::string device;  // what is opened
    std::string log_file;
    std::size_t row = 0;        // on the screen
    std::size_t status_id = 0;  // in the web page's status
    std::atomic<bool> removed{false};
    std::atomic<bool> finished{false};
    bool fault_said = false;  // the station fault under way has been said (slot thread only)
    std::thread thread;
};

class Station {
  public:
    Station(const StationOptions& options, RunStop& stop)
        : options_(options),
          stop_(stop),
          screen_(stderr),
          status_(StationName(options.record), StartRecord("station").tool_version),
          started_(SteadyClock::now()) {
        if (!options.firmware_dir.empty()) {
            choice_ = std::make_unique<FirmwareChoice>(options.firmware_dir, options.mcu);
        }
        stop_.SetDrainNotice([this] { AnnounceStop(); });
    }
    ~Station() {
        stop_.SetDrainNotice(nullptr);
        status_.Close();
        if (web_) {
            web_->Stop();
        }
    }

    int Run();

  private:
    // False, said on the screen, when no thread could be had for it.
    bool AddSlot(std::string name, std::string device, std::string log_file);
    // The slot's state on the screen and on the web page.
    void ShowState(const Slot& slot, SlotState state, std::string_view version = {});
    void SlotLoop(Slot& slot);
    // Waits for a unit in `slot`; false when the slot or the station ends first.
    bool AwaitUnit(Slot& slot, ProbeResult& probe);
    // Waits until the unit in `slot` is gone; false when the slot or the station ends first.
    // Waits until the unit in `slot` is gone, or shows itself another (a quick swap);
    // kEnded when the slot or the station ends first.
    Removal AwaitRemoval(Slot& slot, const UnitMark& mark);
    // False when the station lacked descriptors or memory of its own for the update: nothing
    // was recorded, and the unit is as it was.
    bool UpdateUnit(Slot& slot, UnitMark& mark);
    // Says, once while it lasts, that the slot could not go on for want of the station's own
    // resources; the unit is not to blame and the slot tries again.
    void StationFault(Slot& slot, int error);
    // A new unit cycle may begin; false once the station drains or has begun all it may.
    bool TakeCycle();
    // A cycle taken that ended in a station fault: it does not count.
    void GiveCycleBack();
    void CycleDone(int exit, const std::string& result);
    bool Ending() const { return stop_.drain_signal() != 0 || ended_.load(); }
    void ShowTotals();
    void ReapFinished();
    int WatchFolder();
    void PrintSummary();
    // Says at once, on the signal's thread, what the first signal does: which units finish
    // first and about how long that takes, and what a second one would do.
    void AnnounceStop();
    // The web page and metrics, when asked for; false when it cannot listen.
    bool Serve();

    const StationOptions& options_;
    RunStop& stop_;
    StationScreen screen_;
    StationStatus status_;
    std::unique_ptr<StationWeb> web_;
    std::unique_ptr<FirmwareChoice> choice_;
    const SteadyClock::time_point started_;
    std::list<Slot> slots_;  // only the main thread adds and removes

    std::mutex mutex_;
    unsigned cycles_begun_ = 0;
    unsigned cycles_ended_ = 0;
    std::map<std::string, unsigned> results_;
    int highest_exit_ = 0;
    std::atomic<bool> ended_{false};
};

bool Station::AddSlot(std::string name, std::string device, std::string log_file) {
    Slot& slot = slots_.emplace_back();
    slot.name = std::move(name);
    slot.device = std::move(device);
    slot.log_file = std::move(log_file);
    slot.row = screen_.AddSlot(slot.name);
    slot.status_id = status_.AddSlot(slot.name);
    try {
        slot.thread = std::thread([this, &slot] {
            SlotLoop(slot);
            slot.finished.store(true);
        });
    } catch (const std::system_error& error) {
        // The slots already running go on; this one is said and dropped.
        screen_.Note("velkor-flash: " + slot.name + " not taken as a slot: " + error.what());
        screen_.RemoveSlot(slot.row);
        status_.RemoveSlot(slot.status_id);
        slots_.pop_back();
        return false;
    }
    return true;
}

void Station::ShowState(const Slot& slot, SlotState state, std::string_view version) {
    screen_.SetState(slot.row, state, version);
    status_.SetState(slot.status_id, state, version);
}

void Station::SlotLoop(Slot& slot) {
    while (!slot.removed.load()) {
        ProbeResult probe;
        ShowState(slot, SlotState::kWaiting);
        if (!AwaitUnit(slot, probe) || !TakeCycle()) {
            return;
        }
        ShowState(slot, SlotState::kUpdating, probe.version_text);
        UnitMark mark;
        if (!UpdateUnit(slot, mark)) {
            GiveCycleBack();
            if (!stop_.SleepUnlessEnding(std::chrono::milliseconds(options_.poll_interval_ms))) {
                return;
            }
            continue;  // the same unit, once the station has what it needs
        }
        slot.fault_said = false;
        ShowState(slot, SlotState::kDone);
        const Removal removal = AwaitRemoval(slot, mark);
        if (removal == Removal::kEnded) {
            return;
        }
        screen_.Say(slot.row,
                    removal == Removal::kSwapped ? "another unit in its place" : "unit removed");
    }
}

bool Station::AwaitUnit(Slot& slot, ProbeResult& probe) {
    const auto interval = std::chrono::milliseconds(options_.poll_interval_ms);
    for (;;) {
        if (slot.removed.load() || Ending()) {
            return false;
        }
        probe = ProbeUnit(slot.device, options_.model, &stop_);
        if (probe.presence == Presence::kAnswers) {
            return !Ending();
        }
        if (probe.presence == Presence::kStationFault) {
            StationFault(slot, probe.error);
        } else {
            slot.fault_said = false;
        }
        if (!stop_.SleepUnlessEnding(interval)) {
            return false;
        }
    }
}

Removal Station::AwaitRemoval(Slot& slot, const UnitMark& mark) {
    const auto interval = std::chrono::milliseconds(options_.poll_interval_ms);
    UnitWatch watch(slot.device, options_.model, &stop_);
    unsigned misses = 0;
    bool shown = false;
    while (misses < 2) {
        if (slot.removed.load() || !stop_.SleepUnlessEnding(interval)) {
            return Removal::kEnded;
        }
        if (!shown) {
            ShowState(slot, SlotState::kRemoval);
            shown = true;
        }
        const ProbeResult probe = watch.Poll();
        if (probe.presence == Presence::kStationFault) {
            // Says nothing of the unit: it is still there as far as anyone knows.
            StationFault(slot, probe.error);
            continue;
        }
        slot.fault_said = false;
        if (probe.presence == Presence::kNoPort) {
            // Hung up: whatever comes next is a new unit.
            return slot.removed.load() ? Removal::kEnded : Removal::kGone;
        }
        if (probe.presence == Presence::kAnswers && mark.ShownOtherwise(probe)) {
            return Removal::kSwapped;  // taken off and another put on between two polls
        }
        misses = probe.presence == Presence::kAnswers ? 0 : misses + 1;
    }
    return Removal::kGone;
}

void Station::StationFault(Slot& slot, int error) {
    if (!slot.fault_said) {
        screen_.Say(slot.row, std::string("station fault: ") + std::strerror(error) +
                                  "; the unit is left as it is and tried again");
        slot.fault_said = true;
    }
}

bool Station::UpdateUnit(Slot& slot, UnitMark& mark) {
    const auto began = SteadyClock::now();
    int resource_error = 0;
    UpdateRequest request;
    request.resource_error = &resource_error;
    request.unit.device = slot.device;
    request.unit.model = options_.model;
    request.unit.mcu = options_.mcu;
    request.unit.stop = &stop_;
    request.unit.connect_attempts = options_.connect_attempts;
    request.slave = options_.slave;
    request.file = options_.file;
    request.verify = options_.verify;
    request.leave_up_to_date = !options_.always;
    request.command = "station";
    if (choice_) {
        request.choose_file = [this](UpdateSession& session, std::string& why) {
            return choice_->Choose(session, why);
        };
    }
    const DeviceFacts device = DeviceFactsOf(slot.device);
    request.unit.held_by = HeldBy(slot.device);
    OutputOptions outputs;
    outputs.log_file = slot.log_file;
    SlotProgress progress(screen_, slot.row, status_, slot.status_id);
    RunRecord record;
    int exit;
    {
        CommandOutput output(outputs, &progress);
        if (!output.Open()) {
            resource_error = IsResourceShortage(output.open_error()) ? output.open_error() : 0;
            exit = kExitUsage;
            record.result = "no_log";
        } else {
            RealClock clock;
            exit = RunUpdate(output.port(), clock, request, output, &record);
        }
    }
    if (resource_error != 0) {
        StationFault(slot, resource_error);
        return false;
    }
    record.slot = slot.name;
    record.device = device;
    const RecordedRun recorded = RecordRun(options_.record, record, exit);
    std::string reason;
    if (record.programming && record.programming->failure &&
        record.programming->failure->cause != StreamFailureCause::kStopped) {
        reason = FailureLine(*record.programming);
    } else if (exit != 0 && !progress.last_error().empty()) {
        reason = progress.last_error();
    }
    std::string shown = reason.empty() ? record.result : record.result + ": " + reason;
    if (recorded.exit != exit) {
        shown += " (record not kept)";
        reason += reason.empty() ? "record not kept" : " (record not kept)";
    }
    status_.UnitDone(slot.status_id, record.result, reason,
                     std::chrono::duration<double>(SteadyClock::now() - began).count(),
                     recorded.object);
    screen_.SetResult(slot.row, shown);
    CycleDone(recorded.exit, record.result);
    mark = MarkOf(record);
    return true;
}

bool Station::TakeCycle() {
    std::lock_guard lock(mutex_);
    if (Ending() || (options_.max_units > 0 && cycles_begun_ >= options_.max_units)) {
        return false;
    }
    ++cycles_begun_;
    return true;
}

void Station::GiveCycleBack() {
    std::lock_guard lock(mutex_);
    --cycles_begun_;
}

void Station::CycleDone(int exit, const std::string& result) {
    {
        std::lock_guard lock(mutex_);
        ++cycles_ended_;
        ++results_[result];
        highest_exit_ = std::max(highest_exit_, exit);
        if (options_.max_units > 0 && cycles_ended_ >= options_.max_units) {
            ended_.store(true);
        }
    }
    if (ended_.load()) {
        stop_.WakeSleepers();
    }
    ShowTotals();
}

void Station::ShowTotals() {
    unsigned updated = 0;
    unsigned current = 0;
    unsigned failed = 0;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [result, count] : results_) {
            if (result == "updated") {
                updated += count;
            } else if (result == "up_to_date") {
                current += count;
            } else {
                failed += count;
            }
        }
    }
    const double hours =
        std::chrono::duration<double>(SteadyClock::now() - started_).count() / 3600.0;
    char line[160];
    std::snprintf(line, sizeof line, "updated %u  up to date %u  failed %u  %.1f units per hour",
                  updated, current, failed, hours > 0 ? (updated + current + failed) / hours : 0.0);
    screen_.SetTotals(line);
}

void Station::ReapFinished() {
    for (auto it = slots_.begin(); it != slots_.end();) {
        if (it->finished.load()) {
            it->thread.join();
            if (it->removed.load()) {
                screen_.RemoveSlot(it->row);
                status_.RemoveSlot(it->status_id);
            }
            it = slots_.erase(it);
        } else {
            ++it;
        }
    }
}

int Station::WatchFolder() {
    SlotWatcher watcher(options_.watch, options_.match);
    std::string error;
    if (!watcher.Start(error)) {
        std::fprintf(stderr, "velkor-flash: cannot watch %s: %s\n", options_.watch.c_str(),
                     error.c_str());
        return kExitUsage;
    }
    if (!std::filesystem::exists(options_.watch)) {
        // A mistyped folder would otherwise be waited for without a word.
        screen_.Note("velkor-flash: " + options_.watch +
                     " does not exist yet: the station waits for it to appear");
    }
    if (struct stat folder{}; ::stat(options_.watch.c_str(), &folder) == 0 &&
                              (folder.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        screen_.Note("velkor-flash: warning: others may write to " + options_.watch +
                     "; only links that root or this user made are taken as slots");
    }
    std::map<std::string, Slot*> by_name;
    while (!Ending()) {
        for (const SlotEvent& event : watcher.Wait(250)) {
            const auto found = by_name.find(event.name);
            if (event.kind == SlotEvent::Kind::kAppeared && found == by_name.end()) {
                // Anything else under the folder (a link to /dev/null, to a console, to another
                // user's terminal that would play a unit) is no slot, and no thread.
                std::string refusal = SlotDeviceRefusal(event.path, options_.allow_pty);
                if (refusal.empty() && by_name.size() >= options_.max_slots) {
                    refusal = "the station watches its " + std::to_string(options_.max_slots) +
                              " slots (--max-slots)";
                }
                if (!refusal.empty()) {
                    screen_.Note("velkor-flash: " + event.name +
                                 " not taken as a slot: " + refusal);
                    continue;
                }
                const std::string log = options_.log_dir.empty()
                                            ? std::string()
                                            : options_.log_dir + "/" + event.name + ".log";
                if (AddSlot(event.name, event.path, log)) {
                    by_name[event.name] = &slots_.back();
                }
            } else if (event.kind == SlotEvent::Kind::kGone && found != by_name.end()) {
                found->second->removed.store(true);
                screen_.Say(found->second->row, "link gone");
                by_name.erase(found);
            }
        }
        for (auto it = by_name.begin(); it != by_name.end();) {
            it = it->second->finished.load() && !it->second->removed.load() ? by_name.erase(it)
                                                                            : std::next(it);
        }
        ReapFinished();
    }
    return 0;
}

bool Station::Serve() {
    if (!options_.http) {
        return true;
    }
    web_ = std::make_unique<StationWeb>(status_);
    const HttpListen& http = *options_.http;
    const bool ipv6 = http.address.find(':') != std::string::npos;
    std::string error;
    if (!web_->Start(http, error)) {
        if (error == StationWeb::kInUse) {
            std::fprintf(stderr, "velkor-flash: %s%s%s:%d is in use\n", ipv6 ? "[" : "",
                         http.address.c_str(), ipv6 ? "]" : "", http.port);
        } else {
            std::fprintf(stderr, "velkor-flash: cannot serve the station's page on %s%s%s:%d: %s\n",
                         ipv6 ? "[" : "", http.address.c_str(), ipv6 ? "]" : "", http.port,
                         error.c_str());
        }
        return false;
    }
    std::fprintf(stderr, "Station page: http://%s%s%s:%d/ (metrics: /metrics)\n", ipv6 ? "[" : "",
                 http.address.c_str(), ipv6 ? "]" : "", web_->port());
    return true;
}

int Station::Run() {
    // Before the board: it is redrawn in place below this line.
    if (!Serve()) {
        return kExitUsage;
    }
    ShowTotals();
    int exit = 0;
    if (!options_.watch.empty()) {
        exit = WatchFolder();
    } else {
        std::vector<std::string> devices = GatherPorts(options_.ports, options_.ports_from);
        const std::vector<std::string> logs = options_.log_dir.empty()
                                                  ? std::vector<std::string>(devices.size())
                                                  : UnitLogFiles(options_.log_dir, devices);
        for (std::size_t i = 0; i < devices.size(); ++i) {
            AddSlot(devices[i], devices[i], logs[i]);
        }
        while (!Ending()) {
            stop_.SleepUnlessEnding(std::chrono::milliseconds(250));
        }
    }
    // Units being updated finish; nothing new begins.
    for (Slot& slot : slots_) {
        slot.thread.join();
    }
    slots_.clear();
    ShowTotals();
    PrintSummary();
    if (exit != 0) {
        return exit;
    }
    if (const int signal = stop_.drain_signal(); signal != 0) {
        return kExitSignalBase + signal;
    }
    std::lock_guard lock(mutex_);
    return highest_exit_;
}

void Station::AnnounceStop() {
    const StationSnapshot now = status_.Snapshot(false);
    const auto at = std::chrono::system_clock::now();
    // A unit's time so far and its share of the stream done give the rest; before its stream
    // begins, the mean of the units so far does.
    const double mean = now.update_times.count > 0
                            ? now.update_times.sum / static_cast<double>(now.update_times.count)
                            : 0;
    std::size_t updating = 0;
    double longest = 0;
    bool known = true;
    for (const SlotStatus& slot : now.slots) {
        if (slot.state != SlotState::kUpdating) {
            continue;
        }
        ++updating;
        const double elapsed = std::chrono::duration<double>(at - slot.state_since).count();
        if (slot.percent > 0) {
            longest = std::max(longest, elapsed * (100 - slot.percent) / slot.percent);
        } else if (mean > 0) {
            longest = std::max(longest, std::max(mean - elapsed, 1.0));
        } else {
            known = false;
        }
    }
    std::string line;
    if (updating == 0) {
        line = "Stopping: no unit is being updated; the station ends.";
    } else {
        line = "Stopping: " + std::to_string(updating) +
               (updating == 1 ? " unit finishes" : " units finish") + " first";
        if (known) {
            line += " (about " + std::to_string(static_cast<long>(longest + 0.5)) + " s)";
        }
        line += "; Ctrl-C again interrupts " + std::string(updating == 1 ? "it" : "them") +
                " and leaves " + (updating == 1 ? "it in its" : "them in their") + " boot loader.";
    }
    screen_.Note(line);
    screen_.SetStopping();
    status_.SetStopping();
}

void Station::PrintSummary() {
    std::lock_guard lock(mutex_);
    const double seconds = std::chrono::duration<double>(SteadyClock::now() - started_).count();
    std::printf("Station: %u units in %.0f s", cycles_ended_, seconds);
    for (const auto& [result, count] : results_) {
        std::printf(", %s %u", result.c_str(), count);
    }
    std::printf("\n");
    std::fflush(stdout);
}

}  // namespace

int RunStation(const StationOptions& options, RunStop& stop) {
    Station station(options, stop);
    return station.Run();
}

}  // namespace velkor
