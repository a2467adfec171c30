#include "runs/command_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>

#include "platform/append_file.h"
#include "platform/text.h"

namespace velkor {
namespace {

// A word of the command line as a shell would take it back, its control characters escaped.
std::string ShownWord(std::string_view word) {
    const bool plain = !word.empty() && word.find_first_not_of(
                                            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                            "0123456789-_./=:,+@%") == std::string_view::npos;
    if (plain) {
        return std::string(word);
    }
    std::string quoted = "'";
    for (const char c : EscapeControls(word)) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    quoted += '\'';
    return quoted;
}

// The command line velkor-flash was started with, from the kernel's copy of its arguments:
// the same for every session of the run, and nothing to hand down through each command.
std::string CommandLine() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    const std::string words{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::string line;
    for (std::size_t start = 0; start < words.size();) {
        std::size_t end = words.find('\0', start);
        if (end == std::string::npos) {
            end = words.size();
        }
        if (!line.empty()) {
            line += ' ';
        }
        line += ShownWord(std::string_view(words).substr(start, end - start));
        start = end + 1;
    }
    return line;
}

// "=== 2026-12-08 05:41:02 +0100 velkor-flash 2.3: velkor-flash write ... ===".
std::string LogHeader() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char time_text[64] = "";
    if (::localtime_r(&now, &local) != nullptr) {
        std::strftime(time_text, sizeof time_text, "%Y-%m-%d %H:%M:%S %z", &local);
    }
    std::string header = std::string("=== ") + time_text + " velkor-flash " VELKOR_VERSION;
    if (const std::string words = CommandLine(); !words.empty()) {
        header += ": ";
        header += words;
    }
    header += " ===\n";
    return header;
}

}  // namespace

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
    // Read too, for the header below; a file that may only be written still takes the log.
    // Never through a link someone put in its place: the log holds the unit's texts.
    std::string why;
    const int fd = OpenAppendFile(name, 0666, true, why);
    open_error_ = fd < 0 ? errno : 0;
    const bool readable = fd >= 0 && (::fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDWR;
    log_ = fd >= 0 ? ::fdopen(fd, readable ? "a+" : "a") : nullptr;
    if (log_ == nullptr) {
        if (fd >= 0) {
            open_error_ = errno;
            why = std::strerror(errno);
            ::close(fd);
        }
        std::fprintf(stderr, "velkor-flash: cannot open the log file %s: %s\n",
                     EscapeControls(name).c_str(), why.c_str());
        return false;
    }
    opened_ms_ = clock_.NowMs();
    // The header on a line of its own, even after a run whose last line was cut off.
    std::string header = LogHeader();
    if (std::fseek(log_, -1, SEEK_END) == 0) {
        if (const int last = std::fgetc(log_); last != EOF && last != '\n') {
            header.insert(0, 1, '\n');
        }
    }
    std::fseek(log_, 0, SEEK_END);  // from reading to appending
    std::lock_guard lock(mutex_);
    WriteLog(header);
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

void CommandOutput::AdvanceStream(const StreamProgress& progress) {
    if (!options_.quiet) {
        screen_->AdvanceStream(progress);
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
    if (kind != nullptr) {
        screen_->AppendMarked(plain, *kind);  // an error or outcome ends the progress shown
    } else if (!options_.quiet) {
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
    const std::uint32_t ms = clock_.NowMs() - opened_ms_;
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "+%u.%03u s ", ms / 1000, ms % 1000);
    std::string stamped;
    for (const char c : plain) {
        if (log_at_line_start_) {
            stamped += stamp;
            log_at_line_start_ = false;
        }
        stamped += c;
        log_at_line_start_ = c == '\n';
    }
    WriteLog(stamped);
}

bool CommandOutput::WriteLog(std::string_view bytes) {
    if (log_failed_) {
        return false;
    }
    if (std::fwrite(bytes.data(), 1, bytes.size(), log_) != bytes.size() ||
        std::fflush(log_) != 0) {
        // The update goes on; the technician learns once that the file lacks the rest.
        log_failed_ = true;
        std::string message = "velkor-flash: cannot write the log file ";
        message += options_.log_file;
        message += ": ";
        message += std::strerror(errno);
        message += '\n';
        screen_->AppendText(message);
        return false;
    }
    return true;
}

}  // namespace velkor
