// The tool's icon, for the application and each of its windows.
#pragma once

#include <QIcon>

namespace velkor {

// The icon from the tool's resources: a chip being flashed.
QIcon ToolIcon();

}  // namespace velkor
