// A fresh set of link objects on a scripted port and virtual time, for link tests.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/link_context.h"
#include "platform/clock.h"
#include "support/capture_sink.h"
#include "testing/fake_serial_port.h"

namespace velkor::testing {

inline std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int value : values) {
        bytes.push_back(static_cast<char>(value));
    }
    return bytes;
}

inline std::string AsString(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

struct LinkBench {
    // Away from zero, so that a time taken from the wrong origin shows.
    static constexpr std::uint32_t kStartMs = 100000;

    LinkBench() { port.Open("/dev/fake"); }

    // Answers the command `trigger` (once the bytes written so far end with it) with `reply`,
    // `delay_ms` later.
    void Answer(std::string trigger, std::string reply, std::uint32_t delay_ms = 1) {
        answers.push_back({std::move(trigger), std::move(reply), delay_ms});
        port.SetWriteHook([this](FakeSerialPort& fake, std::span<const std::uint8_t> bytes) {
            written += AsString(bytes);
            for (const auto& answer : answers) {
                if (written.ends_with(answer.trigger)) {
                    fake.ArriveAfter(answer.delay_ms, answer.reply);
                }
            }
        });
    }

    std::uint32_t Elapsed() { return clock.NowMs() - kStartMs; }

    struct CannedAnswer {
        std::string trigger;
        std::string reply;
        std::uint32_t delay_ms;
    };

    VirtualClock clock{kStartMs};
    FakeSerialPort port{clock};
    CaptureSink capture;
    LinkContext context{port, clock, capture.report};
    std::vector<CannedAnswer> answers;
    std::string written;
};

}  // namespace velkor::testing
