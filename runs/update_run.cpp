#include "runs/update_run.h"

#include <cstdio>
#include <optional>

#include "platform/resource_shortage.h"
#include "platform/text.h"
#include "record/session_facts.h"
#include "runs/firmware_file_problem.h"
#include "runs/log_watch.h"
#include "runs/sink_in_front.h"
#include "runs/stream_lines.h"
#include "runs/window_texts.h"
#include "session/sequence_messages.h"
#include "session/update_session.h"

namespace velkor {
namespace {

constexpr std::string_view kLogNotConfirmed =
    "Not updated: the check did not confirm this file for this unit.\r\n"
    "Give --force to program it anyway.\r\n";
constexpr std::string_view kLogCheckNotConfirmed =
    "Not confirmed: the check did not confirm this file for this unit.\r\n";
constexpr std::string_view kLogCheckConfirmed = "Confirmed: the file is for this unit.\r\n";
constexpr std::string_view kLogForced = "Programming anyway, as --force asks.\r\n";
constexpr std::string_view kLogRecoverAdvice =
    "If an interrupted update left the unit in its boot loader, run again with --recover.\r\n";
constexpr std::string_view kLogNotWhole =
    "Not updated: a file that holds no data, or does not end with its end record, is never "
    "programmed.\r\n";

// How far a run had come when it was stopped.
enum class Reached {
    kNothingWritten,  // the programming entry was not sent
    kBootLoader,      // it was: the unit may be in its boot loader
    kProgrammed,      // the end record went out: only the verify was left
};

std::string_view InterruptedLine(Reached reached) {
    switch (reached) {
        case Reached::kNothingWritten:
            break;
        case Reached::kBootLoader:
            return kLogInterruptedInBootLoader;
        case Reached::kProgrammed:
            return kLogInterruptedBeforeVerify;
    }
    return kLogInterruptedNothingWritten;
}

// The information text is free bytes: end its last line so that the next starts clean.
void EndInformationLine(UpdateSession& session) {
    if (const auto text = session.context.replies.InformationText();
        !text.empty() && text.back() != '\n') {
        session.report.AppendLog("\r\n");
    }
}

const char* ResultWord(int exit) {
    switch (exit) {
        case kWriteUpdated:
            return "updated";
        case kWriteNoVersion:
            return "no_version";
        case kWritePortFailed:
            return "port_failed";
        case kWriteNoFile:
            return "no_file";
        case kWriteNotConfirmed:
            return "not_confirmed";
        case kWriteProgramFailed:
            return "program_failed";
        case kWriteVerifyFailed:
            return "verify_failed";
        default:
            return "failed";
    }
}

// What check says after a confirmed file: whether the unit holds it already. The record's
// result: "up_to_date" when it does, "confirmed" otherwise.
const char* TellUpToDate(UpdateSession& session, const RunRecord& record) {
    const ProgrammingState& programming = session.programming;
    const std::optional<std::uint32_t>& mcu_checksum = record.mcu_checksum_before;
    Report& report = session.report;
    if (!programming.file_checksum_valid) {
        report.AppendOutcome(
            "Whether the unit holds the file is not known: the check computed no file "
            "checksum.\r\n");
    } else if (!mcu_checksum) {
        report.AppendOutcome(
            "Whether the unit holds the file is not known: the MCU did not report its "
            "checksum.\r\n");
    } else if (*mcu_checksum == programming.file_checksum) {
        char line[64];
        std::snprintf(line, sizeof line, "Up to date: MCU checksum %08X matches the file\r\n",
                      *mcu_checksum);
        report.AppendOutcome(line);
        return "up_to_date";
    } else {
        char line[96];
        std::snprintf(line, sizeof line,
                      "Not up to date: MCU checksum %08X, file checksum %08X\r\n", *mcu_checksum,
                      programming.file_checksum);
        report.AppendOutcome(line);
    }
    return "confirmed";
}

struct Steps {
    CommandSession& run;
    const UpdateRequest& request;
    Reached reached = Reached::kNothingWritten;
    // The record's result when the run ended after the check: "up_to_date" or "confirmed".
    const char* check_result = nullptr;

