#include "sim/mcu_dialect.h"

#include "sim/ascii_dialect.h"
#include "sim/frame_dialect.h"

namespace velkor::sim {

std::unique_ptr<McuDialect> MakeMcuDialect(AppType model) {
    if (model == kAppTypeJ5) {
        return std::make_unique<FrameDialect>();
    }
    return std::make_unique<AsciiDialect>();
}

}  // namespace velkor::sim
