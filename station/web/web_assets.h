// The files of the station's web page, built into velkor-flash: the plant's network may reach
// nothing else.
#pragma once

#include <span>
#include <string_view>

namespace velkor {

struct WebAsset {
    const char* path;  // as requested
    const char* content_type;
    std::string_view body;
};

std::span<const WebAsset> WebAssets();

}  // namespace velkor
