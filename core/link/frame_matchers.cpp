#include "link/frame_matchers.h"

namespace velkor {

bool FrameReplyMatcher::Feed(std::uint8_t byte) {
    switch (state_) {
        case State::kStart:
            if (byte == kFrameStart) {
                state_ = State::kMode;
            }
            return false;
        case State::kMode:
            state_ = (byte == kFrameModeAcked || byte == kFrameModeUnacked) ? State::kCode
                                                                            : State::kStart;
            return false;
        case State::kCode:
            if (byte == reply_code_) {
                BeginReply();
                received_ = 0;
                state_ = State::kLength;
            } else {
                state_ = State::kStart;
            }
            return false;
        case State::kLength:
            remaining_ = byte;
            state_ = remaining_ > 0 ? State::kPayload : State::kCheck;
            return false;
        case State::kPayload:
            TakePayloadByte(received_++, byte);
            if (--remaining_ == 0) {
                state_ = State::kCheck;
            }
            return false;
        case State::kCheck:
            if (received_ > 0) {
                return true;
            }
            state_ = State::kStart;
            return false;
    }
    return false;
}

void FrameVersionMatcher::BeginReply() {
    replies_.version_text.fill(0);
}

void FrameVersionMatcher::TakePayloadByte(std::size_t index, std::uint8_t byte) {
    if (index < replies_.version_text.size()) {
        replies_.version_text[index] = byte;
    }
}

void FrameChecksumMatcher::BeginReply() {
    replies_.checksum = 0;
}

void FrameChecksumMatcher::TakePayloadByte(std::size_t index, std::uint8_t byte) {
    if (index < kValueBytes) {
        replies_.checksum = (replies_.checksum << 8) | byte;
    }
}

}  // namespace velkor
