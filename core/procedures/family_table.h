// The six MCU family and model pairs, one row each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "image/firmware_image.h"
#include "link/mcu_replies.h"
#include "procedures/family_descriptor.h"

namespace velkor {
namespace family_table {

// The ASCII TV letters; STM8 units take 'S' for index 8.
inline constexpr std::string_view kTvLetters = "-BIASCDTE";
inline constexpr std::string_view kStm8TvLetters = "-BIASCDTS";

// The R3360 families share the description block layout, relative to its start.
constexpr FileCheckLayout AsciiFileCheck(std::size_t block, std::size_t second_text,
                                         std::size_t identity, std::size_t checksum_first,
                                         std::size_t checksum_last) {
    return {
        .marker_offset = block,
        .marker = '$',
        .description = block,
        .second_description = block + second_text,
        .checksum_first = checksum_first,
        .checksum_last = checksum_last,
        .file_identity = {TextSource::kImage, block + identity, 7, TextEnd::kFixed},
        .unit_identity = {TextSource::kInformationText, 10, 7, TextEnd::kFixed},
        .unit_text = {{TextSource::kVersionText, 0, kVersionTextSize, TextEnd::kZero}, {}},
        .file_text = {{TextSource::kImage, block + 2, kImageSize, TextEnd::kZero}, {}},
        .hint = {TextSource::kInformationText, 10, 7, TextEnd::kFixed},
    };
}

constexpr RecordLayout Records256(std::size_t address_bytes, std::uint32_t start_pause_ms,
                                  std::size_t end_length) {
    return {
        .header_tag = "S",
        .address_bytes = address_bytes,
        .first_address = 0x00000,
        .block_size = 256,
        .block_count = 512,
        .progress_shift = 9,
        .start_pause_ms = start_pause_ms,
        .end_tag = "E",
        .end_carries_last_address = false,
        .end_length = end_length,
    };
}

inline constexpr RecordLayout kStm8Records{
    .header_tag = "S2",
    .address_bytes = 4,
    .first_address = 0x08000,
    .block_size = 128,
    .block_count = 1024,
    .progress_shift = 10,
    .start_pause_ms = 500,
    .end_tag = "S9",
    .end_carries_last_address = true,
    .end_length = 134,
};

inline constexpr OptionPositions kAsciiPositions{.tv = 12, .hbrake = 8};
inline constexpr OptionPositions kFullPositions{
    .dvd = 5, .tft = 6, .tv = 9, .hbrake = 10, .audio = 11, .radio = 12};

inline constexpr PayloadByte kM3Payload[] = {
    OptionByte(kOptionTft), OptionByte(kOptionDvd),   OptionByte(kOptionRadio),
    OptionByte(kOptionTv),  OptionByte(kOptionAudio), OptionByte(kOptionHbrake),
};
inline constexpr TvRemap kM3TvRemap[] = {{6, 7}, {7, 8}, {8, 6}};

inline constexpr PayloadByte kNecPayload[] = {
    FixedByte(0xC0),       FixedByte(0x00), FixedByte(0x00),           FixedByte(0x00),
    OptionByte(kOptionTv), FixedByte(0x00), OptionByte(kOptionHbrake), OptionByte(kOptionRds),
};

inline constexpr PayloadByte kStm8Payload[] = {
    FixedByte(0xC0),           OptionByte(kOptionTft), OptionByte(kOptionDvd),
    OptionByte(kOptionRadio),  OptionByte(kOptionTv),  OptionByte(kOptionAudio),
    OptionByte(kOptionHbrake), OptionByte(kOptionRds),
};
inline constexpr TvRemap kStm8TvRemap[] = {{8, 4}};

}  // namespace family_table

inline constexpr FamilyDescriptor kM3AsciiFamily{
    .check = family_table::AsciiFileCheck(0x2000, 0x13, 0x1D, 0x00000, 0x1FFFF),
    .records = family_table::Records256(4, 500, 260),
    .option_positions = family_table::kAsciiPositions,
    .option_write = {.tv_letters = family_table::kTvLetters},
};

inline constexpr FamilyDescriptor kNecAsciiFamily{
    .check = family_table::AsciiFileCheck(0x2000, 0x13, 0x1D, 0x00000, 0x1FFFF),
    .records = family_table::Records256(3, 500, 260),
    .option_positions = family_table::kAsciiPositions,
    .option_write = {.tv_letters = family_table::kTvLetters},
};

inline constexpr FamilyDescriptor kStm8AsciiFamily{
    .check = family_table::AsciiFileCheck(0x8100, 0x20, 0x2A, 0x08000, 0x27FFF),
    .records = family_table::kStm8Records,
    .option_positions = family_table::kAsciiPositions,
    .option_write = {.tv_letters = family_table::kStm8TvLetters},
};

inline constexpr FamilyDescriptor kM3FrameFamily{
    .check =
        {
            .marker_offset = 0x1F60F,
            .marker = 'V',
            .description = 0x1F600,
            .second_description = {},
            .checksum_first = 0x00000,
            .checksum_last = 0x1FFFF,
            .file_identity = {TextSource::kImage, 0x1F600, 5, TextEnd::kFixed},
            .unit_identity = {TextSource::kVersionText, 0, 5, TextEnd::kFixed},
            .unit_text = {{TextSource::kVersionText, 0, 5, TextEnd::kLineEnd},
                          TextPiece{TextSource::kVersionText, 16, 4, TextEnd::kLineEnd}},
            .file_text = {{TextSource::kImage, 0x1F600, 5, TextEnd::kLineEnd},
                          TextPiece{TextSource::kImage, 0x1F610, 4, TextEnd::kLineEnd}},
            .hint = {TextSource::kVersionText, 0, 5, TextEnd::kLineEnd},
        },
    // This boot loader needs longer to get ready, and takes one more end record byte.
    .records = family_table::Records256(4, 2000, 261),
    .option_positions = family_table::kFullPositions,
    .option_write = {.frame_payload = family_table::kM3Payload,
                     .frame_tv_remap = family_table::kM3TvRemap},
};

inline constexpr FamilyDescriptor kNecFrameFamily{
    .check =
        {
            .marker_offset = 0x2000,
            .marker = '$',
            .description = 0x2000,
            .second_description = {},
            .checksum_first = 0x00000,
            .checksum_last = 0x1FFFF,
            .file_identity = {TextSource::kImage, 0x2018, 8, TextEnd::kFixed},
            .unit_identity = {TextSource::kInformationText, 24, 8, TextEnd::kFixed},
            .unit_text = {{TextSource::kInformationText, 24, 7, TextEnd::kLineEnd},
                          TextPiece{TextSource::kInformationText, 2, 4, TextEnd::kLineEnd}},
            .file_text = {{TextSource::kImage, 0x2018, 7, TextEnd::kLineEnd},
                          TextPiece{TextSource::kImage, 0x2002, 4, TextEnd::kLineEnd}},
            .hint = {TextSource::kInformationText, 24, 7, TextEnd::kLineEnd},
        },
    .records = family_table::Records256(3, 500, 260),
    .option_positions = {.tv = 9, .hbrake = 10},
    .option_write = {.frame_payload = family_table::kNecPayload},
};

inline constexpr FamilyDescriptor kStm8FrameFamily{
    .check =
        {
            .marker_offset = 0x8100,
            .marker = '$',
            .description = 0x8100,
            .second_description = {},
            .checksum_first = 0x08000,
            .checksum_last = 0x27FFF,
            .file_identity = {TextSource::kImage, 0x8102, 5, TextEnd::kFixed},
            .unit_identity = {TextSource::kInformationText, 2, 5, TextEnd::kFixed},
            .unit_text = {{TextSource::kInformationText, 2, 5, TextEnd::kFixed},
                          TextPiece{TextSource::kInformationText, 7, 4, TextEnd::kFixed}},
            .file_text = {{TextSource::kImage, 0x8102, 5, TextEnd::kFixed},
                          TextPiece{TextSource::kImage, 0x8107, 4, TextEnd::kFixed}},
            .hint = {TextSource::kInformationText, 29, 7, TextEnd::kFixed},
        },
    .records = family_table::kStm8Records,
    .option_positions = family_table::kFullPositions,
    .option_write = {.frame_payload = family_table::kStm8Payload,
                     .frame_tv_remap = family_table::kStm8TvRemap},
};

namespace family_table {

// Programming sends exactly the range the file check sums, and never reads past the image.
constexpr bool ProgramsTheCheckedRange(const FamilyDescriptor& family) {
    const RecordLayout& records = family.records;
    const std::size_t end = records.first_address + records.block_size * records.block_count;
    return records.first_address == family.check.checksum_first &&
           end == family.check.checksum_last + 1 && end <= kImageSize;
}
static_assert(ProgramsTheCheckedRange(kM3AsciiFamily));
static_assert(ProgramsTheCheckedRange(kNecAsciiFamily));
static_assert(ProgramsTheCheckedRange(kStm8AsciiFamily));
static_assert(ProgramsTheCheckedRange(kM3FrameFamily));
static_assert(ProgramsTheCheckedRange(kNecFrameFamily));
static_assert(ProgramsTheCheckedRange(kStm8FrameFamily));

}  // namespace family_table
}  // namespace velkor
