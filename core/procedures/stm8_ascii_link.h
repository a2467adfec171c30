// STM8 MCU of R3360 units: S-record firmware, programmed from 0x8000 in 128-byte records.
#pragma once

#include "procedures/ascii_family_link.h"
#include "procedures/family_table.h"

namespace velkor {

class CStm8AsciiLink final : public CAsciiFamilyLink {
  public:
    CStm8AsciiLink(LinkContext& context, ProgrammingState& state)
        : CAsciiFamilyLink(context, state, kStm8AsciiFamily) {}
};

}  // namespace velkor
