// What sets the six MCU family classes apart, as data: where the firmware image keeps its
// description and identity, which range is programmed and how the records look, where the
// unit options sit in the version text and how they are written back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "procedures/unit_options.h"

namespace velkor {

// Where a text of the file check is read from.
enum class TextSource : std::uint8_t { kImage, kVersionText, kInformationText };

// Where a text piece ends, besides its maximum length and the end of its buffer.
enum class TextEnd : std::uint8_t {
    kFixed,    // all of its bytes, copied as they are
    kLineEnd,  // before the first CR or LF
    kZero,     // before the first zero byte
};

struct TextPiece {
    TextSource source;
    std::size_t offset;
    std::size_t max_length;
    TextEnd end;
};

// A unit or file text: one piece, or two joined by 'V'.
struct IdentityText {
    TextPiece first;
    std::optional<TextPiece> second;
};

struct FileCheckLayout {
    // The image carries a description when this byte holds `marker`.
    std::size_t marker_offset;
    std::uint8_t marker;
    // Zero-terminated texts of the image, logged one per line.
    std::size_t description;
    std::optional<std::size_t> second_description;
    // Inclusive range of the image summed into the file checksum.
    std::size_t checksum_first;
    std::size_t checksum_last;
    // The file suits the unit when these two byte runs are equal.
    TextPiece file_identity;
    TextPiece unit_identity;
    // Shown when they differ; the hint is followed by '_'.
    IdentityText unit_text;
    IdentityText file_text;
    TextPiece hint;
};

struct RecordLayout {
    std::string_view header_tag;  // before the address, most significant byte first
    std::size_t address_bytes;
    std::size_t first_address;
    std::size_t block_size;
    std::size_t block_count;
    // Progress after block b is (b * 100) >> progress_shift.
    unsigned progress_shift;
    // The boot loader needs this long after the entry command before the first record.
    std::uint32_t start_pause_ms;
    // End record: the tag, for some families the address of the last data record, then
    // zero bytes up to `end_length`.
    std::string_view end_tag;
    bool end_carries_last_address;
    std::size_t end_length;
};

// Positions of the option codes in the version text; empty where the family reports none.
struct OptionPositions {
    std::optional<std::size_t> dvd = {};
    std::optional<std::size_t> tft = {};  // three characters from here
    std::optional<std::size_t> tv = {};
    std::optional<std::size_t> hbrake = {};
    std::optional<std::size_t> audio = {};
    std::optional<std::size_t> radio = {};
};

// One byte of the option frame: a fixed value, or the raw index of one option.
struct PayloadByte {
    bool is_option;
    std::uint8_t value;  // the byte itself, or a UnitOption
};

constexpr PayloadByte FixedByte(std::uint8_t value) {
    return {false, value};
}
constexpr PayloadByte OptionByte(UnitOption option) {
    return {true, static_cast<std::uint8_t>(option)};
}

// A TV index the family's frame sends as another.
struct TvRemap {
    std::uint8_t from;
    std::uint8_t to;
};

struct OptionWriteLayout {
    // ASCII command: the TV letter of each index; an index past the end sends '-'.
    std::string_view tv_letters = {};
    // Framed command: the payload, and the TV indices it sends differently.
    std::span<const PayloadByte> frame_payload = {};
    std::span<const TvRemap> frame_tv_remap = {};
};

struct FamilyDescriptor {
    FileCheckLayout check;
    RecordLayout records;
    OptionPositions option_positions;
    OptionWriteLayout option_write;
};

}  // namespace velkor
