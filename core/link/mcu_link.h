// Base of every MCU link object: opens and configures the shared serial port, writes byte
// blocks and strings, reads single bytes against a time-out, and declares the operations that
// the two dialects and the MCU family classes fill in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "link/link_context.h"

namespace velkor {

// Results of Open.
enum OpenResult : int {
    kOpenOk = 0,
    kOpenNoDevice = 1,        // the device could not be opened (another program may hold it)
    kOpenNoEventMask = 2,     // the event mask could not be set
    kOpenNoLineSettings = 3,  // the line settings (or time-outs) could not be read or written
    kOpenNoPortDefined = 4,   // OpenDefault of an object without a port of its own
};

// Results of the acknowledgement waits and queries.
enum LinkResult : int {
    kLinkOk = 0,
    kLinkTimedOut = 1,
    kLinkReadFailed = 2,  // the ASCII dialect only; a framed wait reports 1 for both
};

// Line setup of Open, in the codes of LineSettings.
inline constexpr std::size_t kPortQueueSize = 1024;
inline constexpr std::uint32_t kPortEventMask = 0x0101;  // received character, ring
inline constexpr std::uint32_t kPortWriteTimeoutMs = 5000;
inline constexpr std::uint8_t kByteSize8 = 8;
inline constexpr std::uint8_t kNoParity = 0;
inline constexpr std::uint8_t kOneStopBit = 0;
inline constexpr std::uint8_t kDtrDisabled = 0;

// Port name of both dialects; resolved to a device through the settings file.
inline constexpr std::string_view kDefaultPortName = "COM2:";

class CMcuLink {
  public:
    explicit CMcuLink(LinkContext& context) : context_(context) {}
    virtual ~CMcuLink() = default;
    CMcuLink(const CMcuLink&) = delete;
    CMcuLink& operator=(const CMcuLink&) = delete;

    // The operations in this order are the interface of every link object.

    // Opens and configures the port; an OpenResult. A device that cannot be opened also gets
    // one log line saying why.
    virtual int Open(std::string_view port_name, std::uint32_t baud_rate);
    // Open with the object's own port name and baud rate; 4 here, where there are none.
    virtual int OpenDefault();
    // Closes the port if it is open. Always 0.
    virtual int Close();
    // Discards both queues; nonzero on success.
    virtual int Purge();
    // Waits for the MCU's acknowledgement of `command`; 0 here.
    virtual int WaitAck(std::uint8_t command, std::uint32_t timeout_ms);
    // Diagnostics: copy received bytes to the log until `total_ms` pass or the line has been
    // quiet for `idle_ms`.
    virtual void EchoUntilQuiet(std::uint32_t total_ms, std::uint32_t idle_ms);
    // Diagnostics: copy received bytes to the log for `duration_ms`.
    virtual void EchoFor(std::uint32_t duration_ms);
    virtual int QueryVersion();
    virtual int SendPrelude();
    virtual int QueryInformation();
    virtual int WriteConfiguration();
    virtual int DecodeOptions();
    virtual int QueryChecksum();
    // What QueryChecksum yields from an MCU whose checksum is `checksum`: the value itself
    // here; none when the dialect's reply cannot carry it at all.
    virtual std::optional<std::uint32_t> ChecksumAsReplied(std::uint32_t checksum) const;
    virtual int CheckFile(const std::uint8_t* image);
    virtual int Program(const std::uint8_t* image);
    // One byte as 0..255, or -1 when none came within `timeout_ms` or the read failed.
    virtual int ReadByte(std::uint32_t timeout_ms);

    // Writes the block in one piece; false when it could not all be written.
    bool Write(const std::uint8_t* data, std::size_t count);
    // Writes `text` one byte per write, as the MCU's command reader expects. Stops at the
    // first failed byte so that no mutilated command reaches the MCU; false then.
    bool WriteString(std::string_view text);
    // Names a command in the log's details (velkor-flash -v) just before it is sent, with the
    // command as the MCU reads it: an ASCII command without its line end, a frame's command
    // code and payload in hexadecimal.
    void NameCommand(std::string_view name, std::string_view ascii_command);
    void NameCommand(std::string_view name, std::uint8_t frame_code,
                     std::span<const std::uint8_t> payload);
    // Sets the named line fields and keeps every other field the driver reported.
    bool ConfigurePort(std::uint32_t baud_rate, std::uint8_t byte_size, std::uint8_t parity,
                       std::uint8_t stop_bits, std::uint8_t dtr_control);

    const std::string& port_name() const { return port_name_; }
    std::uint32_t baud_rate() const { return baud_rate_; }
    LinkContext& context() { return context_; }
    Report& report() { return context_.report; }
    McuReplies& replies() { return context_.replies; }

  protected:
    CMcuLink(LinkContext& context, std::string_view port_name, std::uint32_t baud_rate)
        : context_(context), port_name_(port_name), baud_rate_(baud_rate) {}

    // A blind pause: the MCU needs the time, no reply is awaited. Ends at once when the link
    // is stopping.
    void Pause(std::uint32_t ms) { context_.Pause(ms); }
    // Appends the version text (up to its first zero byte) and a line end to the log.
    void LogVersionText();
    // Stores the information text: every byte received until kInformationTotalMs pass or
    // the line has been quiet for kInformationIdleMs, at most kInformationTextLimit bytes.
    // False when a read failed.
    bool CollectInformation();
    void LogInformationText();

  private:
    LinkContext& context_;
    std::string port_name_;
    std::uint32_t baud_rate_ = 0;
};

}  // namespace velkor
