#include "sim/record_format.h"

namespace velkor::sim {
namespace {

constexpr FlashRange kStm8Range{0x08000, 0x28000};
constexpr FlashRange kNecM3Range{0x00000, 0x20000};

}  // namespace

std::optional<FlashRange> ProgrammedRange(McuType family) {
    switch (family) {
        case kMcuTypeStm8:
            return kStm8Range;
        case kMcuTypeNec:
        case kMcuTypeM3:
            return kNecM3Range;
        default:
            return std::nullopt;
    }
}

std::optional<RecordFormat> BootLoaderRecordFormat(AppType model, McuType family) {
    if (model != kAppTypeR3360 && model != kAppTypeJ5) {
        return std::nullopt;
    }
    switch (family) {
        case kMcuTypeStm8:
            // The end record has the shape of a data record: tag, last address, filler.
            return RecordFormat{"S2", 4, 128, "S9", 134, kStm8Range};
        case kMcuTypeNec:
            return RecordFormat{"S", 3, 256, "E", 260, kNecM3Range};
        case kMcuTypeM3:
            // The M3 boot loader of J5 units reads its end record one byte longer.
            return RecordFormat{"S", 4, 256, "E", model == kAppTypeJ5 ? 261u : 260u, kNecM3Range};
        default:
            return std::nullopt;
    }
}

}  // namespace velkor::sim
