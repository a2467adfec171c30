#include "record/record_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/append_file.h"
#include "platform/trusted_links.h"

namespace velkor {
namespace {

// Readable by all, as a log is; the umask has the last word.
constexpr mode_t kRecordMode = 0644;
// The window's record file is shared by the technicians of the folder's group.
constexpr mode_t kSharedRecordMode = 0664;

// Never through a link or into a FIFO that someone put in the record file's place.
int OpenForAppend(const std::filesystem::path& file, std::string& error) {
    std::string why;
    const int fd = OpenAppendFile(file, kRecordMode, false, why);
    if (fd < 0) {
        const int open_error = errno;
        error = "cannot open the record file ";
        error += file.string();
        error += ": ";
        error += why;
        errno = open_error;  // for a caller that tries again after a shortage
    }
    return fd;
}

// Writes `line` to the open record file and closes it.
bool WriteLine(int fd, const std::string& file, std::string_view line, std::string& error) {
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
        error += file;
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
    return fd >= 0 && WriteLine(fd, file.string(), line, error);
}

bool AppendRecordBelow(const std::filesystem::path& folder, std::string_view name,
                       std::string_view line, std::string& error) {
    const std::string shown(name);
    const auto refuse = [&](const char* why) {
        error = "RecordFile ";
        error += shown;
        error += why;
        return false;
    };
    const std::filesystem::path relative(shown);
    if (relative.empty() || relative.is_absolute() || !relative.has_filename()) {
        return refuse(" is not a file name relative to the program folder");
    }
    for (const auto& part : relative) {
        if (part == "..") {
            return refuse(" leaves the program folder");
        }
    }
    const std::filesystem::path parent = relative.parent_path();
    switch (CheckBelowFolder(folder, parent.string())) {
        case BelowFolder::kInside:
        case BelowFolder::kNotRegularFile:  // the open below says what it is
            break;
        case BelowFolder::kLeavesFolder:
            return refuse(" leaves the program folder");
        case BelowFolder::kUntrustedLink:
            return refuse(" passes through a link that neither root nor this user owns");
    }
    const int dir = ::open((folder / parent).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        error = "cannot open the folder of RecordFile " + shown + ": " + std::strerror(errno);
        return false;
    }
    const std::string last = relative.filename().string();
    constexpr int kFlags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd = ::openat(dir, last.c_str(), kFlags);
    if (fd < 0 && errno == ENOENT) {
        fd = ::openat(dir, last.c_str(), kFlags | O_CREAT | O_EXCL, kSharedRecordMode);
        struct stat folder_info {};
        if (fd >= 0 && ::fstat(dir, &folder_info) == 0) {
            // Whatever the umask and the folder's set-group-id bit say.
            (void)!::fchown(fd, static_cast<uid_t>(-1), folder_info.st_gid);
            ::fchmod(fd, kSharedRecordMode);
        }
    }
    const int open_error = errno;
    ::close(dir);
    if (fd < 0 && open_error == ELOOP) {
        return refuse(" is a symbolic link");
    }
    if (fd < 0 && open_error == ENXIO) {
        return refuse(" is not a regular file");  // a FIFO that nobody reads
    }
    if (fd < 0) {
        error = "cannot open RecordFile " + shown + ": " + std::strerror(open_error);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return refuse(" is not a regular file");
    }
    return WriteLine(fd, (folder / relative).string(), line, error);
}

}  // namespace velkor
