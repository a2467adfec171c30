#include "procedures/ascii_family_link.h"

#include "procedures/configuration_write.h"
#include "procedures/file_check.h"
#include "procedures/option_codes.h"
#include "procedures/procedure_timing.h"
#include "procedures/record_stream.h"

namespace velkor {

int CAsciiFamilyLink::WriteConfiguration() {
    const auto command = AsciiOptionCommand(family_.option_write.tv_letters, state_.unit_options);
    const std::string_view text(reinterpret_cast<const char*>(command.data()), command.size());
    // The MCU takes this command as one block, unlike the byte-wise queries.
    return WriteUnitOptions(*this, 0, kLinkReadFailed, [&] {
        NameCommand("unit options", text);
        return Write(command.data(), command.size());
    });
}

int CAsciiFamilyLink::DecodeOptions() {
    state_.unit_options = DecodeUnitOptions(family_.option_positions, replies().version_text);
    return 0;
}

int CAsciiFamilyLink::CheckFile(const std::uint8_t* image) {
    return CheckFirmwareFile(family_.check, image, replies(), state_, report(),
                             [&] { return ScreenFile(image); });
}

int CAsciiFamilyLink::Program(const std::uint8_t* image) {
    if (image == nullptr) {
        return kProgramFailed;
    }
    Purge();
    const std::string_view entry = state_.slave ? kAsciiEnterSlaveProgramming : MainEntryCommand();
    NameCommand("programming entry", entry);
    WriteString(entry);
    if (WaitAck(0, kEntryAckTimeoutMs) != kLinkOk) {
        Pause(kNoEntryAckPauseMs);
    }
    return SendRecords(*this, family_.records, image, state_.stream);
}

}  // namespace velkor
