// What the three R3360 family classes share: the family procedures on the ASCII dialect,
// driven by the family's descriptor.
#pragma once

#include <cstdint>
#include <string_view>

#include "link/ascii_commands.h"
#include "link/ascii_link.h"
#include "procedures/family_descriptor.h"
#include "procedures/programming_state.h"

namespace velkor {

class CAsciiFamilyLink : public CAsciiLink {
  public:
    int WriteConfiguration() override;
    int DecodeOptions() override;
    int CheckFile(const std::uint8_t* image) override;
    int Program(const std::uint8_t* image) override;

  protected:
    CAsciiFamilyLink(LinkContext& context, ProgrammingState& state, const FamilyDescriptor& family)
        : CAsciiLink(context), state_(state), family_(family) {}

    // The command that puts the main MCU into its boot loader.
    virtual std::string_view MainEntryCommand() const { return kAsciiEnterMainProgramming; }
    // Runs between the description and the checksum when the main MCU is the target:
    // 0 lets the check go on, anything else is CheckFile's result.
    virtual int ScreenFile(const std::uint8_t* /*image*/) { return 0; }

  private:
    ProgrammingState& state_;
    const FamilyDescriptor& family_;
};

}  // namespace velkor
