// Where the log of one velkor-flash session goes, as its output options say, and the serial
// port it runs on.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/posix_serial_port.h"
#include "platform/traced_serial_port.h"
#include "report/report.h"
#include "runs/output_paths.h"
#include "runs/run_options.h"
#include "terminal/terminal_sink.h"

namespace velkor {

// The sink of one session's log. Standard error gets the log with the progress bar; with -q
// only errors and outcomes; with -v the details too, and with --trace a line for each run of
// bytes on the wire. The --log file gets all of that, -q or not, without the progress: each
// run begins with a header line (local time, version, command line), each line after it with
// its time since then ("+12.345 s "). Details and trace lines stand on lines of their own. Text
// from the unit is shown with its control characters escaped, line ends included, so that it can
// neither steer the terminal nor begin a line of the log. One per session, used from the session's
// thread; sessions side by side each have their own.
class CommandOutput final : public ReportSink {
  public:
    // What would go to standard error goes to `screen` instead when one is given (a unit's
    // line among several).
    explicit CommandOutput(const OutputOptions& options, ReportSink* screen = nullptr);
    ~CommandOutput() override;
    CommandOutput(const CommandOutput&) = delete;
    CommandOutput& operator=(const CommandOutput&) = delete;

    // Opens the --log file for appending, before anything is sent. False, after saying why on
    // standard error, when it cannot be opened, is one of `kept` or is a serial device.
    bool Open(const std::vector<KeptFile>& kept = {});
    // The errno of an Open whose log file could not be opened; 0 otherwise.
    int open_error() const { return open_error_; }

    // The session's serial port: the device, traced with --trace.
    SerialPort& port();

    void AppendText(std::string_view text) override;
    void AppendMarked(std::string_view text, LogKind kind) override;
    void AppendForeign(std::string_view text, std::optional<LogKind> kind) override;
    void ResetProgress(int maximum) override;
    void SetProgress(int position) override;
    void AdvanceStream(const StreamProgress& progress) override;

  private:
    // Log text of `kind` (none: plain), in plain line ends.
    void Append(std::string_view text, const LogKind* kind);
    // A detail or trace line, on a line of its own.
    void AppendLine(std::string_view line);
    void ToLogFile(std::string_view plain);
    bool WriteLog(std::string_view bytes);

    const OutputOptions options_;
    std::unique_ptr<TerminalSink> own_screen_;
    ReportSink* screen_;
    std::mutex mutex_;
    std::FILE* log_ = nullptr;
    bool log_failed_ = false;
    bool log_at_line_start_ = true;
    // Whether the log so far ends with a line end, and whether its last line was cut short by
    // a line of its own; the line end it still owes is then already there.
    bool at_line_start_ = true;
    bool line_cut_ = false;
    RealClock clock_;
    int open_error_ = 0;
    std::uint32_t opened_ms_ = 0;  // when the log file was opened: its lines' times count from it
    PosixSerialPort device_;
    std::unique_ptr<TracedSerialPort> traced_;
};

}  // namespace velkor
