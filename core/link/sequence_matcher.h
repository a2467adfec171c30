// Matcher of a fixed byte sequence, as the acknowledgements of both dialects are.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "link/reply_wait.h"

namespace velkor {

// A byte that breaks the sequence starts the match over without being looked at again as a
// possible first byte: the MCU's acknowledgements are recognised exactly this way.
template <std::size_t N>
class SequenceMatcher final : public ReplyMatcher {
    static_assert(N > 0);

  public:
    explicit SequenceMatcher(const std::array<std::uint8_t, N>& sequence) : sequence_(sequence) {}

    bool Feed(std::uint8_t byte) override {
        if (byte != sequence_[matched_]) {
            matched_ = 0;
            return false;
        }
        if (++matched_ < N) {
            return false;
        }
        matched_ = 0;
        return true;
    }

  private:
    std::array<std::uint8_t, N> sequence_;
    std::size_t matched_ = 0;
};

}  // namespace velkor
