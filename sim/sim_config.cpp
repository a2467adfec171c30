#include "sim/sim_config.h"

#include "sim/record_format.h"
#include "sim/unit_identity.h"

namespace velkor::sim {

SimConfig DefaultSimConfig(AppType model, McuType family) {
    SimConfig config;
    config.model = model;
    config.family = family;
    UnitTexts texts = DefaultUnitTexts(model, family);
    config.version_text = std::move(texts.version);
    config.information_text = std::move(texts.information);
    if (const auto range = ProgrammedRange(family)) {
        config.checksum_range = *range;
    }
    return config;
}

}  // namespace velkor::sim
