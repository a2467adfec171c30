// A fresh set of family objects on a scripted port and virtual time, with a stand-in for the
// MCU's boot loader.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "image/firmware_image.h"
#include "procedures/family_links.h"
#include "support/capture_sink.h"
#include "testing/fake_serial_port.h"

namespace velkor::testing {

enum class Family { kStm8Ascii, kNecAscii, kM3Ascii, kStm8Frame, kNecFrame, kM3Frame };
inline constexpr Family kAllFamilies[] = {Family::kStm8Ascii, Family::kNecAscii, Family::kM3Ascii,
                                          Family::kStm8Frame, Family::kNecFrame, Family::kM3Frame};
inline constexpr const char* kFamilyNames[] = {"CStm8AsciiLink", "CNecAsciiLink", "CM3AsciiLink",
                                               "CStm8FrameLink", "CNecFrameLink", "CM3FrameLink"};
inline const char* NameOf(Family family) {
    return kFamilyNames[static_cast<int>(family)];
}
inline bool IsFramed(Family family) {
    return family >= Family::kStm8Frame;
}

// Acknowledges the programming entry, and answers each data record (a write of `block_size`
// bytes) with `status`, 1 ms later.
struct BootLoaderStub {
    std::size_t block_size = 256;
    bool ack_entry = true;
    std::string status = ".";
    std::size_t answered_records = std::numeric_limits<std::size_t>::max();
    // Called with the number of each record received (from 1); may inject faults.
    std::function<void(FakeSerialPort&, std::size_t)> after_record;
    std::size_t records = 0;

    void OnWrite(FakeSerialPort& port, std::span<const std::uint8_t> bytes) {
        const bool ascii_entry_end = bytes.size() == 1 && bytes[0] == '\n';
        const bool frame_entry = bytes.size() > 2 && bytes[0] == 0xFF && bytes[2] == 0x7A;
        if (ack_entry && records == 0 && (ascii_entry_end || frame_entry)) {
            port.ArriveAfter(1, frame_entry ? std::string_view("\xFF\x55\x7A\x01", 4) : "@\r\n");
        }
        if (bytes.size() != block_size) {
            return;
        }
        if (++records <= answered_records) {
            port.ArriveAfter(1, status);
        }
        if (after_record) {
            after_record(port, records);
        }
    }
};

struct ProcedureBench {
    static constexpr std::uint32_t kStartMs = 100000;  // a time from the wrong origin shows

    ProcedureBench() { port.Open("/dev/fake"); }

    CMcuLink& Link(Family family) {
        CMcuLink* objects[] = {&links.stm8_ascii, &links.nec_ascii, &links.m3_ascii,
                               &links.stm8_frame, &links.nec_frame, &links.m3_frame};
        return *objects[static_cast<int>(family)];
    }
    void Attach(BootLoaderStub& stub) {
        port.SetWriteHook([&stub](FakeSerialPort& fake, std::span<const std::uint8_t> bytes) {
            stub.OnWrite(fake, bytes);
        });
    }
    void Put(std::size_t offset, std::string_view bytes) {
        std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    void SetReplies(std::string_view version, std::string_view information) {
        auto& replies = context.replies;
        replies.version_text.fill(0);
        replies.information_text.fill(0);
        std::copy_n(version.begin(), std::min(version.size(), replies.version_text.size()),
                    replies.version_text.begin());
        std::copy(information.begin(), information.end(), replies.information_text.begin());
    }
    std::uint32_t Elapsed() { return clock.NowMs() - kStartMs; }
    std::vector<std::string> Writes() const {
        std::vector<std::string> writes;
        for (const auto& record : port.writes()) {
            writes.emplace_back(record.bytes.begin(), record.bytes.end());
        }
        return writes;
    }

    VirtualClock clock{kStartMs};
    FakeSerialPort port{clock};
    CaptureSink capture;
    LinkContext context{port, clock, capture.report};
    ProgrammingState state;
    FamilyLinks links{context, state};
    std::vector<std::uint8_t> image = std::vector<std::uint8_t>(kImageSize, 0);
};

}  // namespace velkor::testing
