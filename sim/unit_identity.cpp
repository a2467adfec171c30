#include "sim/unit_identity.h"

namespace velkor::sim {

UnitTexts DefaultUnitTexts(AppType model, McuType family) {
    if (model == kAppTypeJ5) {
        // Identity in characters 0-4, options in 5-12, firmware version in 16-19. NEC units
        // carry their version at 2-5 and their identity at 24-31 of the information text,
        // STM8 units identity and version at 2-10 and the file-name hint at 29-35.
        switch (family) {
            case kMcuTypeStm8:
                return {"J5ST8-H8--N8N_V_3.10", "I:J5ST83.10 J5 STM8 sim unit J5STM08\r\n"};
            case kMcuTypeNec:
                return {"J5NEC-H8--N8N_V_3.10", "I:3.10 J5 NEC simulated J5NEC01\r\n"};
            case kMcuTypeM3:
                return {"J5M3A-H8--N8N_V_3.10", "J5 M3 simulated MCU\r\n"};
            default:
                return {"J5_MCU_V3.10", "J5 simulated MCU\r\n"};
        }
    }
    // Major version first, hand brake at 8, TV tuner at 12; identity at 10-16 of the
    // information text.
    switch (family) {
        case kMcuTypeStm8:
            return {"3.10_S8_N_TV-_R3360", "R3360 MCU R3STM01\r\n"};
        case kMcuTypeNec:
            return {"3.10_NE_N_TV-_R3360", "R3360 MCU R3NEC01\r\n"};
        case kMcuTypeM3:
            return {"3.10_M3_N_TV-_R3360", "R3360 MCU R3M3A01\r\n"};
        default:
            return {"R3360_MCU_V3.10", "R3360 simulated MCU\r\n"};
    }
}

}  // namespace velkor::sim
