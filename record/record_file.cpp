#include "record/record_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velkor {
namespace {

// Readable by all, as a log is; the umask has the last word.
constexpr mode_t kRecordMode = 0644;

int OpenForAppend(const std::filesystem::path& file, std::string& error) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, kRecordMode);
    if (fd < 0) {
        error = "cannot open the record file ";
        error += file.string();
        error += ": ";
        error += std::strerror(errno);
    }
    return fd;
}

}  // namespace

bool CanAppendRecord(const std::filesystem::path& file, std::string& error) {
    const int fd = OpenForAppend(file, error);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

bool AppendRecord(const std::filesystem::path& file, std::string_view line, std::string& error) {
    const int fd = OpenForAppend(file, error);
    if (fd < 0) {
        return false;
    }
    // One write of the whole line: with O_APPEND the kernel places it at the end in one piece.
    // Writing a rest after a short write could put another run's line in between, so a short
    // write is reported, not finished.
    ssize_t written;
    do {
        written = ::write(fd, line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    const int write_error = errno;
    const bool closed = ::close(fd) == 0;
    const int close_error = errno;
    if (written < 0 || static_cast<std::size_t>(written) != line.size() || !closed) {
        error = "the record could not be written to ";
        error += file.string();
        if (written < 0) {
            error += ": ";
            error += std::strerror(write_error);
        } else if (static_cast<std::size_t>(written) != line.size()) {
            error += ": only ";
            error += std::to_string(written);
            error += " of ";
            error += std::to_string(line.size());
            error += " bytes";
        } else {
            error += ": ";
            error += std::strerror(close_error);
        }
        return false;
    }
    return true;
}

}  // namespace velkor
