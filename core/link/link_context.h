// What every link object shares: the one open serial port, the time source, the receive byte
// and the MCU's last replies. The front end creates one and hands it to all link objects;
// tests build a fresh one each.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <utility>

#include "link/mcu_replies.h"
#include "platform/clock.h"
#include "platform/serial_port.h"
#include "report/report.h"
#include "settings/port_name.h"

namespace velkor {

enum class ByteRead { kNone, kReceived, kFailed };

// The wait loops of the link check their limits on a grid of polls `poll_ms` (1 or 2) apart,
// and each ends at the first poll at which an `elapsed` figure exceeds its `limit`. Between
// two polls that find nothing the loop need not wake, so an empty poll may wait this long in
// one piece and the loop still ends at the same millisecond (a byte ends the wait earlier, as
// it ended the poll step): at least one step, and the smallest whole number of steps after
// which elapsed exceeds limit.
constexpr std::uint32_t WaitUntilPast(std::uint32_t elapsed, std::uint32_t limit,
                                      std::uint32_t poll_ms) {
    if (elapsed > limit) {
        return poll_ms;
    }
    const std::uint64_t steps = (static_cast<std::uint64_t>(limit) - elapsed) / poll_ms + 1;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(steps * poll_ms, UINT32_MAX));
}

// A reply is mostly due within a few hundred milliseconds of its command (a 261-byte record
// takes 136 ms at 19200 baud). Until the line has been quiet this long an empty poll waits one
// poll step, as it always did: a processor with no timer near sinks into a deeper idle state
// and takes longer to wake for the byte (on the programming benchmark, sleeping to the limit
// from the first empty poll made the record stream up to 0.35 % slower). After that the line
// counts as silent and the wait sleeps until a byte comes or until its next limit: a silent
// line then costs no CPU however long the wait.
inline constexpr std::uint32_t kAttentiveQuietMs = 200;

// The wait after an empty poll: `quiet_ms` is how long the line has been quiet in this wait
// (since its start or its last byte), `until_limit_ms` what WaitUntilPast gives for the
// loop's nearest limit. Either is a whole number of poll steps, so the grid holds.
constexpr std::uint32_t EmptyPollWaitMs(std::uint32_t quiet_ms, std::uint32_t until_limit_ms,
                                        std::uint32_t poll_ms) {
    return quiet_ms < kAttentiveQuietMs ? std::min(until_limit_ms, poll_ms) : until_limit_ms;
}

struct LinkContext {
    LinkContext(SerialPort& serial_port, Clock& time_source, Report& session_report,
                std::filesystem::path settings = {})
        : port(serial_port),
          clock(time_source),
          report(session_report),
          settings_file(std::move(settings)) {}
    LinkContext(const LinkContext&) = delete;
    LinkContext& operator=(const LinkContext&) = delete;

    // Takes at most one queued byte into `receive_byte`, without waiting.
    ByteRead PollByte() {
        const int count = port.Read(&receive_byte, 1);
        if (count < 0) {
            return ByteRead::kFailed;
        }
        return count == 1 ? ByteRead::kReceived : ByteRead::kNone;
    }

    std::uint32_t ElapsedSince(std::uint32_t start) { return clock.NowMs() - start; }

    // The wait after an empty poll: until a byte can be read or `ms` pass. False when the link
    // is stopping; the caller then ends its wait as if it had timed out or failed.
    bool WaitForByte(std::uint32_t ms) {
        if (stopping()) {
            return false;
        }
        port.WaitReadable(ms);
        return !stopping();
    }

    // A pause of the dialects, the procedures and the update sequence: `ms` whatever the line
    // does. False when the link is stopping: the pause then ends at once.
    bool Pause(std::uint32_t ms) {
        if (stopping()) {
            return false;
        }
        port.Pause(ms);
        return !stopping();
    }

    // Asks every wait on this link to end, from any thread: the wait or pause under way ends
    // within a few milliseconds, every later one at once, and the operation that waited
    // returns its time-out or failure. For a session that is ending; it cannot be undone.
    void RequestStop() {
        stop_requested_.store(true);
        port.CancelWaits();
    }
    bool stopping() const { return stop_requested_.load(); }

    SerialPort& port;  // the port handle of every link object
    Clock& clock;
    Report& report;  // the session's log and progress
    // Where the device name came from, for the advice when it cannot be opened.
    std::string_view port_source = kPortSourceSettings;
    // Where "ComPort" may name the device behind "COM2:"; empty: no settings file.
    std::filesystem::path settings_file;
    // The errno of the last open of the port that failed; 0 after one that succeeded.
    int open_error = 0;
    std::uint8_t receive_byte = 0;
    McuReplies replies;

  private:
    std::atomic<bool> stop_requested_{false};
};

}  // namespace velkor
