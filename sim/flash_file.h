// Flash content from and to raw binary files: a simulated unit that already holds a firmware,
// and what it holds when it ends.
#pragma once

#include <filesystem>
#include <string>

#include "sim/flash_memory.h"

namespace velkor::sim {

// Writes the file's bytes into `flash` from address 0 on. On failure returns false with
// `error` saying why (cannot be read, larger than the flash), and `flash` is unchanged.
bool LoadFlashFile(const std::filesystem::path& file, FlashMemory& flash, std::string& error);

// Writes the whole flash, byte i holding address i, replacing `file`. On failure returns false
// with `error` saying why.
bool SaveFlashFile(const std::filesystem::path& file, const FlashMemory& flash, std::string& error);

}  // namespace velkor::sim
