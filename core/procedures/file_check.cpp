#include "procedures/file_check.h"

#include <optional>
#include <string>
#include <string_view>

#include "image/firmware_image.h"
#include "procedures/check_sources.h"
#include "procedures/procedure_messages.h"
#include "report/report.h"

namespace velkor {
namespace {

// Label, text and line end; the text is the unit's or the file's and reaches the log as such.
// The texts are built as the MCU and the file hold them, so like any C text they end at their
// first zero byte.
void LogLine(Report& report, std::optional<LogKind> kind, std::string_view label,
             std::string_view text, std::string_view end = "\r\n") {
    if (const auto zero = text.find('\0'); zero != std::string_view::npos) {
        text = text.substr(0, zero);
    }
    const auto own = [&](std::string_view part) {
        if (part.empty()) {
            return;
        }
        if (kind) {
            report.AppendMarked(part, *kind);
        } else {
            report.AppendLog(part);
        }
    };
    own(label);
    report.AppendForeign(text, kind);
    own(end);
}

std::uint32_t SumRange(std::span<const std::uint8_t> image, std::size_t first, std::size_t last) {
    std::uint32_t sum = 0;
    for (std::size_t offset = first; offset <= last && offset < image.size(); ++offset) {
        sum += image[offset];
    }
    return sum;
}

bool IdentityMatches(const FileCheckLayout& layout, const CheckSources& sources) {
    const std::string file = ReadPiece(sources, layout.file_identity);
    const std::string unit = ReadPiece(sources, layout.unit_identity);
    return file.size() == layout.file_identity.max_length && file == unit;
}

void WarnNotForThisUnit(const FileCheckLayout& layout, const CheckSources& sources,
                        Report& report) {
    // All of the warning counts as an error, so that a log showing only errors says why.
    report.AppendError(kLogNotForThisUnit);
    LogLine(report, LogKind::kError, kLogUnitVersionLabel, ComposeText(sources, layout.unit_text));
    LogLine(report, LogKind::kError, kLogFileVersionLabel, ComposeText(sources, layout.file_text));
    LogLine(report, LogKind::kError, kLogHintStart, ReadPiece(sources, layout.hint) + '_',
            kLogHintEnd);
}

}  // namespace

int CheckFirmwareFile(const FileCheckLayout& layout, const std::uint8_t* image_bytes,
                      const McuReplies& replies, ProgrammingState& state, Report& report,
                      const FileScreen& screen) {
    // A checksum of an earlier file must not be shown beside this one.
    state.file_checksum_valid = false;
    state.check_verdict = FileVerdict::kNoDescription;
    if (image_bytes == nullptr) {
        report.AppendError(kLogNoDescription);
        return 0;
    }
    const CheckSources sources{
        {image_bytes, kImageSize}, replies.version_text, replies.information_text};
    const auto& image = sources.image;
    if (layout.marker_offset >= image.size() || image[layout.marker_offset] != layout.marker) {
        report.AppendError(kLogNoDescription);
        return 0;
    }
    LogLine(report, std::nullopt, {}, ImageText(sources, layout.description));
    if (layout.second_description) {
        LogLine(report, std::nullopt, {}, ImageText(sources, *layout.second_description));
    }
    if (state.slave) {
        // The identity describes the main MCU; a slave image is taken as it is.
        report.AppendLog(kLogReadyForSlave);
        state.check_verdict = FileVerdict::kSlaveNotChecked;
        return 0;
    }
    if (screen) {
        if (const int refused = screen(); refused != 0) {
            state.check_verdict = FileVerdict::kRefusedByVersionRule;
            return refused;
        }
    }
    state.file_checksum = SumRange(image, layout.checksum_first, layout.checksum_last);
    state.file_checksum_valid = true;
    if (IdentityMatches(layout, sources)) {
        report.AppendLog(kLogReady);
        state.check_verdict = FileVerdict::kConfirmed;
        return 0;
    }
    WarnNotForThisUnit(layout, sources, report);
    state.check_verdict = FileVerdict::kNotForThisUnit;
    return 0;
}

}  // namespace velkor
