// Which unit model the tool serves when the settings file does not say.
#pragma once

#include <filesystem>
#include <string_view>

#include "settings/unit_types.h"

namespace velkor {

// The model told by the folder that held the manager program ("J5" or "R3360", first letter
// in either case), else by which of root/StaticStore/{J5,R3360}/Manager.exe exists. Returns an
// AppType; kAppTypeUndetermined when neither tells.
int ResolveModel(std::string_view manager_path, const std::filesystem::path& root = "/");

}  // namespace velkor
