#include "report/report.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "platform/text.h"

namespace velkor {
namespace {

std::atomic<ReportSink*> g_sink{nullptr};

}  // namespace

ReportSink* InstallReportSink(ReportSink* sink) {
    return g_sink.exchange(sink);
}

void AppendLog(std::string_view text) {
    if (ReportSink* sink = g_sink.load()) {
        sink->AppendText(text);
    }
}

void LogPrintf(const char* format, ...) {
    char buffer[kLogPrintfBufferSize];
    va_list args;
    va_start(args, format);
    // vsnprintf cuts an over-long text at the buffer's end and always terminates it.
    int length = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (length < 0) {
        return;
    }
    if (length >= kLogPrintfBufferSize) {
        length = kLogPrintfBufferSize - 1;
    }
    AppendLog(Latin1ToUtf8(std::string_view(buffer, static_cast<std::size_t>(length))));
}

void ProgressReset(int maximum) {
    if (ReportSink* sink = g_sink.load()) {
        sink->ResetProgress(maximum);
    }
}

void ProgressSet(int position) {
    if (ReportSink* sink = g_sink.load()) {
        sink->SetProgress(position);
    }
}

}  // namespace velkor
