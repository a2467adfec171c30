// The version, checksum and information queries of both dialects on whatever the unit sends:
// its bytes travel a scripted port on virtual time through the reply waits and matchers into
// the stored replies, in the order `query` and the update run the queries.
//
// Input: a selector byte, then what the unit sends after the version, the checksum and the
// information query, one part each (see UnitInput). Selector bits: 0 the dialect (ASCII,
// framed); 1-2 the gap between the unit's bytes (none, 1 ms, 150 ms: past the information
// text's quiet limit, 1100 ms: past the version reply's idle limit); 3-4 after which part's
// last byte the line drops (never, version, checksum, information).
//
// One target serves both dialects: they share the wait, the information collection and the
// stores, and an input that gets deep into one often does into the other when the selector
// flips.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz/fuzz_unit_input.h"
#include "link/link_context.h"
#include "procedures/family_links.h"
#include "settings/unit_types.h"
#include "testing/fake_serial_port.h"

namespace {

using namespace velkor;
using velkor::fuzz::Check;

constexpr std::uint32_t kGapsMs[] = {0, 1, 150, 1100};
// The queries cross the clock's wrap, so a difference taken the wrong way shows.
constexpr std::uint32_t kStartMs = 0xFFFFFFFFu - 20000;
// The pauses between the queries, as `query` makes them.
constexpr std::uint32_t kAfterVersionMs = 500;
constexpr std::uint32_t kAfterPreludeMs = 100;

// Longer than the three queries can take in all (about 39 s with every wait at its limit): a
// byte due later is never read, so a slow line's input is cut there and stays cheap.
constexpr std::uint32_t kHorizonMs = 60000;

// The unit answers a command with `bytes`, the first 1 ms after now, `gap_ms` apart. Returns
// the time of the last byte (of now + 1 when there is none).
std::uint32_t Answer(FakeSerialPort& port, std::span<const std::uint8_t> bytes,
                     std::uint32_t gap_ms) {
    const std::uint32_t first = port.clock().NowMs() + 1;
    if (gap_ms == 0 || bytes.empty()) {
        port.ArriveAt(first, bytes);
        return first;
    }
    bytes = bytes.first(std::min<std::size_t>(bytes.size(), kHorizonMs / gap_ms + 1));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        port.ArriveAt(first + static_cast<std::uint32_t>(i) * gap_ms, bytes.subspan(i, 1));
    }
    return first + static_cast<std::uint32_t>(bytes.size() - 1) * gap_ms;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::UnitInput input(data, size);
    const std::uint8_t selector = input.Byte();
    const bool framed = (selector & 0x01) != 0;
    const std::uint32_t gap_ms = kGapsMs[(selector >> 1) & 0x03];
    const int drop_after = (selector >> 3) & 0x03;  // 0: the line never drops
    const std::span<const std::uint8_t> parts[] = {input.Part(), input.Part(), input.Part()};

    VirtualClock clock(kStartMs);
    FakeSerialPort port(clock);
    fuzz::Utf8CheckingSink sink;
    Report report(&sink);
    LinkContext context(port, clock, report);
    ProgrammingState state;
    FamilyLinks links(context, state);
    port.Open("/dev/fuzz");
    CMcuLink& link = *links.Plain(framed ? kAppTypeJ5 : kAppTypeR3360);
    const int worst = framed ? kLinkTimedOut : kLinkReadFailed;

    int part = 0;
    const auto answer_next = [&] {
        const std::uint32_t last = Answer(port, parts[part], gap_ms);
        if (++part == drop_after) {
            port.faults().read_from_ms = last + 1;
        }
    };

    answer_next();
    const int version = link.QueryVersion();
    Check(version >= kLinkOk && version <= worst, "version query result");
    context.Pause(kAfterVersionMs);

    answer_next();
    const int checksum = link.QueryChecksum();
    Check(checksum >= kLinkOk && checksum <= worst, "checksum query result");
    link.SendPrelude();
    context.Pause(kAfterPreludeMs);

    answer_next();
    const int information = link.QueryInformation();
    Check(information >= kLinkOk && information <= worst, "information query result");

    const auto& text = context.replies.information_text;
    Check(text[kInformationTextLimit] == 0, "information text keeps its terminator");
    Check(context.replies.InformationText().size() <= kInformationTextLimit,
          "information text within its limit");
    if (!framed && information == kLinkTimedOut) {
        // Only the acknowledgement wait times out in this dialect: nothing was collected.
        Check(std::all_of(text.begin(), text.end(), [](std::uint8_t byte) { return byte == 0; }),
              "an unacknowledged information query leaves an empty text");
    }
    return 0;
}
