#include "record/session_facts.h"

#include <filesystem>
#include <system_error>

#include "record/file_digest.h"
#include "settings/option_lists.h"

namespace velkor {

void TakeUnitFacts(const UpdateSession& session, RunRecord& record) {
    const McuReplies& replies = session.context.replies;
    record.mcu_version_before = std::string(replies.VersionText());
    record.mcu_information_before = std::string(replies.InformationText());
    record.mcu_checksum_before = session.reported_checksum;
}

void TakeFileFacts(const UpdateSession& session, RunRecord& record) {
    FileFacts file;
    // Absolute, so that the record still names the file when read elsewhere.
    std::error_code error;
    const std::filesystem::path absolute =
        std::filesystem::absolute(session.state.firmware_path, error);
    file.path = error || session.state.firmware_path.empty() ? session.state.firmware_path
                                                             : absolute.string();
    // The bytes the image was made of, not the path read again: the file may have been
    // replaced since.
    const CFirmwareImage* image = session.current_image;
    if (image != nullptr && image->FileContent()) {
        if (const auto digest = DigestBytes(*image->FileContent())) {
            file.size = digest->size;
            file.sha256 = digest->sha256;
        }
    }
    const ProgrammingState& programming = session.programming;
    if (programming.file_checksum_valid) {
        file.checksum = programming.file_checksum;
    }
    file.verdict = programming.check_verdict;
    record.file = std::move(file);
}

NamedOptions NameOptions(const UnitOptions& options, OptionSet which) {
    NamedOptions named;
    for (const OptionList& list : kOptionLists) {
        if (!which[list.option]) {
            continue;
        }
        std::string label(list.label);
        if (!label.empty() && label.back() == ':') {
            label.pop_back();
        }
        const std::uint8_t index = options[list.option];
        std::string entry =
            index < list.entries.size() ? std::string(list.entries[index]) : std::to_string(index);
        named.emplace_back(std::move(label), std::move(entry));
    }
    return named;
}

}  // namespace velkor
