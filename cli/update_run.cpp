#include "cli/update_run.h"

#include "app/report.h"
#include "app/sequence_messages.h"
#include "cli/log_watch.h"
#include "cli/model_link.h"
#include "image/image_for_family.h"
#include "link/link_context.h"
#include "procedures/family_links.h"
#include "procedures/procedure_messages.h"

namespace velkor {
namespace {

// Pauses of the update sequence between its queries.
constexpr std::uint32_t kPauseBeforeChecksumMs = 500;
constexpr std::uint32_t kPauseBeforeInformationMs = 100;

constexpr std::string_view kLogFileInformation = "======== File Information ========\r\n";
constexpr std::string_view kLogNotConfirmed =
    "Not updated: the check did not confirm this file for this unit.\r\n"
    "Give --force to program it anyway.\r\n";
constexpr std::string_view kLogForced = "Programming anyway, as --force asks.\r\n";

// The information text is free bytes: end its last line so that the next starts clean.
void EndInformationLine(const McuReplies& replies) {
    if (const auto text = replies.InformationText(); !text.empty() && text.back() != '\n') {
        AppendLog("\r\n");
    }
}

}  // namespace

int RunUpdate(SerialPort& port, Clock& clock, const UpdateRequest& request) {
    LinkContext context(port, clock);
    ProgrammingState state;
    FamilyLinks links(context, state);
    CMcuLink* plain = links.Plain(request.model);
    CMcuLink* family = links.Select(request.model, request.mcu);
    auto image = MakeImageReader(request.mcu);
    if (plain == nullptr || family == nullptr || image == nullptr) {
        return kWritePortFailed;  // the command line admits no such model or family
    }

    if (!OpenModelLink(*plain, request.model, request.device)) {
        return kWritePortFailed;
    }
    if (plain->QueryVersion() != kLinkOk) {
        return kWriteNoVersion;
    }
    context.Pause(kPauseBeforeChecksumMs);
    if (plain->QueryChecksum() == kLinkOk) {
        LogPrintf("MCU Checksum: %08X\r\n", context.replies.checksum);
    }
    plain->SendPrelude();
    context.Pause(kPauseBeforeInformationMs);
    plain->QueryInformation();
    EndInformationLine(context.replies);

    state.slave = request.slave;
    AppendLog(kLogFileInformation);
    AppendLog(request.file + "\r\n");
    if (image->Load(request.file) != kLoadOk) {
        return kWriteNoFile;  // the reader has logged why
    }
    state.file_checksum_valid = false;
    bool confirmed = false;
    {
        // The check only advises. On a command line nobody reads its warnings before the
        // update starts, so only its own word that the file fits lets the update go ahead.
        LogWatch watch({kLogReady, kLogReadyForSlave});
        confirmed = family->CheckFile(image->Buffer()) == 0 && watch.seen();
    }
    if (state.file_checksum_valid) {
        LogPrintf("File Checksum: %08X\r\n", state.file_checksum);
    }
    if (!confirmed) {
        if (!request.force) {
            AppendLog(kLogNotConfirmed);
            return kWriteNotConfirmed;
        }
        AppendLog(kLogForced);
    }
    LogWatch watch;
    const int programmed = family->Program(image->Buffer());
    if (!watch.at_line_start()) {
        AppendLog("\r\n");  // after the status characters, the outcome on a line of its own
    }
    AppendLog(programmed == 0 ? kLogUpdateComplete : kLogUpdateFail);
    return programmed == 0 ? kWriteUpdated : kWriteProgramFailed;
}

}  // namespace velkor
