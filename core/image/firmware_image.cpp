#include "image/firmware_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "report/report.h"

namespace velkor {
namespace {

// Closes the file on every path out of a load.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

// Reports the progress as floor(k * 100 / size) for each consumed byte k, but only when the
// whole percentage changes; the byte index of the next change is precomputed so the hot loop
// does no division.
class ProgressTracker {
  public:
    ProgressTracker(Report& report, std::uint64_t size) : report_(report), size_(size) {
        next_at_ = FirstIndexOf(1);
    }

    void Consumed(std::uint64_t k) {
        if (k < next_at_) {
            return;
        }
        const auto percent = static_cast<int>(k * 100 / size_);
        if (percent != last_) {
            report_.ProgressSet(percent);
            last_ = percent;
        }
        next_at_ = FirstIndexOf(static_cast<std::uint64_t>(percent) + 1);
    }

  private:
    // Smallest k with k * 100 / size >= percent.
    std::uint64_t FirstIndexOf(std::uint64_t percent) const { return (percent * size_ + 99) / 100; }

    Report& report_;
    std::uint64_t size_;
    std::uint64_t next_at_ = 0;
    int last_ = 0;
};

// Opens `path` for reading only when it is a regular file. A FIFO would block the open until a
// writer came, and a device may act on being opened (a serial port raises its modem lines), so
// the path is looked at first, and the open itself neither waits nor takes a terminal; fstat
// then judges what was really opened, in case the path changed in between. Returns -1 for
// anything else.
int OpenRegularFile(const std::string& path, struct stat* info) {
    if (::stat(path.c_str(), info) != 0 || !S_ISREG(info->st_mode)) {
        return -1;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, info) != 0 || !S_ISREG(info->st_mode) || flags < 0 ||
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool IsAllFiller(std::string_view line) {
    return std::all_of(line.begin(), line.end(), IsLineFiller);
}

}  // namespace

int CFirmwareImage::Load(const std::string& /*path*/) {
    return kLoadOk;
}

std::unique_ptr<std::uint8_t[]> CFirmwareImage::AllocateBuffer() {
    return std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[kImageSize]);
}

int CFirmwareImage::ReadFile(const std::string& path) {
    content_.reset();
    open_error_ = 0;
    struct stat info {};
    errno = 0;
    FileDescriptor file(OpenRegularFile(path, &info));
    if (file.get() < 0) {
        open_error_ = errno;
        report_.AppendError(kLogCannotOpen);
        return kLoadCannotOpen;
    }
    const auto file_size = static_cast<std::uint64_t>(info.st_size);
    if (file_size > kMaxFirmwareFileSize) {
        report_.AppendError(kLogTooLarge);
        return kLoadFormatError;
    }
    std::string content;
    try {
        content.resize(static_cast<std::size_t>(file_size));
    } catch (const std::bad_alloc&) {
        open_error_ = ENOMEM;
        report_.AppendError(kLogNoMemory);
        return kLoadNoMemory;
    }
    std::size_t consumed = 0;
    while (consumed < content.size()) {
        const ssize_t got =
            ::read(file.get(), content.data() + consumed, content.size() - consumed);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            open_error_ = got < 0 ? errno : 0;
            // The file failed or shrank under us: what was read cannot be trusted as a whole.
            report_.AppendError(kLogCannotRead);
            return kLoadCannotOpen;
        }
        consumed += static_cast<std::size_t>(got);
    }
    content_ = std::move(content);
    return kLoadOk;
}

int CFirmwareImage::LoadLines(const std::string& path, LineParser& parser) {
    report_.ProgressReset(100);

    if (!buffer_) {
        buffer_ = AllocateBuffer();
        if (!buffer_) {
            open_error_ = ENOMEM;
            content_.reset();
            report_.AppendError(kLogNoMemory);
            return kLoadNoMemory;
        }
    }

    // One read of the file: the image, and whatever the front end records of the file, come
    // from the same bytes.
    if (const int read = ReadFile(path); read != kLoadOk) {
        return read;
    }

    std::uint8_t* image = buffer_.get();
    std::memset(image, 0, kImageSize);

    const std::string_view content = *content_;
    ProgressTracker progress(report_, content.size());
    char line[kMaxLineLength + 1];
    std::size_t line_length = 0;
    for (std::size_t i = 0; i < content.size(); ++i) {
        const char ch = content[i];
        if (ch != '\n' && ch != '\r') {
            if (line_length == kMaxLineLength) {
                report_.AppendError(kLogFormatError);
                return kLoadFormatError;
            }
            line[line_length++] = ch;
        } else if (line_length != 0) {
            if (!parser.ProcessLine(std::string_view(line, line_length), image)) {
                report_.AppendError(kLogFormatError);
                return kLoadFormatError;
            }
            line_length = 0;
        }
        progress.Consumed(i);
    }

    // A last line without a line end still counts, unless it is only filler.
    const std::string_view last_line(line, line_length);
    if (!last_line.empty() && !IsAllFiller(last_line) && !parser.ProcessLine(last_line, image)) {
        report_.AppendError(kLogFormatError);
        return kLoadFormatError;
    }

    report_.ProgressSet(100);
    return kLoadOk;
}

}  // namespace velkor
