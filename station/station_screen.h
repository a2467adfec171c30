// What a station shows while it runs. On a terminal, a board: a line per slot (its name,
// state, the unit's version, the progress, the last result and its time) and a line of totals,
// redrawn in place and kept to the terminal's size. Elsewhere (a pipe, journald) a line per
// event, prefixed with the slot.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "station/slot_state.h"

namespace velkor {

class StationScreen {
  public:
    explicit StationScreen(std::FILE* out);
    ~StationScreen();
    StationScreen(const StationScreen&) = delete;
    StationScreen& operator=(const StationScreen&) = delete;

    // Callable from any thread. A slot is known by the number AddSlot gave it.
    std::size_t AddSlot(const std::string& name);
    void RemoveSlot(std::size_t slot);
    // `version` (bytes from the unit) shows escaped.
    void SetState(std::size_t slot, SlotState state, std::string_view version = {});
    void SetProgress(std::size_t slot, int percent);
    // The result of the slot's last unit, for example "updated" or "program_failed: Record 12
    // of 512 ...".
    void SetResult(std::size_t slot, const std::string& result);
    // Any other event of a slot, for example "unit removed".
    void Say(std::size_t slot, const std::string& event);
    // A line of the station's own, for example a link it does not take as a slot; above the
    // board on a terminal. Escaped where it is written.
    void Note(std::string_view text);
    void SetTotals(const std::string& totals);
    // The station ends once the units under way finish: the board says so.
    void SetStopping();

  private:
    // Texts from outside (a unit's version, a file name in a result) are kept as they came and
    // escaped once, where they are written; the name was escaped when the slot was added.
    struct Row {
        std::string name;
        SlotState state = SlotState::kWaiting;
        std::string version;
        int percent = -1;
        std::string result;
        std::string result_time;
        bool gone = false;
    };
    void Line(const Row& row, std::string_view text);
    void Redraw();

    std::mutex mutex_;
    std::FILE* out_;
    const bool terminal_;
    std::vector<Row> rows_;
    std::string totals_;
    std::size_t drawn_lines_ = 0;
    bool stopping_ = false;
};

}  // namespace velkor
