// Which unit options a family reports in its version text, and which its option command
// carries: what velkor-flash config shows and writes, and what a record of the run names.
#pragma once

#include <bitset>

#include "procedures/family_descriptor.h"
#include "procedures/unit_options.h"
#include "settings/unit_types.h"

namespace velkor {

using OptionSet = std::bitset<kUnitOptionCount>;

// The family table row of `model` and `mcu`; null when either is undetermined.
const FamilyDescriptor* FamilyOf(AppType model, McuType mcu);

// The options DecodeOptions reads from the version text.
OptionSet ReportedOptions(const FamilyDescriptor& family);
// The options WriteConfiguration sends.
OptionSet CarriedOptions(const FamilyDescriptor& family);

}  // namespace velkor
