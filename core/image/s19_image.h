// Reader of Motorola S-record firmware files (STM8 family).
#pragma once

#include "image/firmware_image.h"

namespace velkor {

class CS19Image : public CFirmwareImage {
  public:
    using CFirmwareImage::CFirmwareImage;
    int Load(const std::string& path) override;
};

}  // namespace velkor
