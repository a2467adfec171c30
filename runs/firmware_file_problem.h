// Whether a firmware file can be programmed, found before the unit is touched: a file that
// cannot be read, is of the other family's format, or does not load whole is said in plain
// words naming the file, so that nothing is sent to a unit for a file that will not do.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "settings/unit_types.h"

namespace velkor {

struct FileProblem {
    // What the tool's own load logs for it ("ERROR:can not open the file\r\n"), if anything.
    std::string reader_lines;
    // For example "cannot open fw.hex: no such file" or "fw.hex is Intel HEX, but stm8 takes
    // S-records"; no line end.
    std::string message;
    // The errno when the file could not be opened or read (ENOMEM: no memory for it); 0 for a
    // file that was read and will not do.
    int error = 0;
};

// None when the file at `path` loads whole with the reader of `mcu`; the image it loads into
// (kImageSize bytes) is then left in `image`, if given.
std::optional<FileProblem> FirmwareFileProblem(const std::string& path, McuType mcu,
                                               std::vector<std::uint8_t>* image = nullptr);

// Whether the first record of the regular file at `path` is in the format of `mcu`'s family
// (Intel HEX, S-records), by its first character that is not blank.
bool InFamilyFormat(const std::string& path, McuType mcu);

}  // namespace velkor
