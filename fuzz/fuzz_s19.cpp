#include "fuzz/fuzz_image_reader.h"
#include "image/s19_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return velkor::fuzz::LoadFuzzInput<velkor::CS19Image>(data, size);
}
