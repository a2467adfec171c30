// The link objects of one run: the plain link of each model and the family object of each
// model and MCU family, all on one shared port and one set of programming values.
#pragma once

#include "link/ascii_link.h"
#include "link/frame_link.h"
#include "procedures/m3_ascii_link.h"
#include "procedures/m3_frame_link.h"
#include "procedures/nec_ascii_link.h"
#include "procedures/nec_frame_link.h"
#include "procedures/programming_state.h"
#include "procedures/stm8_ascii_link.h"
#include "procedures/stm8_frame_link.h"

namespace velkor {

struct FamilyLinks {
    FamilyLinks(LinkContext& context, ProgrammingState& state);
    FamilyLinks(const FamilyLinks&) = delete;
    FamilyLinks& operator=(const FamilyLinks&) = delete;

    // The plain link of the model (an AppType value); null when it is not 1 or 2.
    CMcuLink* Plain(int app);
    // The family object of the model and MCU family (AppType, McuType values); null when
    // either is undetermined or out of range.
    CMcuLink* Select(int app, int mcu);

    CAsciiLink ascii;
    CFrameLink frame;
    CStm8AsciiLink stm8_ascii;
    CNecAsciiLink nec_ascii;
    CM3AsciiLink m3_ascii;
    CStm8FrameLink stm8_frame;
    CNecFrameLink nec_frame;
    CM3FrameLink m3_frame;
};

}  // namespace velkor
