// The head-unit models and MCU families the tool serves, numbered as in the settings file.
#pragma once

namespace velkor {

// The app type: which unit model, and so which serial dialect.
enum AppType : int {
    kAppTypeUndetermined = 0,
    kAppTypeR3360 = 1,  // ASCII "$" commands
    kAppTypeJ5 = 2,     // framed commands
};

// The MCU type: which family, and so which firmware format and programming procedure.
enum McuType : int {
    kMcuTypeUndetermined = 0,
    kMcuTypeStm8 = 1,  // Motorola S-records
    kMcuTypeNec = 2,   // Intel HEX
    kMcuTypeM3 = 3,    // Intel HEX
};

}  // namespace velkor
