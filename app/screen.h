// The size of the primary display, read through one function that tests can override.
#pragma once

#include <QFont>

#include "app/design_grid.h"

namespace velkor {

// The primary screen's size, or the override when one is set.
ScreenSize PrimaryScreenSize();
// Makes PrimaryScreenSize return `size` (tests); nullptr-like {0, 0} removes the override.
void OverridePrimaryScreenSize(ScreenSize size);

// The tool's font: "Arial" at the given pixel height, normal weight.
QFont ToolFont(int pixel_height);

}  // namespace velkor
