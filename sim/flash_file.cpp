#include "sim/flash_file.h"

#include <fstream>
#include <iterator>
#include <vector>

namespace velkor::sim {

bool LoadFlashFile(const std::filesystem::path& file, FlashMemory& flash, std::string& error) {
    std::error_code ignored;
    std::ifstream in(file, std::ios::binary);
    if (!in || std::filesystem::is_directory(file, ignored)) {
        error = "cannot read " + file.string();
        return false;
    }
    // One byte more than fits tells an oversized file without reading all of it.
    std::vector<std::uint8_t> content(flash.size() + 1);
    in.read(reinterpret_cast<char*>(content.data()), static_cast<std::streamsize>(content.size()));
    if (in.bad()) {
        error = "cannot read " + file.string();
        return false;
    }
    content.resize(static_cast<std::size_t>(in.gcount()));
    if (!flash.Write(0, content)) {
        error = file.string() + " is larger than the flash (" + std::to_string(flash.size()) +
                " bytes)";
        return false;
    }
    return true;
}

bool SaveFlashFile(const std::filesystem::path& file, const FlashMemory& flash,
                   std::string& error) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    const auto bytes = flash.bytes();
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        error = "cannot write " + file.string();
        return false;
    }
    return true;
}

}  // namespace velkor::sim