    void Stage(std::string_view name) const {
        if (request.on_stage) {
            request.on_stage(name);
        }
    }
    void NoteShortage(int error) const {
        if (request.resource_error != nullptr && IsResourceShortage(error)) {
            *request.resource_error = error;
        }
    }

    int Run();
    // Loads the file and checks that it is whole; the result to end with otherwise.
    std::optional<int> Load();
    int Recover();
    int Program();
};

// Drops what the file check says: run without a unit's texts to compare with, it would only
// warn that the file is not for the unit. Its file checksum is what the recovery needs.
class CheckUnheard final : public SinkInFront {
  public:
    using SinkInFront::SinkInFront;
    void AppendText(std::string_view /*text*/) override {}
    void AppendMarked(std::string_view /*text*/, LogKind /*kind*/) override {}
    void AppendForeign(std::string_view /*text*/, std::optional<LogKind> /*kind*/) override {}
};

int Steps::Run() {
    UpdateSession& session = run.session();
    RunRecord& record = run.record();
    if (session.links.Plain(request.unit.model) == nullptr ||
        session.links.Select(request.unit.model, request.unit.mcu) == nullptr) {
        return kWritePortFailed;  // the command line admits no such model or family
    }
    // A file that will not do is said before the unit hears a byte.
    if (const auto problem = request.choose_file
                                 ? std::nullopt
                                 : FirmwareFileProblem(request.file, request.unit.mcu)) {
        session.report.AppendError(problem->reader_lines);
        session.report.AppendError("velkor-flash: " + problem->message + "\r\n");
        session.state.firmware_path = request.file;
        TakeFileFacts(session, record);
        NoteShortage(problem->error);
        return kWriteNoFile;
    }
    if (!run.OpenPort(true)) {
        NoteShortage(session.context.open_error);
        return kWritePortFailed;
    }
    Stage("version");
    if (!run.ReadVersion()) {
        if (request.recover && !request.check_only) {
            return Recover();
        }
        session.report.AppendError(kLogRecoverAdvice);
        return kWriteNoVersion;
    }
    Stage("checksum");
    if (session.ReadChecksum() == kLinkOk) {
        session.report.LogPrintf("MCU Checksum: %08X\r\n", session.context.replies.checksum);
    }
    Stage("information");
    session.ReadInformation();
    EndInformationLine(session);
    TakeUnitFacts(session, record);

    session.state.mcu_type = request.unit.mcu;
    session.programming.slave = request.slave ? 1 : 0;
    session.SelectFamily(request.unit.mcu);
    session.state.firmware_path = request.file;
    if (request.choose_file) {
        std::string why;
        const auto chosen = request.choose_file(session, why);
        if (!chosen) {
            session.report.AppendError("velkor-flash: " + why + "\r\n");
            return kWriteNoFile;
        }
        session.state.firmware_path = *chosen;
    }
    Stage("check");
    if (const std::optional<int> refused = Load()) {
        return *refused;
    }
    // The check only advises. On a command line nobody reads its warnings before the update
    // starts, so only its own word that the file fits lets the update go ahead.
    FileVerdict verdict;
    {
        WindowTextsLeftOut window_texts(session.report);
        verdict = session.CheckFirmware();
    }
    TakeFileFacts(session, record);
    if (session.programming.file_checksum_valid) {
        session.report.LogPrintf("File Checksum: %08X\r\n", session.programming.file_checksum);
    }
    const bool confirmed = ConfirmedForUnattendedUpdate(verdict);
    if (request.check_only) {
        if (!confirmed) {
            session.report.AppendError(kLogCheckNotConfirmed);
            return kWriteNotConfirmed;
        }
        session.report.AppendOutcome(kLogCheckConfirmed);
        check_result = TellUpToDate(session, record);
        return kWriteUpdated;
    }
    if (confirmed && request.leave_up_to_date && session.programming.file_checksum_valid &&
        record.mcu_checksum_before == session.programming.file_checksum) {
        char line[96];
        std::snprintf(line, sizeof line,
                      "Up to date: MCU checksum %08X matches the file; not programmed\r\n",
                      session.programming.file_checksum);
        session.report.AppendOutcome(line);
        check_result = "up_to_date";
        return kWriteUpdated;
    }
    if (!confirmed) {
        if (!request.force) {
            session.report.AppendError(kLogNotConfirmed);
            return kWriteNotConfirmed;
        }
        session.report.AppendLog(kLogForced);
        record.forced = true;
    }
    if (session.context.stopping()) {
        return kWriteProgramFailed;  // the boot loader is not entered after a stop
    }
    return Program();
}

std::optional<int> Steps::Load() {
    UpdateSession& session = run.session();
    RunRecord& record = run.record();
    if (session.LoadFirmware() != kLoadOk) {
        TakeFileFacts(session, record);
        if (session.current_image != nullptr) {
            NoteShortage(session.current_image->open_error());
        }
        return kWriteNoFile;  // the reader has logged why
    }
    // Loaded as the tool loads it, with a warning; programmed it would leave the MCU with part
    // of a firmware, or none. Looked at before the port was opened, but the file may have
    // changed since.
    if (!session.current_image->record_facts().Whole()) {
        TakeFileFacts(session, record);
        session.report.AppendError(kLogNotWhole);
        return kWriteNoFile;
    }
    return std::nullopt;
}

int Steps::Recover() {
    UpdateSession& session = run.session();
    RunRecord& record = run.record();
    session.report.AppendLog("No answer: taking the unit to be in its boot loader; programming " +
                             EscapeControls(request.file) + " without the file check\r\n");
    record.recovered = true;
    session.state.mcu_type = request.unit.mcu;
    session.programming.slave = request.slave ? 1 : 0;
    session.SelectFamily(request.unit.mcu);
    session.state.firmware_path = request.file;
    Stage("check");
    if (const std::optional<int> refused = Load()) {
        return *refused;
    }
    {
        CheckUnheard unheard(session.report);
        session.CheckFirmware();
    }
    session.programming.check_verdict = FileVerdict::kNotChecked;  // nothing to check against
    TakeFileFacts(session, record);
    if (session.programming.file_checksum_valid) {
        session.report.LogPrintf("File Checksum: %08X\r\n", session.programming.file_checksum);
    }
    if (session.context.stopping()) {
        return kWriteProgramFailed;
    }
    return Program();
}

int Steps::Program() {
    UpdateSession& session = run.session();
    RunRecord& record = run.record();
    Stage("programming");
    reached = Reached::kBootLoader;
    int programmed;
    {
        LogWatch watch(session.report);
        programmed = session.Program();
        if (!watch.at_line_start()) {
            // After the status characters, the outcome on a line of its own.
            session.report.AppendLog("\r\n");
        }
    }
    const StreamOutcome& stream = session.programming.stream;
    record.programming = stream;
    if (programmed != 0 && stream.failure &&
        stream.failure->cause != StreamFailureCause::kStopped) {
        session.report.AppendError(FailureLine(stream) + "\r\n");
    }
    session.report.AppendOutcome(programmed == 0 ? kLogUpdateComplete : kLogUpdateFail);
    if (programmed != 0) {
        if (stream.began) {
            session.report.AppendOutcome(ProgrammedLine(stream) + "\r\n");
        }
        return kWriteProgramFailed;
    }
    reached = Reached::kProgrammed;
    int exit = kWriteUpdated;
    if (!request.verify) {
        record.verify_skipped = true;
    } else {
        Stage("verifying");
        record.verify = VerifyUpdate(session, request.verify_timeout_ms);
        exit = VerifyFailed(record.verify->verdict) ? kWriteVerifyFailed : kWriteUpdated;
    }
    session.report.AppendOutcome(ProgrammedLine(stream) + "\r\n");
    return exit;
}

}  // namespace

int RunUpdate(SerialPort& port, Clock& clock, const UpdateRequest& request, ReportSink& sink,
              RunRecord* record) {
    CommandSession run(port, clock, sink, request.unit,
                       !request.command.empty() ? request.command
                       : request.check_only     ? "check"
                                                : "write");
    run.record().slave = request.slave;
    Steps steps{run, request};
    const int exit = steps.Run();
    const char* result = exit == kWriteUpdated && steps.check_result != nullptr ? steps.check_result
                                                                                : ResultWord(exit);
    return run.Finish(exit, exit == kWriteUpdated, result, InterruptedLine(steps.reached), record);
}

}  // namespace velkor
