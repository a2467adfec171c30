#include "gui/tool_command_line.h"

#include <CLI/CLI.hpp>

namespace velkor {
namespace {

constexpr const char* kDescription =
    "velkor-tool: update the firmware and the options of a head unit's MCU.\n"
    "\n"
    "The full-screen touch tool a technician runs on the head unit itself. It ends the "
    "unit's manager program, hides the task bar while it runs, reads the MCU's version, "
    "checksum and information over the serial line, and programs a firmware file or "
    "writes the unit options.\n"
    "\n"
    "Its settings file velkor-tool.ini lies beside the executable, section [UpdateConfig]: "
    "AppType (1 R3360, 2 J5), McuType (1 STM8, 2 NEC, 3 M3), McuSlave (nonzero: the slave "
    "MCU is the target), FireFile (a firmware file below the same folder, updated without a "
    "touch when the file check confirms it for this unit) and ComPort (the serial device; "
    "/dev/ttyS1 without it). What the file does not say, the tool asks for in its update "
    "type dialog. Every log line also goes to standard error.\n"
    "\n"
    "Without X11 the tool runs on the frame buffer: QT_QPA_PLATFORM=linuxfb or eglfs. Qt's "
    "own options, such as -platform, are accepted.";

}  // namespace

std::optional<int> AnswerInformationOptions(int argc, char** argv) {
    CLI::App app{kDescription, "velkor-tool"};
    app.set_version_flag("--version", "velkor-tool " VELKOR_VERSION);
    app.allow_extras();
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    return std::nullopt;
}

}  // namespace velkor
