#include "image/image_for_family.h"

#include "image/hex_image.h"
#include "image/s19_image.h"

namespace velkor {

std::unique_ptr<CFirmwareImage> MakeImageReader(int mcu, Report& report) {
    switch (mcu) {
        case kMcuTypeStm8:
            return std::make_unique<CS19Image>(report);
        case kMcuTypeNec:
        case kMcuTypeM3:
            return std::make_unique<CHexImage>(report);
        default:
            break;
    }
    return nullptr;
}

}  // namespace velkor
