// Shared body of the firmware reader fuzz targets: the input becomes a file that the reader
// loads; any read or write outside the image is caught by the sanitizers.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "image/firmware_image.h"

namespace velkor::fuzz {

template <typename Image>
int LoadFuzzInput(const std::uint8_t* data, std::size_t size) {
    static Report report;        // the log goes nowhere
    static Image image(report);  // reused like the tool's own image objects
    static const std::string path = [] {
        char name[] = "/tmp/velkor-fuzz-image-XXXXXX";
        const int fd = ::mkstemp(name);
        if (fd < 0) {
            std::abort();
        }
        ::close(fd);
        return std::string(name);
    }();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::abort();
    }
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    const int result = image.Load(path);
    if (result < kLoadOk || result > kLoadFormatError) {
        std::abort();
    }
    return 0;
}

}  // namespace velkor::fuzz
