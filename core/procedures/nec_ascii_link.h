// NEC MCU of R3360 units: Intel HEX firmware, programmed from 0 in 256-byte records. Units
// from major version 4 on take their firmware through another entry command, and only
// firmware of their own generation (see nec_version_rule.h).
#pragma once

#include <cstdint>
#include <string_view>

#include "procedures/ascii_family_link.h"

namespace velkor {

class CNecAsciiLink final : public CAsciiFamilyLink {
  public:
    CNecAsciiLink(LinkContext& context, ProgrammingState& state);

    // 1 when the version rule refuses the file; else as every family's check.
    int CheckFile(const std::uint8_t* image) override;

    // The V4 unit flag: the last check found a unit of major version 4 or later. Program
    // relies on it, so a check must come before programming.
    bool v4_unit() const { return v4_unit_; }

  protected:
    std::string_view MainEntryCommand() const override;
    int ScreenFile(const std::uint8_t* image) override;

  private:
    bool v4_unit_ = false;
};

}  // namespace velkor
