#include "procedures/nec_version_rule.h"

#include "procedures/procedure_messages.h"
#include "report/report.h"

namespace velkor {
namespace {

// Compared as signed characters: bytes from 0x80 on count as below '4'.
bool AtLeastV4(std::uint8_t major) {
    return static_cast<std::int8_t>(major) >= '4';
}

}  // namespace

NecVersionVerdict ApplyNecVersionRule(std::uint8_t unit_major, std::uint8_t file_major,
                                      Report& report) {
    const bool v4_unit = AtLeastV4(unit_major);
    const bool v4_file = AtLeastV4(file_major);
    if (v4_unit && !v4_file) {
        report.AppendError(kLogFileUnderV4);
        return {v4_unit, 1};
    }
    if (!v4_unit && v4_file) {
        report.AppendError(kLogFileNotForUnitVersion);
        return {v4_unit, 1};
    }
    return {v4_unit, 0};
}

}  // namespace velkor
