#include "procedures/ascii_family_link.h"

#include "procedures/configuration_write.h"
#include "procedures/file_check.h"
#include "procedures/option_codes.h"
#include "procedures/procedure_timing.h"
#include "procedures/record_stream.h"

namespace velkor {

int CAsciiFamilyLink::WriteConfiguration() {
    const auto command = AsciiOptionCommand(family_.option_write.tv_letters, state_.unit_options);
    // The MCU takes this command as one block, unlike the byte-wise queries.
    return WriteUnitOptions(*this, 0, kLinkReadFailed,
                            [&] { return Write(command.data(), command.size()); });
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
    WriteString(state_.slave ? kAsciiEnterSlaveProgramming : MainEntryCommand());
    if (WaitAck(0, kEntryAckTimeoutMs) != kLinkOk) {
        Pause(kNoEntryAckPauseMs);
    }
    return SendRecords(*this, family_.records, image);
}

}  // namespace velkor
