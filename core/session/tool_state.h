// The choices and paths of one run of the tool, shared by the worker and the main window.
#pragma once

#include <filesystem>
#include <string>

namespace velkor {

struct ToolState {
    int app_type = 0;  // an AppType value
    int mcu_type = 0;  // an McuType value
    std::filesystem::path settings_file;
    std::filesystem::path program_directory;
    // The serial device the front end names; empty: the link's own port name, "COM2:", found
    // through the settings file.
    std::string device;
    // Executable of the manager program ended at start-up; empty when there was none.
    std::string manager_path;
    // Where the model resolution looks for the StaticStore manager programs.
    std::filesystem::path file_system_root = "/";
    // The firmware file to load next, and whether it came from "FireFile".
    std::string firmware_path;
    bool auto_update = false;
};

}  // namespace velkor
