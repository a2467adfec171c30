// What the fuzz targets of the unit's replies share: the reader of an input's parts, a report
// sink that insists on valid UTF-8 (every text from the unit reaches the log as Latin-1), and
// the check that ends the run when something that must hold does not.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string_view>

#include "report/report.h"

namespace velkor::fuzz {

inline void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

// The input as a selector byte and parts: a part is a two-byte length, most significant
// first, and that many bytes (fewer when the input ends first). Past the end every byte and
// part is empty, so any input is a whole one.
class UnitInput {
  public:
    UnitInput(const std::uint8_t* data, std::size_t size) : rest_(data, size) {}

    std::uint8_t Byte() {
        if (rest_.empty()) {
            return 0;
        }
        const std::uint8_t byte = rest_.front();
        rest_ = rest_.subspan(1);
        return byte;
    }

    std::span<const std::uint8_t> Part() {
        const std::size_t high = Byte();
        const std::size_t length = (high << 8) | Byte();
        return Take(length);
    }

    std::span<const std::uint8_t> Rest() { return Take(rest_.size()); }

  private:
    std::span<const std::uint8_t> Take(std::size_t length) {
        const auto taken = rest_.first(std::min(length, rest_.size()));
        rest_ = rest_.subspan(taken.size());
        return taken;
    }

    std::span<const std::uint8_t> rest_;
};

// True when `text` is well-formed UTF-8: no stray or missing continuation bytes, no overlong
// forms, no surrogates, nothing above U+10FFFF.
inline bool IsUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        std::uint32_t code = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07;
        } else {
            return false;
        }
        if (text.size() - i < length) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

// Takes every log text and progress call of a run; ends the run on text that is not UTF-8.
class Utf8CheckingSink final : public ReportSink {
  public:
    void AppendText(std::string_view text) override { Check(IsUtf8(text), "log text is UTF-8"); }
    void AppendMarked(std::string_view text, LogKind /*kind*/) override { AppendText(text); }
    void ResetProgress(int /*maximum*/) override {}
    void SetProgress(int /*position*/) override {}
};

}  // namespace velkor::fuzz
