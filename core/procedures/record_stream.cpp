#include "procedures/record_stream.h"

#include <cstdio>
#include <optional>
#include <string>
#include <utility>

#include "procedures/procedure_messages.h"
#include "procedures/procedure_timing.h"
#include "procedures/status_echo.h"
#include "report/report.h"

namespace velkor {
namespace {

constexpr std::uint8_t kRecordDone = '.';
constexpr int kProgressMaximum = 100;

// A boot loader may show a long erase as a stream of status characters, so one record may take
// a while; a line that sends status for a whole minute without '.' is babbling, not working.
constexpr std::uint32_t kRecordStatusLimitMs = 60000;

void AppendAddress(std::vector<std::uint8_t>& bytes, std::size_t address, std::size_t count) {
    for (std::size_t i = count; i-- > 0;) {
        bytes.push_back(static_cast<std::uint8_t>(address >> (8 * i)));
    }
}

// Shows the record's status characters until its '.'; the failure when none came in time.
std::optional<StreamFailure> AwaitRecordDone(CMcuLink& link, StatusEcho& echo) {
    LinkContext& context = link.context();
    const std::uint32_t sent = context.clock.NowMs();
    std::string status;
    const auto failure = [&](StreamFailureCause cause) {
        if (status.size() > StreamFailure::kKeptStatusBytes) {
            status.erase(0, status.size() - StreamFailure::kKeptStatusBytes);
        }
        return StreamFailure{0, 0, cause, std::move(status), context.ElapsedSince(sent)};
    };
    for (;;) {
        const std::uint32_t asked = context.clock.NowMs();
        const int byte = link.ReadByte(kStatusTimeoutMs);
        if (byte < 0) {
            // A read that fails returns at once; only silence lasts the whole time-out.
            if (context.stopping()) {
                return failure(StreamFailureCause::kStopped);
            }
            return failure(context.ElapsedSince(asked) > kStatusTimeoutMs
                               ? StreamFailureCause::kNoStatus
                               : StreamFailureCause::kLineFailed);
        }
        echo.Feed(static_cast<std::uint8_t>(byte));
        if (byte == kRecordDone) {
            return std::nullopt;
        }
        status.push_back(static_cast<char>(byte));
        if (context.ElapsedSince(sent) > kRecordStatusLimitMs) {
            return failure(StreamFailureCause::kBabbling);
        }
    }
}

StreamFailure FailedBy(StreamFailureCause cause) {
    StreamFailure failure;
    failure.cause = cause;
    return failure;
}

// The stream in the log's details: one line for all data records, not one for each.
void NameRecords(Report& report, const RecordLayout& layout) {
    char line[128];
    std::snprintf(line, sizeof line, "-> records \"%.*s\": %zu of %zu bytes from 0x%05zX\r\n",
                  static_cast<int>(layout.header_tag.size()), layout.header_tag.data(),
                  layout.block_count, layout.block_size, layout.first_address);
    report.AppendDetail(line);
}

void NameEndRecord(Report& report, const RecordLayout& layout, std::size_t length) {
    char line[96];
    std::snprintf(line, sizeof line, "-> end record \"%.*s\": %zu bytes\r\n",
                  static_cast<int>(layout.end_tag.size()), layout.end_tag.data(), length);
    report.AppendDetail(line);
}

}  // namespace

std::vector<std::uint8_t> RecordHeader(const RecordLayout& layout, std::size_t address) {
    std::vector<std::uint8_t> header(layout.header_tag.begin(), layout.header_tag.end());
    AppendAddress(header, address, layout.address_bytes);
    return header;
}

std::vector<std::uint8_t> EndRecord(const RecordLayout& layout) {
    std::vector<std::uint8_t> record(layout.end_tag.begin(), layout.end_tag.end());
    if (layout.end_carries_last_address) {
        const std::size_t last =
            layout.first_address + (layout.block_count - 1) * layout.block_size;
        AppendAddress(record, last, layout.address_bytes);
    }
    record.resize(layout.end_length, 0);  // the filler carries no meaning: zeros
    return record;
}

int SendRecords(CMcuLink& link, const RecordLayout& layout, const std::uint8_t* image,
                StreamOutcome& outcome) {
    LinkContext& context = link.context();
    outcome = StreamOutcome{};
    outcome.records_total = layout.block_count;
    outcome.record_bytes = layout.block_size;
    const auto broke_off = [&](std::size_t block, StreamFailure failure) {
        failure.record = block + 1;
        failure.address = layout.first_address + block * layout.block_size;
        outcome.failure = std::move(failure);
        outcome.ended_ms = context.clock.NowMs();
        return kProgramFailed;
    };
    const auto advanced = [&] {
        link.report().StreamAdvanced({outcome.records_done, outcome.records_total,
                                      outcome.bytes_done(), outcome.bytes_total()});
    };

    link.report().AppendLog(kLogUpdateStart);
    if (!context.Pause(layout.start_pause_ms)) {
        return broke_off(0, FailedBy(StreamFailureCause::kStopped));
    }
    link.Purge();
    link.report().ProgressReset(kProgressMaximum);
    StatusEcho echo(link.report());
    NameRecords(link.report(), layout);
    outcome.started_ms = context.clock.NowMs();
    advanced();
    int progress = 0;
    for (std::size_t block = 0; block < layout.block_count; ++block) {
        // Between two records is the safe place to stop: no record goes out half-written.
        if (context.stopping()) {
            return broke_off(block, FailedBy(StreamFailureCause::kStopped));
        }
        const std::size_t address = layout.first_address + block * layout.block_size;
        link.Purge();
        outcome.began = true;
        // A record only partly written would put the boot loader out of step with the
        // stream: stop rather than send the rest as if it had gone.
        const auto header = RecordHeader(layout, address);
        if (!link.Write(header.data(), header.size()) ||
            !link.Write(image + address, layout.block_size)) {
            return broke_off(block, FailedBy(StreamFailureCause::kLineFailed));
        }
        if (auto failure = AwaitRecordDone(link, echo)) {
            return broke_off(block, std::move(*failure));
        }
        ++outcome.records_done;
        advanced();
        const int done = static_cast<int>((block * kProgressMaximum) >> layout.progress_shift);
        if (done != progress) {
            progress = done;
            link.report().ProgressSet(progress);
        }
    }
    link.report().ProgressSet(kProgressMaximum);
    // Without its end record the MCU stays in the boot loader: that is no success. A stop
    // keeps it there too, so that a run stopped because of a wrong file is not finished.
    if (context.stopping()) {
        return broke_off(layout.block_count - 1, FailedBy(StreamFailureCause::kStopped));
    }
    const auto end = EndRecord(layout);
    NameEndRecord(link.report(), layout, end.size());
    const bool ended = link.Write(end.data(), end.size());
    outcome.ended_ms = context.clock.NowMs();
    if (!ended) {
        return broke_off(layout.block_count - 1, FailedBy(StreamFailureCause::kLineFailed));
    }
    return kProgramDone;
}

}  // namespace velkor
