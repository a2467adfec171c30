#include "procedures/family_links.h"

#include "settings/unit_types.h"

namespace velkor {

FamilyLinks::FamilyLinks(LinkContext& context, ProgrammingState& state)
    : ascii(context),
      frame(context),
      stm8_ascii(context, state),
      nec_ascii(context, state),
      m3_ascii(context, state),
      stm8_frame(context, state),
      nec_frame(context, state),
      m3_frame(context, state) {}

CMcuLink* FamilyLinks::Plain(int app) {
    switch (app) {
        case kAppTypeR3360:
            return &ascii;
        case kAppTypeJ5:
            return &frame;
        default:
            return nullptr;
    }
}

CMcuLink* FamilyLinks::Select(int app, int mcu) {
    const bool r3360 = app == kAppTypeR3360;
    if (!r3360 && app != kAppTypeJ5) {
        return nullptr;
    }
    switch (mcu) {
        case kMcuTypeStm8:
            return r3360 ? static_cast<CMcuLink*>(&stm8_ascii) : &stm8_frame;
        case kMcuTypeNec:
            return r3360 ? static_cast<CMcuLink*>(&nec_ascii) : &nec_frame;
        case kMcuTypeM3:
            return r3360 ? static_cast<CMcuLink*>(&m3_ascii) : &m3_frame;
        default:
            return nullptr;
    }
}

}  // namespace velkor
