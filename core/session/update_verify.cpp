#include "session/update_verify.h"

#include <cstdarg>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

#include "link/mcu_link.h"

namespace velkor {
namespace {

// Holds back what the session's report is given while it lives; the owner passes it on or
// lets it go.
class HeldLog final : public ReportSink {
  public:
    explicit HeldLog(Report& report) : report_(report), next_(report.SetSink(this)) {}
    ~HeldLog() override { report_.SetSink(next_); }
    HeldLog(const HeldLog&) = delete;
    HeldLog& operator=(const HeldLog&) = delete;

    void AppendText(std::string_view text) override {
        held_.push_back({std::string(text), std::nullopt, false});
    }
    void AppendMarked(std::string_view text, LogKind kind) override {
        held_.push_back({std::string(text), kind, false});
    }
    void AppendForeign(std::string_view text, std::optional<LogKind> kind) override {
        held_.push_back({std::string(text), kind, true});
    }
    void ResetProgress(int /*maximum*/) override {}
    void SetProgress(int /*position*/) override {}

    void PassOn() {
        report_.SetSink(next_);
        for (const Held& piece : held_) {
            if (piece.foreign) {
                if (next_ != nullptr) {
                    next_->AppendForeign(piece.text, piece.kind);
                }
            } else if (piece.kind) {
                report_.AppendMarked(piece.text, *piece.kind);
            } else {
                report_.AppendLog(piece.text);
            }
        }
        held_.clear();
    }

  private:
    struct Held {
        std::string text;
        std::optional<LogKind> kind;
        bool foreign = false;  // from the unit: UTF-8 already, for AppendForeign of the sink
    };

    Report& report_;
    ReportSink* next_;
    std::vector<Held> held_;
};

// The verify's last line: the one a quiet log keeps.
void Outcome(Report& report, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Outcome(Report& report, const char* format, ...) {
    char line[160];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    report.AppendOutcome(line);
}

// Repeats the version query until the MCU answers it; false when it did not in time or the
// session is stopping.
bool WaitForReturn(UpdateSession& session, std::uint32_t timeout_ms, VerifyOutcome& outcome) {
    LinkContext& context = session.context;
    const std::uint32_t start = context.clock.NowMs();
    for (;;) {
        const std::uint32_t attempt = context.clock.NowMs();
        {
            // Each unanswered query would log its own "no response": only the answer counts.
            HeldLog held(session.report);
            if (session.current_link->QueryVersion() == kLinkOk) {
                held.PassOn();
                outcome.version_text = std::string(context.replies.VersionText());
                outcome.waited_ms = context.ElapsedSince(start);
                return true;
            }
        }
        const std::uint32_t elapsed = context.ElapsedSince(start);
        const std::uint32_t since_attempt = context.ElapsedSince(attempt);
        const std::uint32_t pause =
            since_attempt < kVerifyQueryIntervalMs ? kVerifyQueryIntervalMs - since_attempt : 0;
        outcome.waited_ms = elapsed;
        // No query starts at or after the limit.
        if (context.stopping() || elapsed + pause >= timeout_ms) {
            return false;
        }
        if (pause > 0 && !context.Pause(pause)) {
            return false;
        }
    }
}

VerifyOutcome NotPossible(Report& report, std::string_view why) {
    report.AppendOutcome(why);
    return {};
}

}  // namespace

VerifyOutcome VerifyUpdate(UpdateSession& session, std::uint32_t timeout_ms) {
    Report& report = session.report;
    const ProgrammingState& programming = session.programming;
    CMcuLink* link = session.current_link;
    if (link == nullptr) {
        return NotPossible(report, "Verify: not possible, no MCU link\r\n");
    }
    if (programming.slave != 0) {
        // The checksum query answers for the main MCU only.
        return NotPossible(report, "Verify: not possible for the slave MCU\r\n");
    }
    if (!programming.file_checksum_valid) {
        return NotPossible(report, "Verify: not possible, the file has no valid file checksum\r\n");
    }
    const std::uint32_t file_checksum = programming.file_checksum;
    const std::optional<std::uint32_t> expected = link->ChecksumAsReplied(file_checksum);
    if (!expected) {
        Outcome(report,
                "Verify: not possible, the MCU's checksum reply cannot carry the file "
                "checksum %08X\r\n",
                file_checksum);
        return {};
    }
    if (*expected != file_checksum) {
        report.LogPrintf(
            "Verify: the MCU's checksum reply carries the file checksum %08X as "
            "%08X\r\n",
            file_checksum, *expected);
    }

    report.LogPrintf("Verify: waiting up to %u s for the MCU to come back\r\n",
                     (timeout_ms + 999) / 1000);
    VerifyOutcome outcome;
    if (!WaitForReturn(session, timeout_ms, outcome)) {
        if (session.context.stopping()) {
            outcome.verdict = VerifyVerdict::kStopped;
            return outcome;  // the report goes nowhere
        }
        outcome.verdict = VerifyVerdict::kNoReturn;
        Outcome(report, "Verify FAILED: the MCU did not come back within %u s\r\n",
                (timeout_ms + 999) / 1000);
        return outcome;
    }
    if (link->QueryChecksum() != kLinkOk) {
        if (session.context.stopping()) {
            outcome.verdict = VerifyVerdict::kStopped;
            return outcome;
        }
        outcome.verdict = VerifyVerdict::kNoChecksum;
        report.AppendOutcome(
            "Verify FAILED: the MCU came back but did not report its checksum\r\n");
        return outcome;
    }
    const std::uint32_t reported = session.context.replies.checksum;
    outcome.mcu_checksum = reported;
    if (reported == *expected) {
        outcome.verdict = VerifyVerdict::kMatches;
        Outcome(report, "Verify: MCU checksum %08X matches the file\r\n", reported);
    } else {
        outcome.verdict = VerifyVerdict::kMismatch;
        Outcome(report, "Verify FAILED: MCU checksum %08X, file checksum %08X\r\n", reported,
                file_checksum);
    }
    return outcome;
}

}  // namespace velkor
