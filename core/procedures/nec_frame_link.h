// NEC MCU of J5 units: Intel HEX firmware, programmed from 0 in 256-byte records.
#pragma once

#include "procedures/family_table.h"
#include "procedures/frame_family_link.h"

namespace velkor {

class CNecFrameLink final : public CFrameFamilyLink {
  public:
    CNecFrameLink(LinkContext& context, ProgrammingState& state)
        : CFrameFamilyLink(context, state, kNecFrameFamily) {}
};

}  // namespace velkor
