// The family objects on a line nobody answers, for the targets that never touch it (the file
// check, the option decoding): built once, and what they log must be UTF-8.
#pragma once

#include "fuzz/fuzz_unit_input.h"
#include "link/link_context.h"
#include "platform/clock.h"
#include "procedures/family_links.h"
#include "procedures/programming_state.h"
#include "report/report.h"
#include "testing/fake_serial_port.h"

namespace velkor::fuzz {

struct OfflineFamilies {
    VirtualClock clock;
    FakeSerialPort port{clock};
    Utf8CheckingSink sink;
    Report report{&sink};
    LinkContext context{port, clock, report};
    ProgrammingState state;
    FamilyLinks links{context, state};
};

}  // namespace velkor::fuzz
