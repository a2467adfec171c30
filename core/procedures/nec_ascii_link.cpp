#include "procedures/nec_ascii_link.h"

#include "procedures/family_table.h"
#include "procedures/nec_version_rule.h"

namespace velkor {

CNecAsciiLink::CNecAsciiLink(LinkContext& context, ProgrammingState& state)
    : CAsciiFamilyLink(context, state, kNecAsciiFamily) {}

int CNecAsciiLink::CheckFile(const std::uint8_t* image) {
    v4_unit_ = false;  // only a check that reaches the version rule may set it
    return CAsciiFamilyLink::CheckFile(image);
}

std::string_view CNecAsciiLink::MainEntryCommand() const {
    return v4_unit_ ? kAsciiEnterMainProgrammingV4 : kAsciiEnterMainProgramming;
}

int CNecAsciiLink::ScreenFile(const std::uint8_t* image) {
    const NecVersionVerdict verdict =
        ApplyNecVersionRule(replies().version_text[0], image[kNecFileVersionOffset], report());
    v4_unit_ = verdict.v4_unit;
    return verdict.result;
}

}  // namespace velkor
