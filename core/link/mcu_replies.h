// The last replies of the MCU, which both dialects fill and the update sequence, the file check
// and the option decoding read.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velkor {

inline constexpr std::size_t kVersionTextSize = 50;
inline constexpr std::size_t kInformationTextSize = 1024;
// One byte of the information text stays zero, so it always ends in a terminator.
inline constexpr std::size_t kInformationTextLimit = kInformationTextSize - 1;

struct McuReplies {
    // Characters of the last version reply; cleared when a reply starts, and without a
    // terminating zero when all 50 bytes are used.
    std::array<std::uint8_t, kVersionTextSize> version_text{};
    // Raw bytes received after the acknowledgement of the last information query.
    std::array<std::uint8_t, kInformationTextSize> information_text{};
    // Value of the last checksum reply; a reply cut short leaves a partial value.
    std::uint32_t checksum = 0;

    std::string_view VersionText() const { return UpToFirstZero(version_text); }
    std::string_view InformationText() const { return UpToFirstZero(information_text); }

  private:
    template <std::size_t N>
    static std::string_view UpToFirstZero(const std::array<std::uint8_t, N>& bytes) {
        const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
        return {reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::size_t>(end - bytes.begin())};
    }
};

}  // namespace velkor
