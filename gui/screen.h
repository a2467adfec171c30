// The size of the primary display, read through one function that tests can override.
#pragma once

#include <QFont>

#include "session/design_grid.h"

namespace velkor {

// The primary screen's size, or the override when one is set.
ScreenSize PrimaryScreenSize();
// Makes PrimaryScreenSize return `size` (tests); nullptr-like {0, 0} removes the override.
void OverridePrimaryScreenSize(ScreenSize size);

// The tool's font: "Arial", normal weight, `cell_height` pixels high as the unit's platform
// measures a font, ascent plus descent: the largest pixel size whose ascent plus descent is at
// most `cell_height`, and at least 1. The size is measured once per height on the face the
// font configuration picks.
QFont ToolFont(int cell_height);

}  // namespace velkor
