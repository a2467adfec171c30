// Where the main window's controls go, on the design grid.
#pragma once

#include <vector>

#include "session/design_grid.h"

namespace velkor {

struct Placement {
    Placement(int control, int left, int top, int w, int h, bool is_shown = true,
              bool is_enabled = true, const char* new_text = nullptr)
        : id(control),
          x(left),
          y(top),
          width(w),
          height(h),
          shown(is_shown),
          enabled(is_enabled),
          text(new_text) {}

    int id = 0;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool shown = true;
    bool enabled = true;
    // The text the control is given, if any.
    const char* text = nullptr;
};

// The layout the main window takes at start, in the order the controls are placed.
std::vector<Placement> InitialMainLayout(const DesignGrid& grid);

struct PanelLayout {
    // The log area keeps its position; only its size changes.
    int log_width = 0;
    int log_height = 0;
    // Labels, lists and APPLY, top to bottom; empty when the log covers the panel.
    std::vector<Placement> controls;
};

// The option panel for a model and family: none (a full-width log over it) when either is
// undetermined or the slave MCU is the target; the full panel for M3, and for STM8 on J5; the
// short panel (TV, HBRAKE) otherwise. RDS is never shown.
PanelLayout OptionPanelLayout(const DesignGrid& grid, int app_type, int mcu_type, bool slave);

// The left edge of the option panel column.
int PanelLeft(const DesignGrid& grid);

}  // namespace velkor
