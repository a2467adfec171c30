// The size and SHA-256 of a file, for the record of the firmware file a run used.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace velkor {

struct FileDigest {
    std::uint64_t size = 0;
    std::string sha256;  // 64 lower-case hexadecimal digits
};

// None when the file cannot be read to its end.
std::optional<FileDigest> DigestFile(const std::filesystem::path& path);

}  // namespace velkor
