// What the update sequence needs from the main window. The Qt dialog implements it; tests and
// the command line use their own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "procedures/unit_options.h"

namespace velkor {

// The model, family and target chosen in the update type dialog.
struct TypeChoice {
    int app_type = 0;
    int mcu_type = 0;
    int slave = 0;
};

// What a write to the MCU gave it: the firmware ("Update") or the unit options ("APPLY").
enum class McuWriteKind { kFirmware, kOptions };

class SequenceView {
  public:
    virtual ~SequenceView() = default;

    // Controls by their ControlId.
    virtual void ShowControl(int id, bool shown) = 0;
    virtual void EnableControl(int id, bool enabled) = 0;
    virtual void SetControlText(int id, const std::string& text) = 0;

    // Starts the one-shot 100 ms timer after which the type selection runs.
    virtual void StartTypeSelectionTimer() = 0;
    // The "COM ERROR" message box; when it is closed the program ends.
    virtual void ShowComErrorAndQuit() = 0;

    // Lays the option panel out for the model and family, or widens the log over it when
    // either is undetermined or the slave MCU is the target.
    virtual void LayOutOptionPanel(int app_type, int mcu_type, bool slave) = 0;
    // Selects each option list's entry from the options.
    virtual void ShowUnitOptions(const UnitOptions& options) = 0;
    // The option lists' selections.
    virtual UnitOptions SelectedUnitOptions() = 0;

    // Runs the update type dialog; the choice when it ended with OK.
    virtual std::optional<TypeChoice> RunTypeDialog(const TypeChoice& current) = 0;
    // Runs the file browser with the MCU version text as its info line; the chosen path when
    // it ended with OPEN.
    virtual std::optional<std::string> RunFileBrowser(const std::string& info_text) = 0;

    // A write to the MCU has ended with `result` (0 success) after `took_ms`; the window
    // records it where its settings ask for a record. Nothing by default.
    virtual void McuWriteEnded(McuWriteKind /*kind*/, int /*result*/, std::uint32_t /*took_ms*/) {}
};

}  // namespace velkor
