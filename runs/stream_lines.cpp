#include "runs/stream_lines.h"

#include <cstdio>

#include "platform/traffic_text.h"
#include "procedures/procedure_timing.h"
#include "terminal/transfer_figures.h"

namespace velkor {

std::string ProgrammedLine(const StreamOutcome& stream) {
    const bool whole = stream.records_done == stream.records_total;
    std::string line = "Programmed " + GroupedCount(stream.records_done);
    if (!whole) {
        line += " of " + GroupedCount(stream.records_total);
    }
    line += " records (" + GroupedCount(stream.bytes_done());
    if (!whole) {
        line += " of " + GroupedCount(stream.bytes_total());
    }
    line += " bytes) in " + SecondsText(stream.duration_ms()) + " (" +
            RateText(stream.bytes_done(), stream.duration_ms()) + ")";
    return line;
}

namespace {

std::string HexBytes(const std::string& bytes) {
    return HexText({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

}  // namespace

std::string FailureLine(const StreamOutcome& stream) {
    const StreamFailure& failure = *stream.failure;
    char address[32];
    std::snprintf(address, sizeof address, "0x%05zX", failure.address);
    std::string line = "Record " + GroupedCount(failure.record) + " of " +
                       GroupedCount(stream.records_total) + " (address " + address + "): ";
    switch (failure.cause) {
        case StreamFailureCause::kNoStatus:
            line += "no acknowledgement within " + std::to_string(kStatusTimeoutMs / 1000) + " s";
            break;
        case StreamFailureCause::kLineFailed:
            line += "the line hung up";
            break;
        case StreamFailureCause::kBabbling:
            line += "unexpected reply " + HexBytes(failure.status_bytes) + " without its '.'";
            break;
        case StreamFailureCause::kStopped:
            line += "stopped";
            break;
    }
    if (failure.cause != StreamFailureCause::kBabbling && !failure.status_bytes.empty()) {
        line += " after " + HexBytes(failure.status_bytes);
    }
    line += " (waited " + GroupedCount(failure.waited_ms) + " ms)";
    return line;
}

}  // namespace velkor
