// M3 MCU of R3360 units: Intel HEX firmware, programmed from 0 in 256-byte records.
#pragma once

#include "procedures/ascii_family_link.h"
#include "procedures/family_table.h"

namespace velkor {

class CM3AsciiLink final : public CAsciiFamilyLink {
  public:
    CM3AsciiLink(LinkContext& context, ProgrammingState& state)
        : CAsciiFamilyLink(context, state, kM3AsciiFamily) {}
};

}  // namespace velkor
