#include "sim/unit_option_store.h"

#include <cstddef>
#include <string_view>

namespace velkor::sim {
namespace {

// Version text codes; a code's position is the option index.
constexpr std::string_view kTvCodes = "-BIASCDTE";
constexpr std::string_view kHbrakeCodes = "NH";
constexpr std::string_view kDvdCodes = "-RFZ";
constexpr std::string_view kTftCodes[] = {"H8-", "H7-", "H62", "I8-", "I7-",
                                          "I65", "I8N", "I7N", "I6N"};
// The last audio processor has no code of its own: anything but the first three means it.
constexpr std::string_view kAudioCodes = "893B";
// A unit without a radio tuner option reports none of the tuners' codes.
constexpr std::string_view kRadioCodes = "-NRT";
constexpr char kUnknownCode = '?';

constexpr std::uint8_t kEnabledLetter = 'E';
constexpr std::uint8_t kDisabledLetter = 'D';
constexpr std::uint8_t kFrameOptionMarker = 0xC0;

struct Positions {
    std::optional<std::size_t> dvd = {}, tft = {}, tv = {}, hbrake = {}, audio = {}, radio = {};
};

Positions PositionsOf(AppType model, McuType family) {
    if (model == kAppTypeR3360) {
        return {.tv = 12, .hbrake = 8};
    }
    if (model != kAppTypeJ5) {
        return {};
    }
    switch (family) {
        case kMcuTypeNec:
            return {.tv = 9, .hbrake = 10};
        case kMcuTypeM3:
        case kMcuTypeStm8:
            return {.dvd = 5, .tft = 6, .tv = 9, .hbrake = 10, .audio = 11, .radio = 12};
        default:
            return {};
    }
}

std::optional<std::uint8_t> SwitchOf(std::uint8_t letter) {
    if (letter == kEnabledLetter) {
        return 1;
    }
    if (letter == kDisabledLetter) {
        return 0;
    }
    return std::nullopt;
}

// The M3 frame numbers the last three TV tuners in another order than the option panel.
std::uint8_t M3FrameTv(std::uint8_t sent) {
    switch (sent) {
        case 6:
            return 8;
        case 7:
            return 6;
        case 8:
            return 7;
        default:
            return sent;
    }
}

void Put(std::string& text, std::optional<std::size_t> position, std::string_view code) {
    if (!position) {
        return;
    }
    if (text.size() < *position + code.size()) {
        text.resize(*position + code.size(), ' ');
    }
    text.replace(*position, code.size(), code);
}

std::string_view CodeOf(std::string_view codes, std::uint8_t index) {
    static constexpr std::string_view kUnknown(&kUnknownCode, 1);
    return index < codes.size() ? codes.substr(index, 1) : kUnknown;
}

}  // namespace

std::optional<OptionValues> ReadOptionLetters(std::span<const std::uint8_t> letters) {
    if (letters.size() != 3) {
        return std::nullopt;
    }
    const auto tv = kTvCodes.find(static_cast<char>(letters[0]));
    const auto hbrake = SwitchOf(letters[1]);
    const auto rds = SwitchOf(letters[2]);
    if (tv == std::string_view::npos || !hbrake || !rds) {
        return std::nullopt;
    }
    OptionValues values;
    values[kOptionTv] = static_cast<std::uint8_t>(tv);
    values[kOptionHbrake] = hbrake;
    values[kOptionRds] = rds;
    return values;
}

std::optional<OptionValues> ReadOptionFrame(McuType family, std::span<const std::uint8_t> payload) {
    OptionValues values;
    switch (family) {
        case kMcuTypeM3:
            if (payload.size() != 6) {
                return std::nullopt;
            }
            values[kOptionTft] = payload[0];
            values[kOptionDvd] = payload[1];
            values[kOptionRadio] = payload[2];
            values[kOptionTv] = M3FrameTv(payload[3]);
            values[kOptionAudio] = payload[4];
            values[kOptionHbrake] = payload[5];
            return values;
        case kMcuTypeNec:
            if (payload.size() != 8 || payload[0] != kFrameOptionMarker) {
                return std::nullopt;
            }
            values[kOptionTv] = payload[4];
            values[kOptionHbrake] = payload[6];
            values[kOptionRds] = payload[7];
            return values;
        case kMcuTypeStm8:
            if (payload.size() != 8 || payload[0] != kFrameOptionMarker) {
                return std::nullopt;
            }
            values[kOptionTft] = payload[1];
            values[kOptionDvd] = payload[2];
            values[kOptionRadio] = payload[3];
            values[kOptionTv] = payload[4];
            values[kOptionAudio] = payload[5];
            values[kOptionHbrake] = payload[6];
            values[kOptionRds] = payload[7];
            return values;
        default:
            return std::nullopt;
    }
}

void StoreOptions(AppType model, McuType family, const OptionValues& values,
                  std::string& version_text) {
    const Positions at = PositionsOf(model, family);
    if (const auto tv = values[kOptionTv]) {
        Put(version_text, at.tv, CodeOf(kTvCodes, *tv));
    }
    if (const auto hbrake = values[kOptionHbrake]) {
        Put(version_text, at.hbrake, CodeOf(kHbrakeCodes, *hbrake == 1 ? 1 : 0));
    }
    if (const auto dvd = values[kOptionDvd]) {
        Put(version_text, at.dvd, CodeOf(kDvdCodes, *dvd));
    }
    if (const auto tft = values[kOptionTft]) {
        Put(version_text, at.tft, *tft < std::size(kTftCodes) ? kTftCodes[*tft] : "???");
    }
    if (const auto audio = values[kOptionAudio]) {
        Put(version_text, at.audio, CodeOf(kAudioCodes, *audio));
    }
    if (const auto radio = values[kOptionRadio]) {
        Put(version_text, at.radio, CodeOf(kRadioCodes, *radio));
    }
}

}  // namespace velkor::sim
