#include "procedures/family_options.h"

#include "procedures/family_table.h"

namespace velkor {

const FamilyDescriptor* FamilyOf(AppType model, McuType mcu) {
    const bool r3360 = model == kAppTypeR3360;
    if (!r3360 && model != kAppTypeJ5) {
        return nullptr;
    }
    switch (mcu) {
        case kMcuTypeStm8:
            return r3360 ? &kStm8AsciiFamily : &kStm8FrameFamily;
        case kMcuTypeNec:
            return r3360 ? &kNecAsciiFamily : &kNecFrameFamily;
        case kMcuTypeM3:
            return r3360 ? &kM3AsciiFamily : &kM3FrameFamily;
        default:
            return nullptr;
    }
}

OptionSet ReportedOptions(const FamilyDescriptor& family) {
    const OptionPositions& at = family.option_positions;
    OptionSet reported;
    reported[kOptionTft] = at.tft.has_value();
    reported[kOptionDvd] = at.dvd.has_value();
    reported[kOptionTv] = at.tv.has_value();
    reported[kOptionAudio] = at.audio.has_value();
    reported[kOptionRadio] = at.radio.has_value();
    reported[kOptionHbrake] = at.hbrake.has_value();
    return reported;
}

OptionSet CarriedOptions(const FamilyDescriptor& family) {
    const OptionWriteLayout& write = family.option_write;
    OptionSet carried;
    if (!write.tv_letters.empty()) {
        // The ASCII command: TV, hand brake and RDS letters.
        carried[kOptionTv] = carried[kOptionHbrake] = carried[kOptionRds] = true;
    }
    for (const PayloadByte& byte : write.frame_payload) {
        if (byte.is_option) {
            carried[byte.value] = true;
        }
    }
    return carried;
}

}  // namespace velkor
