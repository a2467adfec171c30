// M3 MCU of J5 units: Intel HEX firmware whose description sits near the top of its range.
#pragma once

#include "procedures/family_table.h"
#include "procedures/frame_family_link.h"

namespace velkor {

class CM3FrameLink final : public CFrameFamilyLink {
  public:
    CM3FrameLink(LinkContext& context, ProgrammingState& state)
        : CFrameFamilyLink(context, state, kM3FrameFamily) {}
};

}  // namespace velkor
