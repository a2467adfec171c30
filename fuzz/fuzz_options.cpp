// The unit options of every model and MCU family, decoded from the version text through the
// family object as the update does, and coded back into the family's option command.
//
// Input: a selector byte (the model as AppType, low nibble mod 3, and the MCU family as
// McuType, low nibble / 3, undetermined values included), then the version text: the link
// stores its first 50 bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/fuzz_unit_input.h"
#include "fuzz/offline_families.h"
#include "link/link_context.h"
#include "procedures/family_links.h"
#include "procedures/family_options.h"
#include "procedures/option_codes.h"
#include "settings/option_lists.h"
#include "settings/unit_types.h"

namespace {

using namespace velkor;
using velkor::fuzz::Check;

// How many entries the option panel has for `option`.
std::size_t EntryCount(std::size_t option) {
    for (const OptionList& list : kOptionLists) {
        if (list.option == option) {
            return list.entries.size();
        }
    }
    return 0;
}

bool IsSwitchLetter(std::uint8_t letter) {
    return letter == 'E' || letter == 'D';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::OfflineFamilies families;
    LinkContext& context = families.context;
    ProgrammingState& state = families.state;
    FamilyLinks& links = families.links;

    fuzz::UnitInput input(data, size);
    const std::uint8_t unit = input.Byte() & 0x0F;
    const int app = unit % 3;
    const int mcu = unit / 3 % 4;
    const auto text = input.Rest();

    CMcuLink* link = links.Select(app, mcu);
    const FamilyDescriptor* family = FamilyOf(static_cast<AppType>(app), static_cast<McuType>(mcu));
    Check((link == nullptr) == (family == nullptr), "family object and table row agree");
    if (link == nullptr) {
        return 0;
    }

    auto& stored = context.replies.version_text;
    stored.fill(0);
    std::copy_n(text.begin(), std::min(text.size(), stored.size()), stored.begin());
    state.unit_options.fill(0xEE);  // another unit's
    Check(link->DecodeOptions() == 0, "decoding always succeeds");
    const UnitOptions options = state.unit_options;

    // The version text as it came, shorter than the store or not: a position past its end
    // reads as the zero an absent reply leaves.
    const auto as_read = text.first(std::min(text.size(), stored.size()));
    Check(DecodeUnitOptions(family->option_positions, as_read) == options,
          "a short text decodes as the zero-filled store");

    const OptionSet reported = ReportedOptions(*family);
    for (std::size_t option = 0; option < kUnitOptionCount; ++option) {
        Check(options[option] < EntryCount(option), "decoded index within its list");
        Check(reported[option] || options[option] == 0, "an unreported option is 0");
    }

    const OptionWriteLayout& write = family->option_write;
    if (!write.tv_letters.empty()) {
        const auto command = AsciiOptionCommand(write.tv_letters, options);
        Check(command[0] == '$' && command[1] == 'W' && command[5] == '\r' && command[6] == '\n',
              "option command frame");
        Check(write.tv_letters.find(static_cast<char>(command[2])) != std::string_view::npos,
              "a TV letter of the family");
        Check(IsSwitchLetter(command[3]) && IsSwitchLetter(command[4]), "switch letters");
    }
    if (!write.frame_payload.empty()) {
        const auto payload = FrameOptionPayload(write, options);
        Check(payload.size() == write.frame_payload.size(), "option frame payload size");
        for (std::size_t i = 0; i < payload.size(); ++i) {
            const PayloadByte& byte = write.frame_payload[i];
            Check(byte.is_option ? payload[i] < EntryCount(byte.value) : payload[i] == byte.value,
                  "option frame byte");
        }
    }
    return 0;
}
