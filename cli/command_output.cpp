#include "cli/command_output.h"

#include <cerrno>
#include <cstring>

#include "platform/text.h"

namespace velkor {

CommandOutput::CommandOutput(const OutputOptions& options, ReportSink* screen)
    : options_(options),
      own_screen_(screen == nullptr ? std::make_unique<TerminalSink>(stderr) : nullptr),
      screen_(screen == nullptr ? own_screen_.get() : screen) {
    if (options_.trace) {
        traced_ = std::make_unique<TracedSerialPort>(
            device_, clock_, [this](std::string_view line) { AppendLine(line); });
    }
}

CommandOutput::~CommandOutput() {
    traced_.reset();  // shows the last run of bytes while the log is still open
    if (log_ != nullptr) {
        std::fclose(log_);
    }
}

bool CommandOutput::Open(const std::vector<KeptFile>& kept) {
    if (options_.log_file.empty()) {
        return true;
    }
    const std::string& name = options_.log_file;
    // Checked before the open, which creates the file: appending the log to the firmware
    // file would spoil it, and opening a serial device may already move its modem lines.
    if (const std::string refusal = WriteRefusal("--log", name, kept); !refusal.empty()) {
        std::fprintf(stderr, "velkor-flash: %s\n", refusal.c_str());
        return false;
    }
    log_ = std::fopen(name.c_str(), "ae");
    if (log_ == nullptr) {
        std::fprintf(stderr, "velkor-flash: cannot open the log file %s: %s\n", name.c_str(),
                     std::strerror(errno));
        return false;
    }
    return true;
}

SerialPort& CommandOutput::port() {
    if (traced_) {
        return *traced_;
    }
    return device_;
}

void CommandOutput::AppendText(std::string_view text) {
    Append(text, nullptr);
}

void CommandOutput::AppendMarked(std::string_view text, LogKind kind) {
    if (traced_) {
        traced_->Flush();  // the bytes came before what the log says next
    }
    if (kind == LogKind::kDetail) {
        if (options_.verbose) {
            AppendLine(text);
        }
        return;
    }
    Append(text, &kind);
}

void CommandOutput::AppendForeign(std::string_view text, std::optional<LogKind> kind) {
    const std::string shown = EscapeControls(text);
    if (!kind) {
        Append(shown, nullptr);
    } else if (*kind != LogKind::kDetail) {
        Append(shown, &*kind);
    } else if (options_.verbose) {
        AppendLine(shown);
    }
}

void CommandOutput::ResetProgress(int maximum) {
    if (!options_.quiet) {
        screen_->ResetProgress(maximum);
    }
}

void CommandOutput::SetProgress(int position) {
    if (!options_.quiet) {
        screen_->SetProgress(position);
    }
}

void CommandOutput::Append(std::string_view text, const LogKind* kind) {
    if (traced_) {
        traced_->Flush();  // the bytes came before what the log says next
    }
    std::string plain = ToPlainLineEnds(text);
    std::lock_guard lock(mutex_);
    if (line_cut_ && !plain.empty() && plain.front() == '\n') {
        plain.erase(0, 1);
    }
    if (plain.empty()) {
        return;
    }
    line_cut_ = false;
    at_line_start_ = plain.back() == '\n';
    if (!options_.quiet || kind != nullptr) {
        screen_->AppendText(plain);
    }
    ToLogFile(plain);
}

void CommandOutput::AppendLine(std::string_view line) {
    std::string plain;
    std::lock_guard lock(mutex_);
    if (!at_line_start_) {
        plain += '\n';
        line_cut_ = true;
    }
    plain += ToPlainLineEnds(line);
    if (plain.empty() || plain.back() != '\n') {
        plain += '\n';
    }
    at_line_start_ = true;
    screen_->AppendText(plain);
    ToLogFile(plain);
}

void CommandOutput::ToLogFile(std::string_view plain) {
    if (log_ == nullptr || log_failed_) {
        return;
    }
    if (std::fwrite(plain.data(), 1, plain.size(), log_) != plain.size() ||
        std::fflush(log_) != 0) {
        // The update goes on; the technician learns once that the file lacks the rest.
        log_failed_ = true;
        std::string message = "velkor-flash: cannot write the log file ";
        message += options_.log_file;
        message += ": ";
        message += std::strerror(errno);
        message += '\n';
        screen_->AppendText(message);
    }
}

}  // namespace velkor
