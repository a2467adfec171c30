// The MCU's boot loader: once the entry command has put the MCU into programming mode, it
// takes the records of its family, writes their data into the flash of the target MCU and
// answers each with its status characters and '.'; the end record ends programming mode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "settings/unit_types.h"
#include "sim/flash_memory.h"
#include "sim/record_format.h"
#include "sim/record_reader.h"
#include "sim/sim_command.h"
#include "sim/sim_faults.h"

namespace velkor::sim {

// Whether a unit of `model` and `family` whose version text is `version_text` takes the
// programming entry command `kind`: NEC units of R3360 from major version 4 on enter their
// boot loader for the main MCU on "$wPAI" only, every other unit on "$wIAP" only.
bool TakesEntryCommand(SimCommandKind kind, AppType model, McuType family,
                       std::string_view version_text);

class BootLoader {
  public:
    // What a completed record leads to.
    struct Outcome {
        Bytes answer;            // sent back to the host; may be empty
        bool drop_line = false;  // the line is to hang up after the answer
        std::string note;        // for the event log; may be empty
    };

    // `status`: the characters sent before the '.' of each record.
    BootLoader(const RecordFormat& format, std::string status, const SimFaults& faults);

    // Enters programming mode, writing into `target` from now on.
    void Start(FlashMemory& target);
    bool active() const { return target_ != nullptr; }
    // After a power cut in programming mode: waits for a new record stream into the same
    // target, the record it was reading lost.
    void Restart() {
        if (target_ != nullptr) {
            Start(*target_);
        }
    }

    // Takes one received byte; returns an outcome when it completed a record.
    std::optional<Outcome> Feed(std::uint8_t byte);

    // Data records taken since the last Start.
    std::size_t records() const { return records_; }

  private:
    Outcome TakeData(const ReceivedRecord& record);

    RecordFormat format_;
    std::string status_;
    std::optional<std::size_t> stop_after_;
    std::optional<std::size_t> no_dot_after_;
    std::optional<std::size_t> drop_after_;
    std::optional<std::size_t> corrupt_;
    RecordReader reader_;
    FlashMemory* target_ = nullptr;
    std::size_t records_ = 0;
    bool hung_ = false;
};

}  // namespace velkor::sim
