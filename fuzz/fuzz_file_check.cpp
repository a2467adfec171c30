// The file check of every model and MCU family: the unit's version and information texts
// against the description block of a firmware image, through the family object as the update
// runs it (with the NEC version rule of R3360 units).
//
// Input: two selector bytes, then the version text and the information text as parts (see
// UnitInput; cut to what the link stores: 50 bytes, and 1023 so that the terminator stays),
// then the image's description area: the rest of the input, placed where the family keeps its
// block in an otherwise empty image. First selector byte: the model (AppType, low nibble mod
// 3) and the MCU family (McuType, low nibble / 3), undetermined values included. Second: bit 0
// the slave MCU is the target; bit 1 the family's marker byte is set whatever the area holds;
// bit 2 the image after the area is filled with the area's last byte (texts without an end
// up to the image's end); bit 3 no image is loaded.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "fuzz/fuzz_unit_input.h"
#include "fuzz/offline_families.h"
#include "image/firmware_image.h"
#include "link/link_context.h"
#include "procedures/family_links.h"
#include "procedures/family_options.h"
#include "procedures/nec_version_rule.h"
#include "settings/unit_types.h"

namespace {

using namespace velkor;
using velkor::fuzz::Check;

std::span<const std::uint8_t> StoreOf(TextSource source, std::span<const std::uint8_t> image,
                                      const McuReplies& replies) {
    switch (source) {
        case TextSource::kImage:
            return image;
        case TextSource::kVersionText:
            return replies.version_text;
        case TextSource::kInformationText:
            return replies.information_text;
    }
    return {};
}

// The identity pieces taken whole, as they are: present in full in their stores and equal.
bool IdentitiesEqual(const FileCheckLayout& layout, std::span<const std::uint8_t> image,
                     const McuReplies& replies) {
    const TextPiece& file = layout.file_identity;
    const TextPiece& unit = layout.unit_identity;
    const auto file_store = StoreOf(file.source, image, replies);
    const auto unit_store = StoreOf(unit.source, image, replies);
    if (file.max_length != unit.max_length || file.offset + file.max_length > file_store.size() ||
        unit.offset + unit.max_length > unit_store.size()) {
        return false;
    }
    return std::equal(
        file_store.begin() + static_cast<std::ptrdiff_t>(file.offset),
        file_store.begin() + static_cast<std::ptrdiff_t>(file.offset + file.max_length),
        unit_store.begin() + static_cast<std::ptrdiff_t>(unit.offset));
}

// The sum of the checksum range, taken from what the image was made of: the area's bytes as
// placed, the filler after them (counted, not read: the image is mostly filler then) and the
// marker wherever it landed.
std::uint32_t RangeSum(const FileCheckLayout& layout, std::span<const std::uint8_t> image,
                       std::size_t base, std::size_t placed, std::uint8_t filler) {
    const std::size_t first = layout.checksum_first;
    const std::size_t end = layout.checksum_last + 1;
    const std::size_t area_end = base + placed;
    std::uint32_t sum = 0;
    for (std::size_t i = std::max(first, base); i < std::min(end, area_end); ++i) {
        sum += image[i];
    }
    if (area_end < end) {
        sum += filler * static_cast<std::uint32_t>(end - std::max(first, area_end));
    }
    const std::size_t marker = layout.marker_offset;
    if (marker >= area_end && marker >= first && marker < end) {
        sum = sum - filler + image[marker];  // modulo 2^32, as the check sums
    }
    return sum;
}

bool AtLeastV4(std::uint8_t major) {
    return static_cast<std::int8_t>(major) >= '4';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static std::vector<std::uint8_t> image(kImageSize);
    static fuzz::OfflineFamilies families;
    LinkContext& context = families.context;
    ProgrammingState& state = families.state;
    FamilyLinks& links = families.links;

    fuzz::UnitInput input(data, size);
    const std::uint8_t unit = input.Byte() & 0x0F;
    const std::uint8_t flags = input.Byte();
    const int app = unit % 3;
    const int mcu = unit / 3 % 4;
    const bool slave = (flags & 0x01) != 0;
    const bool marked = (flags & 0x02) != 0;
    const bool filled = (flags & 0x04) != 0;
    const bool no_image = (flags & 0x08) != 0;
    const auto version = input.Part();
    const auto information = input.Part();
    const auto area = input.Rest();

    CMcuLink* link = links.Select(app, mcu);
    const FamilyDescriptor* family = FamilyOf(static_cast<AppType>(app), static_cast<McuType>(mcu));
    Check((link == nullptr) == (family == nullptr), "family object and table row agree");
    if (link == nullptr) {
        return 0;
    }
    const FileCheckLayout& layout = family->check;
    const bool nec_ascii = link == &links.nec_ascii;

    McuReplies& replies = context.replies;
    replies.version_text.fill(0);
    std::copy_n(version.begin(), std::min(version.size(), kVersionTextSize),
                replies.version_text.begin());
    replies.information_text.fill(0);
    std::copy_n(information.begin(), std::min(information.size(), kInformationTextLimit),
                replies.information_text.begin());

    const std::size_t base = std::min(layout.marker_offset, layout.description);
    const std::size_t placed = std::min(area.size(), kImageSize - base);
    const std::uint8_t filler = filled && !area.empty() ? area.back() : 0;
    // memset, not a byte loop: the whole image is laid out again for every input.
    std::memset(image.data(), 0, base);
    if (placed > 0) {
        std::memcpy(image.data() + base, area.data(), placed);
    }
    std::memset(image.data() + base + placed, filler, kImageSize - base - placed);
    if (marked) {
        image[layout.marker_offset] = layout.marker;
    }

    // What an earlier file left.
    state = ProgrammingState{};
    state.slave = slave ? 1 : 0;
    state.file_checksum = 0xDEADBEEF;
    state.file_checksum_valid = true;
    state.check_verdict = FileVerdict::kConfirmed;

    const int result = link->CheckFile(no_image ? nullptr : image.data());

    const bool described = !no_image && image[layout.marker_offset] == layout.marker;
    const FileVerdict verdict = state.check_verdict;
    Check(result == 0 || (result == 1 && verdict == FileVerdict::kRefusedByVersionRule),
          "check result");
    Check(state.file_checksum_valid ==
              (verdict == FileVerdict::kConfirmed || verdict == FileVerdict::kNotForThisUnit),
          "a checksum exactly when the check got that far");
    if (!described) {
        Check(verdict == FileVerdict::kNoDescription, "no marker, no description");
    } else if (slave) {
        Check(verdict == FileVerdict::kSlaveNotChecked, "a slave image is taken as it is");
    } else if (nec_ascii &&
               AtLeastV4(replies.version_text[0]) != AtLeastV4(image[kNecFileVersionOffset])) {
        Check(verdict == FileVerdict::kRefusedByVersionRule, "version rule refuses");
    } else {
        Check(verdict == (IdentitiesEqual(layout, image, replies) ? FileVerdict::kConfirmed
                                                                  : FileVerdict::kNotForThisUnit),
              "confirmed exactly when the identities are equal");
        Check(state.file_checksum == RangeSum(layout, image, base, placed, filler),
              "file checksum");
    }
    if (nec_ascii) {
        // Programming picks its entry command by this flag: only a rule that ran may set it.
        const bool rule_ran = described && !slave;
        Check(links.nec_ascii.v4_unit() == (rule_ran && AtLeastV4(replies.version_text[0])),
              "V4 unit flag");
    }
    return 0;
}
