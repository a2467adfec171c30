// The byte stores the file check reads, and the texts it takes out of them.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "procedures/family_descriptor.h"

namespace velkor {

struct CheckSources {
    std::span<const std::uint8_t> image;
    std::span<const std::uint8_t> version_text;
    std::span<const std::uint8_t> information_text;
};

// The bytes of `piece`; shorter when its store ends first.
std::string ReadPiece(const CheckSources& sources, const TextPiece& piece);

// The first piece, then 'V' and the second when there is one.
std::string ComposeText(const CheckSources& sources, const IdentityText& text);

// The zero-terminated text of the image at `offset`; it ends at the image's end at the latest.
std::string ImageText(const CheckSources& sources, std::size_t offset);

}  // namespace velkor
