// The size and SHA-256 of the bytes of a firmware file, for the record of the file a run used.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velkor {

struct FileDigest {
    std::uint64_t size = 0;
    std::string sha256;  // 64 lower-case hexadecimal digits
};

// None only when the hash cannot be computed.
std::optional<FileDigest> DigestBytes(std::string_view bytes);

}  // namespace velkor
