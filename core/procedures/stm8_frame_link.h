// STM8 MCU of J5 units: S-record firmware, programmed from 0x8000 in 128-byte records.
#pragma once

#include "procedures/family_table.h"
#include "procedures/frame_family_link.h"

namespace velkor {

class CStm8FrameLink final : public CFrameFamilyLink {
  public:
    CStm8FrameLink(LinkContext& context, ProgrammingState& state)
        : CFrameFamilyLink(context, state, kStm8FrameFamily) {}
};

}  // namespace velkor
