// The firmware file for a unit: the one file given, or the one file of a folder whose
// description the file check confirms for this unit's version and information texts.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "session/update_session.h"
#include "settings/unit_types.h"

namespace velkor {

class FirmwareChoice {
  public:
    // Every file of `folder` in the format of `mcu`'s family (Intel HEX, S-records) is a
    // candidate; files of the other format and anything that is not a regular file are passed
    // over. Files are loaded once and kept, and loaded again when they change (or new ones
    // appear, or are removed).
    FirmwareChoice(std::string folder, McuType mcu);
    ~FirmwareChoice();
    FirmwareChoice(const FirmwareChoice&) = delete;
    FirmwareChoice& operator=(const FirmwareChoice&) = delete;

    // After the unit's version and information queries on `session`, whose family link is
    // selected: the path of the one candidate the check confirms for this unit. None when no
    // candidate or several fit, with `why` saying so and naming them ("no file in fw/ is for
    // this unit (checked: a.hex, b.hex)", "2 files in fw/ are for this unit: a.hex, b.hex").
    // The session's log and check state are left as they were. Callable from several threads
    // at once, each with its own session.
    std::optional<std::string> Choose(UpdateSession& session, std::string& why);

  private:
    struct Cache;
    std::unique_ptr<Cache> cache_;
};

}  // namespace velkor
