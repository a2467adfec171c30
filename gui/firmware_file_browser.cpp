#include "gui/firmware_file_browser.h"

#include "gui/open_file_dialog.h"
#include "settings/settings_location.h"

namespace velkor {

std::optional<std::string> RunFirmwareFileBrowser(QWidget* parent, int mcu_type,
                                                  const std::string& info_text,
                                                  const std::string& program_directory) {
    CCEOpenFileDialog dialog(mcu_type, program_directory, parent);
    dialog.SetInfoText(info_text);
    if (dialog.exec() != CCEOpenFileDialog::kIdOk) {
        return std::nullopt;
    }
    return dialog.GetSelectedPath();
}

std::optional<std::string> RunFirmwareFileBrowser(QWidget* parent, int mcu_type,
                                                  const std::string& info_text) {
    return RunFirmwareFileBrowser(parent, mcu_type, info_text,
                                  ProgramDirectory(RunningExecutablePath()).string());
}

}  // namespace velkor
