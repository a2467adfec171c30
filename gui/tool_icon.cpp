#include "gui/tool_icon.h"

// The resources live in a static library, so nothing would pull them into the program
// unless they are registered by name.
static void RegisterIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace velkor {

QIcon ToolIcon() {
    static const bool registered = (RegisterIconResources(), true);
    (void)registered;
    return QIcon(QStringLiteral(":/icons/velkor-tool.png"));
}

}  // namespace velkor
