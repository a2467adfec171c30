// What the three J5 family classes share: the family procedures on the framed dialect,
// driven by the family's descriptor.
#pragma once

#include <cstdint>

#include "link/frame_link.h"
#include "procedures/family_descriptor.h"
#include "procedures/programming_state.h"

namespace velkor {

class CFrameFamilyLink : public CFrameLink {
  public:
    int WriteConfiguration() override;
    int DecodeOptions() override;
    int CheckFile(const std::uint8_t* image) override;
    int Program(const std::uint8_t* image) override;

  protected:
    CFrameFamilyLink(LinkContext& context, ProgrammingState& state, const FamilyDescriptor& family)
        : CFrameLink(context), state_(state), family_(family) {}

  private:
    ProgrammingState& state_;
    const FamilyDescriptor& family_;
};

}  // namespace velkor
