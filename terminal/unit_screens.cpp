#include "terminal/unit_screens.h"

#include <algorithm>

namespace velkor {

void SharedLines::Write(std::string_view line) {
    std::lock_guard lock(mutex_);
    std::fwrite(line.data(), 1, line.size(), out_);
    std::fflush(out_);
}

PrefixedUnitSink::~PrefixedUnitSink() {
    if (!partial_.empty()) {
        AppendText("\n");
    }
}

void PrefixedUnitSink::AppendText(std::string_view text) {
    partial_ += text;
    std::size_t start = 0;
    for (std::size_t end; (end = partial_.find('\n', start)) != std::string::npos;
         start = end + 1) {
        std::string line = prefix_;
        line.append(partial_, start, end - start + 1);
        out_.Write(line);
    }
    partial_.erase(0, start);
}

void PrefixedUnitSink::ResetProgress(int /*maximum*/) {
    stream_clock_.Reset();
    stream_lines_.Reset();
}

void PrefixedUnitSink::AdvanceStream(const StreamProgress& progress) {
    // Whole lines only go out, so the line comes out whole among the unit's others.
    if (const std::string line = stream_lines_.Advance(progress, stream_clock_.Elapsed());
        !line.empty()) {
        out_.Write(prefix_ + line);
    }
}

void StatusLineSink::ShowStage(std::string_view stage) {
    stage_ = stage;
    board_.Show(row_, stage_);
}

void StatusLineSink::ResetProgress(int maximum) {
    maximum_ = std::max(maximum, 1);
}

void StatusLineSink::SetProgress(int position) {
    if (stage_ != "programming") {
        return;
    }
    const int percent = std::clamp(position, 0, maximum_) * 100 / maximum_;
    std::string text = stage_;
    text += ' ';
    text += std::to_string(percent);
    text += '%';
    board_.Show(row_, text);
}

}  // namespace velkor
