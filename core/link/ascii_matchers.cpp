#include "link/ascii_matchers.h"

namespace velkor {

bool AsciiVersionMatcher::Feed(std::uint8_t byte) {
    switch (state_) {
        case State::kStart:
            if (byte == kAsciiReplyStart) {
                state_ = State::kTag;
            }
            return false;
        case State::kTag:
            if (byte == kAsciiVersionTag) {
                replies_.version_text.fill(0);
                count_ = 0;
                state_ = State::kText;
            } else {
                state_ = State::kStart;
            }
            return false;
        case State::kText:
            if (byte == kAsciiReplyEnd) {
                state_ = State::kLineEnd;
            } else if (count_ < replies_.version_text.size()) {
                replies_.version_text[count_++] = byte;
            }
            return false;
        case State::kLineEnd:
            if (count_ > 0) {
                return true;
            }
            state_ = State::kStart;
            return false;
    }
    return false;
}

bool AsciiChecksumMatcher::Feed(std::uint8_t byte) {
    switch (state_) {
        case State::kTag:
            if (byte != kAsciiChecksumTag[tag_matched_]) {
                tag_matched_ = 0;  // only 'C' starts a tag; this byte is not looked at again
            } else if (++tag_matched_ == std::size(kAsciiChecksumTag)) {
                tag_matched_ = 0;
                replies_.checksum = 0;
                count_ = 0;
                state_ = State::kValue;
            }
            return false;
        case State::kValue:
            if (byte == kAsciiReplyEnd) {
                state_ = State::kLineEnd;
            } else if (count_ < kMaxValueBytes) {
                replies_.checksum = (replies_.checksum << 8) | byte;
                ++count_;
            }
            return false;
        case State::kLineEnd:
            if (count_ > 0) {
                return true;
            }
            state_ = State::kTag;
            return false;
    }
    return false;
}

std::optional<std::uint32_t> AsciiChecksumAsRead(std::uint32_t checksum) {
    std::uint32_t value = 0;
    std::size_t count = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto byte = static_cast<std::uint8_t>(checksum >> shift);
        if (byte == kAsciiReplyEnd) {
            break;
        }
        value = (value << 8) | byte;
        ++count;
    }
    if (count == 0) {
        return std::nullopt;
    }
    return value;
}

}  // namespace velkor
