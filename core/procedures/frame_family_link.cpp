#include "procedures/frame_family_link.h"

#include "procedures/configuration_write.h"
#include "procedures/file_check.h"
#include "procedures/option_codes.h"
#include "procedures/procedure_timing.h"
#include "procedures/record_stream.h"

namespace velkor {

int CFrameFamilyLink::WriteConfiguration() {
    const auto payload = FrameOptionPayload(family_.option_write, state_.unit_options);
    return WriteUnitOptions(*this, kFrameConfigurationCode, kLinkTimedOut, [&] {
        NameCommand("unit options", kFrameConfigurationCode, payload);
        return SendFrame(kFrameConfigurationCode, payload.data(), payload.size(), true);
    });
}

int CFrameFamilyLink::DecodeOptions() {
    state_.unit_options = DecodeUnitOptions(family_.option_positions, replies().version_text);
    return 0;
}

int CFrameFamilyLink::CheckFile(const std::uint8_t* image) {
    return CheckFirmwareFile(family_.check, image, replies(), state_, report());
}

int CFrameFamilyLink::Program(const std::uint8_t* image) {
    if (image == nullptr) {
        return kProgramFailed;
    }
    Purge();
    const FrameCommand& entry =
        state_.slave ? kFrameEnterSlaveProgramming : kFrameEnterMainProgramming;
    NameCommand("programming entry", entry.code, entry.payload);
    SendFrame(entry, true);
    if (WaitAck(entry.code, kEntryAckTimeoutMs) != kLinkOk) {
        Pause(kNoEntryAckPauseMs);
    }
    return SendRecords(*this, family_.records, image, state_.stream);
}

}  // namespace velkor
