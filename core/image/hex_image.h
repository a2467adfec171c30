// Reader of Intel HEX firmware files (NEC and M3 families).
#pragma once

#include "image/firmware_image.h"

namespace velkor {

class CHexImage : public CFirmwareImage {
  public:
    using CFirmwareImage::CFirmwareImage;
    int Load(const std::string& path) override;
};

}  // namespace velkor
