#include "procedures/option_codes.h"

#include <optional>

namespace velkor {
namespace {

// Version text codes; a character's position is the option index.
constexpr std::string_view kTvCodes = "-BIASCDTE";
constexpr std::string_view kDvdCodes = "-RFZ";
constexpr std::string_view kAudioCodes = "893";  // anything else: index 3
constexpr std::size_t kAudioOther = 3;
constexpr std::string_view kRadioCodes = "NRT";  // indices 1 to 3; anything else: 0
constexpr std::string_view kTftCodes[] = {"H8-", "H7-", "H62", "I8-", "I7-",
                                          "I65", "I8N", "I7N", "I6N"};
constexpr std::uint8_t kHbrakeOn = 'H';

constexpr std::uint8_t kEnabledLetter = 'E';
constexpr std::uint8_t kDisabledLetter = 'D';
constexpr std::uint8_t kUnknownTvLetter = '-';

// A position past the text reads as the zero byte an absent reply leaves.
std::uint8_t At(std::span<const std::uint8_t> text, std::size_t position) {
    return position < text.size() ? text[position] : 0;
}

std::optional<std::uint8_t> IndexIn(std::string_view codes, std::uint8_t code) {
    const auto found = codes.find(static_cast<char>(code));
    if (code == 0 || found == std::string_view::npos) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(found);
}

std::uint8_t TftIndex(std::span<const std::uint8_t> text, std::size_t position) {
    const char code[] = {static_cast<char>(At(text, position)),
                         static_cast<char>(At(text, position + 1)),
                         static_cast<char>(At(text, position + 2))};
    for (std::size_t index = 0; index < std::size(kTftCodes); ++index) {
        if (kTftCodes[index] == std::string_view(code, 3)) {
            return static_cast<std::uint8_t>(index);
        }
    }
    return 0;
}

std::uint8_t SwitchLetter(std::uint8_t index) {
    return index == 1 ? kEnabledLetter : kDisabledLetter;
}

}  // namespace

UnitOptions DecodeUnitOptions(const OptionPositions& positions,
                              std::span<const std::uint8_t> version_text) {
    UnitOptions options{};
    if (positions.tv) {
        options[kOptionTv] = IndexIn(kTvCodes, At(version_text, *positions.tv)).value_or(0);
    }
    if (positions.hbrake) {
        options[kOptionHbrake] = At(version_text, *positions.hbrake) == kHbrakeOn ? 1 : 0;
    }
    if (positions.dvd) {
        options[kOptionDvd] = IndexIn(kDvdCodes, At(version_text, *positions.dvd)).value_or(0);
    }
    if (positions.tft) {
        options[kOptionTft] = TftIndex(version_text, *positions.tft);
    }
    if (positions.audio) {
        options[kOptionAudio] =
            IndexIn(kAudioCodes, At(version_text, *positions.audio)).value_or(kAudioOther);
    }
    if (positions.radio) {
        const auto index = IndexIn(kRadioCodes, At(version_text, *positions.radio));
        options[kOptionRadio] = index ? static_cast<std::uint8_t>(*index + 1) : 0;
    }
    return options;
}

std::array<std::uint8_t, kAsciiOptionCommandSize> AsciiOptionCommand(std::string_view tv_letters,
                                                                     const UnitOptions& options) {
    const std::uint8_t tv = options[kOptionTv];
    const auto tv_letter =
        tv < tv_letters.size() ? static_cast<std::uint8_t>(tv_letters[tv]) : kUnknownTvLetter;
    return {'$',
            'W',
            tv_letter,
            SwitchLetter(options[kOptionHbrake]),
            SwitchLetter(options[kOptionRds]),
            '\r',
            '\n'};
}

std::vector<std::uint8_t> FrameOptionPayload(const OptionWriteLayout& layout,
                                             const UnitOptions& options) {
    std::vector<std::uint8_t> payload;
    payload.reserve(layout.frame_payload.size());
    for (const PayloadByte& byte : layout.frame_payload) {
        if (!byte.is_option) {
            payload.push_back(byte.value);
            continue;
        }
        std::uint8_t index = options[byte.value];
        if (byte.value == kOptionTv) {
            for (const TvRemap& remap : layout.frame_tv_remap) {
                if (remap.from == index) {
                    index = remap.to;
                    break;
                }
            }
        }
        payload.push_back(index);
    }
    return payload;
}

}  // namespace velkor
