// The main window's way to let the technician choose a firmware file.
#pragma once

#include <optional>
#include <string>

class QWidget;

namespace velkor {

// Runs the file browser modally over `parent`, starting in `program_directory` (empty for the
// root), with `info_text` (UTF-8, the MCU version text) on its info line. The chosen file's
// full path after OPEN on a file; nothing after EXIT.
std::optional<std::string> RunFirmwareFileBrowser(QWidget* parent, int mcu_type,
                                                  const std::string& info_text,
                                                  const std::string& program_directory);

// The same, starting in the folder of the running executable.
std::optional<std::string> RunFirmwareFileBrowser(QWidget* parent, int mcu_type,
                                                  const std::string& info_text);

}  // namespace velkor
