#include "procedures/check_sources.h"

#include <algorithm>

namespace velkor {
namespace {

std::span<const std::uint8_t> StoreOf(const CheckSources& sources, TextSource source) {
    switch (source) {
        case TextSource::kImage:
            return sources.image;
        case TextSource::kVersionText:
            return sources.version_text;
        case TextSource::kInformationText:
            return sources.information_text;
    }
    return {};
}

bool EndsPiece(TextEnd end, std::uint8_t byte) {
    switch (end) {
        case TextEnd::kFixed:
            return false;
        case TextEnd::kLineEnd:
            return byte == '\r' || byte == '\n';
        case TextEnd::kZero:
            return byte == 0;
    }
    return false;
}

}  // namespace

std::string ReadPiece(const CheckSources& sources, const TextPiece& piece) {
    const auto store = StoreOf(sources, piece.source);
    if (piece.offset >= store.size()) {
        return {};
    }
    const auto available = store.subspan(piece.offset);
    const auto bytes = available.first(std::min(piece.max_length, available.size()));
    const auto end = std::find_if(bytes.begin(), bytes.end(),
                                  [&](std::uint8_t byte) { return EndsPiece(piece.end, byte); });
    return {bytes.begin(), end};
}

std::string ComposeText(const CheckSources& sources, const IdentityText& text) {
    std::string composed = ReadPiece(sources, text.first);
    if (text.second) {
        composed += 'V';
        composed += ReadPiece(sources, *text.second);
    }
    return composed;
}

std::string ImageText(const CheckSources& sources, std::size_t offset) {
    return ReadPiece(sources, {TextSource::kImage, offset, sources.image.size(), TextEnd::kZero});
}

}  // namespace velkor
