// velkor-tool: the full-screen update tool.
#include <QApplication>

#include "gui/tool_command_line.h"
#include "gui/tool_icon.h"
#include "gui/update_tool_app.h"
#include "gui/x11_unit_shell.h"
#include "platform/clock.h"
#include "platform/posix_serial_port.h"
#include "session/update_session.h"
#include "settings/settings_location.h"

int main(int argc, char** argv) {
    if (const auto answered = velkor::AnswerInformationOptions(argc, argv)) {
        return *answered;
    }
    QApplication application(argc, argv);
    // The name window lists show for a window whose caption is empty, as the tool's are (a
    // display name would be appended to every caption, "COM ERROR" too); and the .desktop file
    // that describes the tool.
    QApplication::setApplicationName(QStringLiteral("Velkor Tool"));
    QApplication::setDesktopFileName(QStringLiteral("velkor-tool"));
    QApplication::setWindowIcon(velkor::ToolIcon());
    velkor::RealClock clock;
    velkor::PosixSerialPort port;
    velkor::X11UnitShell shell;
    velkor::UpdateSession session(port, clock,
                                  velkor::SettingsFilePath(velkor::RunningExecutablePath()));
    velkor::CUpdateToolApp tool(shell, clock);
    return tool.InitInstance(session);
}
