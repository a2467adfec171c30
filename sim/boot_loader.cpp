#include "sim/boot_loader.h"

#include <cstdio>

namespace velkor::sim {
namespace {

constexpr std::uint8_t kRecordDone = '.';
// What the boot loader shows for a record it took but cannot finish, when it has no status
// characters of its own.
constexpr std::string_view kBusyStatus = "#";
constexpr char kNecV4Major = '4';

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%05X", static_cast<unsigned>(value));
    return text;
}

bool IsR3360NecFromV4(AppType model, McuType family, std::string_view version_text) {
    // The major version is the first character; bytes from 0x80 on count as below '4'.
    const auto major = static_cast<signed char>(version_text.empty() ? '\0' : version_text[0]);
    return model == kAppTypeR3360 && family == kMcuTypeNec && major >= kNecV4Major;
}

}  // namespace

bool TakesEntryCommand(SimCommandKind kind, AppType model, McuType family,
                       std::string_view version_text) {
    const bool v4 = IsR3360NecFromV4(model, family, version_text);
    switch (kind) {
        case SimCommandKind::kEnterSlaveProgramming:
            return true;
        case SimCommandKind::kEnterMainProgramming:
            return !v4;
        case SimCommandKind::kEnterMainProgrammingV4:
            return v4;
        default:
            return false;
    }
}

BootLoader::BootLoader(const RecordFormat& format, std::string status, const SimFaults& faults)
    : format_(format),
      status_(std::move(status)),
      stop_after_(faults.stop_after_records),
      no_dot_after_(faults.no_dot_after_records),
      drop_after_(faults.drop_after_records),
      corrupt_(faults.corrupt_record),
      reader_(format) {}

void BootLoader::Start(FlashMemory& target) {
    target_ = &target;
    reader_ = RecordReader(format_);
    records_ = 0;
    hung_ = false;
}

std::optional<BootLoader::Outcome> BootLoader::Feed(std::uint8_t byte) {
    if (!active() || hung_) {
        return std::nullopt;
    }
    auto record = reader_.Feed(byte);
    if (!record) {
        return std::nullopt;
    }
    if (record->end) {
        target_ = nullptr;
        return Outcome{
            {},
            false,
            "end record: programming complete after " + std::to_string(records_) + " records"};
    }
    return TakeData(*record);
}

BootLoader::Outcome BootLoader::TakeData(const ReceivedRecord& record) {
    const std::size_t number = ++records_;
    Outcome outcome;
    if (stop_after_ && number > *stop_after_) {
        hung_ = true;
        outcome.note = "fault: boot loader stops answering at record " + std::to_string(number);
        return outcome;
    }
    const std::uint64_t end = std::uint64_t{record.address} + record.data.size();
    if (record.address < format_.range.begin || end > format_.range.end) {
        outcome.note =
            "record at " + Hex(record.address) + " outside the flash range: not answered";
        return outcome;
    }
    if (corrupt_ && number == *corrupt_) {
        outcome.note = "fault: record ";
        outcome.note += std::to_string(number);
        outcome.note += " at ";
        outcome.note += Hex(record.address);
        outcome.note += " answered but not written";
    } else if (!target_->Write(record.address, record.data)) {
        outcome.note =
            "record at " + Hex(record.address) + " outside the flash range: not answered";
        return outcome;
    }
    if (no_dot_after_ && number > *no_dot_after_) {
        const std::string_view busy = status_.empty() ? kBusyStatus : std::string_view(status_);
        outcome.answer.assign(busy.begin(), busy.end());
        outcome.note = "fault: record " + std::to_string(number) + " answered without '.'";
        return outcome;
    }
    outcome.answer.assign(status_.begin(), status_.end());
    outcome.answer.push_back(kRecordDone);
    if (drop_after_ && number == *drop_after_) {
        outcome.drop_line = true;
        outcome.note = "fault: line dropped after record " + std::to_string(number);
    }
    return outcome;
}

}  // namespace velkor::sim
