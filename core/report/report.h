// Log and progress reporting shared by every part of the tool.
//
// The core never talks to a window or a terminal directly: it calls these free functions,
// which forward to the sink the front end installed (the main window, the command line, or a
// capturing sink in tests). Every call is synchronous: it returns once the sink has taken it.
#pragma once

#include <string_view>

namespace velkor {

class ReportSink {
  public:
    virtual ~ReportSink() = default;
    // Appends a piece of UTF-8 text to the log. Line ends are "\r\n".
    virtual void AppendText(std::string_view text) = 0;
    // Sets the progress range to 0..maximum, step 1, position 0.
    virtual void ResetProgress(int maximum) = 0;
    virtual void SetProgress(int position) = 0;
};

// Installs the sink the reporting operations forward to and returns the previous one.
// With no sink installed, reports are dropped.
ReportSink* InstallReportSink(ReportSink* sink);

// Installs a sink for the lifetime of this object, then restores the previous one.
class ScopedReportSink {
  public:
    explicit ScopedReportSink(ReportSink& sink) : previous_(InstallReportSink(&sink)) {}
    ~ScopedReportSink() { InstallReportSink(previous_); }
    ScopedReportSink(const ScopedReportSink&) = delete;
    ScopedReportSink& operator=(const ScopedReportSink&) = delete;

  private:
    ReportSink* previous_;
};

// Size of the formatting buffer of LogPrintf, terminator included.
inline constexpr int kLogPrintfBufferSize = 1024;

void AppendLog(std::string_view text);

// Formats narrow text (MCU replies, numbers) into a 1024-byte buffer, cutting anything longer,
// and appends it to the log. Every byte counts as a Latin-1 character.
void LogPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

void ProgressReset(int maximum);
void ProgressSet(int position);

}  // namespace velkor
