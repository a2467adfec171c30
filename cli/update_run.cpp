#include "cli/update_run.h"

#include "cli/held_port.h"
#include "cli/log_watch.h"
#include "record/session_facts.h"
#include "session/sequence_messages.h"
#include "session/update_session.h"

namespace velkor {
namespace {

constexpr std::string_view kLogNotConfirmed =
    "Not updated: the check did not confirm this file for this unit.\r\n"
    "Give --force to program it anyway.\r\n";
constexpr std::string_view kLogForced = "Programming anyway, as --force asks.\r\n";
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

int RunSteps(UpdateSession& session, const UpdateRequest& request, RunRecord& record,
             Reached& reached) {
    const auto stage = [&request](std::string_view name) {
        if (request.on_stage) {
            request.on_stage(name);
        }
    };
    if (session.links.Plain(request.model) == nullptr ||
        session.links.Select(request.model, request.mcu) == nullptr) {
        return kWritePortFailed;  // the command line admits no such model or family
    }
    if (session.context.stopping()) {
        return kWritePortFailed;  // stopped before it began: the port is not even opened
    }
    if (!request.held_by.empty()) {
        session.report.AppendError(HeldPortLine(request.device, request.held_by));
        return kWritePortFailed;
    }

    if (const int opened = session.OpenModelLink(); opened != kOpenOk) {
        // A device that cannot be opened has been explained by the open itself.
        if (opened != kOpenNoDevice) {
            session.report.AppendError(request.device +
                                       " does not take the serial line settings\r\n");
        }
        return kWritePortFailed;
    }
    stage("version");
    if (session.ReadVersion() != kLinkOk) {
        return kWriteNoVersion;
    }
    stage("checksum");
    if (session.ReadChecksum() == kLinkOk) {
        session.report.LogPrintf("MCU Checksum: %08X\r\n", session.context.replies.checksum);
    }
    stage("information");
    session.ReadInformation();
    EndInformationLine(session);
    TakeUnitFacts(session, record);

    session.state.mcu_type = request.mcu;
    session.programming.slave = request.slave ? 1 : 0;
    session.SelectFamily(request.mcu);
    session.state.firmware_path = request.file;
    stage("check");
    if (session.LoadFirmware() != kLoadOk) {
        TakeFileFacts(session, record);
        return kWriteNoFile;  // the reader has logged why
    }
    // Loaded as the tool loads it, with a warning; programmed it would leave the MCU with part
    // of a firmware, or none.
    if (!session.current_image->record_facts().Whole()) {
        TakeFileFacts(session, record);
        session.report.AppendError(kLogNotWhole);
        return kWriteNoFile;
    }
    // The check only advises. On a command line nobody reads its warnings before the update
    // starts, so only its own word that the file fits lets the update go ahead.
    const FileVerdict verdict = session.CheckFirmware();
    TakeFileFacts(session, record);
    if (session.programming.file_checksum_valid) {
        session.report.LogPrintf("File Checksum: %08X\r\n", session.programming.file_checksum);
    }
    if (!ConfirmedForUnattendedUpdate(verdict)) {
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
    stage("programming");
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
    session.report.AppendOutcome(programmed == 0 ? kLogUpdateComplete : kLogUpdateFail);
    if (programmed != 0) {
        return kWriteProgramFailed;
    }
    reached = Reached::kProgrammed;
    if (!request.verify) {
        record.verify_skipped = true;
        return kWriteUpdated;
    }
    stage("verifying");
    record.verify = VerifyUpdate(session, request.verify_timeout_ms);
    return VerifyFailed(record.verify->verdict) ? kWriteVerifyFailed : kWriteUpdated;
}

}  // namespace

int RunUpdate(SerialPort& port, Clock& clock, const UpdateRequest& request, ReportSink& sink,
              RunRecord* record) {
    RunRecord facts = StartRecord("write");
    const std::uint32_t started_ms = clock.NowMs();
    facts.port = request.device;
    facts.model = request.model;
    facts.family = request.mcu;
    facts.slave = request.slave;

    HeldAfterStop log(sink, request.stop);
    UpdateSession session(port, clock, {}, &log);
    RunStop::Watch watch(request.stop, session.context);
    session.state.app_type = request.model;
    session.state.device = request.device;
    session.context.port_source = kPortSourceCommandLine;
    Reached reached = Reached::kNothingWritten;
    int exit = RunSteps(session, request, facts, reached);

    facts.duration_ms = clock.NowMs() - started_ms;
    facts.result = ResultWord(exit);
    if (const int signal = request.stop != nullptr ? request.stop->signal() : 0;
        signal != 0 && exit != kWriteUpdated) {
        log.AppendClosingLine(InterruptedLine(reached));
        exit = kExitSignalBase + signal;
        facts.result = "interrupted";
    } else {
        log.PassOn();  // not stopped, or only after its last wait: it ended as it would have
    }
    facts.exit_code = exit;
    if (record != nullptr) {
        *record = std::move(facts);
    }
    return exit;
}

}  // namespace velkor
