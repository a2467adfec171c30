#include "report/report.h"

#include <cstdarg>
#include <cstdio>

#include "platform/text.h"

namespace velkor {

void Report::AppendLog(std::string_view text) {
    if (ReportSink* sink = sink_.load()) {
        sink->AppendText(text);
    }
}

void Report::AppendMarked(std::string_view text, LogKind kind) {
    if (ReportSink* sink = sink_.load()) {
        sink->AppendMarked(text, kind);
    }
}

void Report::AppendForeign(std::string_view bytes, std::optional<LogKind> kind) {
    if (ReportSink* sink = sink_.load()) {
        sink->AppendForeign(Latin1ToUtf8(bytes), kind);
    }
}

void Report::LogPrintf(const char* format, ...) {
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

void Report::ProgressReset(int maximum) {
    if (ReportSink* sink = sink_.load()) {
        sink->ResetProgress(maximum);
    }
}

void Report::ProgressSet(int position) {
    if (ReportSink* sink = sink_.load()) {
        sink->SetProgress(position);
    }
}

void Report::StreamAdvanced(const StreamProgress& progress) {
    if (ReportSink* sink = sink_.load()) {
        sink->AdvanceStream(progress);
    }
}

}  // namespace velkor
