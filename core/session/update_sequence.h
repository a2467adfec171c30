// The main window's side of an update run: reacts to each worker report, drives the buttons
// and displays, and decides the worker's next command.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "session/sequence_view.h"
#include "session/update_session.h"
#include "session/worker_hand_off.h"

namespace velkor {

class UpdateSequence {
  public:
    UpdateSequence(UpdateSession& session, WorkerHandOff& hand_off, SequenceView& view);

    // The report of worker step `command` with its result; runs on the user-interface thread
    // while the worker waits.
    void OnWorkerReport(std::uint32_t command, int result);

    // Buttons.
    void OnOpen();
    void OnUpdate();
    void OnRetry();
    void OnApply();

    // Offers the update type dialog, but only while the worker is idle; OK restarts the run.
    void RunTypeSelection();

    // True while the MCU is being programmed or configured: closing the window then would leave
    // it half-written.
    bool busy_with_mcu() const { return programming_ || configuring_; }

    // The TYPE display text for the family, model and target; none for a model or family
    // that names nothing.
    static std::optional<std::string> TypeDisplayText(int mcu_type, int app_type, bool slave);

  private:
    void FamilyStep(int mcu_type);
    void LoadStep(int result);
    void ResetStep();
    void FileStep();
    void Command(std::uint32_t command) { hand_off_.Store(command); }

    UpdateSession& session_;
    WorkerHandOff& hand_off_;
    SequenceView& view_;
    bool programming_ = false;
    bool configuring_ = false;
    // When the write to the MCU under way started, on the session's clock.
    std::uint32_t mcu_write_started_ms_ = 0;
};

}  // namespace velkor
