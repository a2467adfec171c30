#include "runs/firmware_file_problem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "image/image_for_family.h"
#include "platform/text.h"
#include "report/report.h"

namespace velkor {
namespace {

enum class FileFormat { kUnknown, kIntelHex, kSRecords };

// Keeps the text of a load and drops its progress.
class TextOnly final : public ReportSink {
  public:
    void AppendText(std::string_view text) override { text_ += text; }
    void ResetProgress(int /*maximum*/) override {}
    void SetProgress(int /*position*/) override {}
    std::string& text() { return text_; }

  private:
    std::string text_;
};

std::string Reason(int error) {
    switch (error) {
        case ENOENT:
            return "no such file";
        case EACCES:
        case EPERM:
            return "permission denied";
        case EISDIR:
            return "it is a folder";
        case ELOOP:
            return "too many levels of symbolic links";
        case ENOTDIR:
            return "a part of the path is not a folder";
        default: {
            std::string text = std::strerror(error);
            if (!text.empty()) {
                text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
            }
            return text;
        }
    }
}

// What a record file's first record says it is: Intel HEX lines begin with ':', S-records
// with 'S'.
FileFormat FormatOf(std::string_view head) {
    for (char ch : head) {
        if (ch == ':') {
            return FileFormat::kIntelHex;
        }
        if (ch == 'S' || ch == 's') {
            return FileFormat::kSRecords;
        }
        if (!std::isspace(static_cast<unsigned char>(ch)) && ch != '\x1A') {
            return FileFormat::kUnknown;
        }
    }
    return FileFormat::kUnknown;
}

const char* FormatName(FileFormat format) {
    return format == FileFormat::kIntelHex ? "Intel HEX" : "S-records";
}

const char* FamilyName(McuType mcu) {
    switch (mcu) {
        case kMcuTypeStm8:
            return "stm8";
        case kMcuTypeNec:
            return "nec";
        default:
            return "m3";
    }
}

// The first bytes of a regular file, and its size; the errno of the failure otherwise.
int ReadHead(const std::string& path, std::string& head, std::uint64_t* size = nullptr) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return errno;
    }
    if (S_ISDIR(info.st_mode)) {
        return EISDIR;
    }
    if (!S_ISREG(info.st_mode)) {
        return -1;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    char bytes[512];
    const ssize_t count = ::read(fd, bytes, sizeof bytes);
    const int error = errno;
    ::close(fd);
    if (count < 0) {
        return error;
    }
    head.assign(bytes, static_cast<std::size_t>(count));
    if (size != nullptr) {
        *size = static_cast<std::uint64_t>(info.st_size);
    }
    return 0;
}

FileFormat FamilyFormat(McuType mcu) {
    return mcu == kMcuTypeStm8 ? FileFormat::kSRecords : FileFormat::kIntelHex;
}

}  // namespace

bool InFamilyFormat(const std::string& path, McuType mcu) {
    std::string head;
    return ReadHead(path, head) == 0 && FormatOf(head) == FamilyFormat(mcu);
}

std::optional<FileProblem> FirmwareFileProblem(const std::string& path, McuType mcu,
                                               std::vector<std::uint8_t>* image) {
    const std::string name = EscapeControls(path);
    const FileFormat wanted = FamilyFormat(mcu);
    std::string head;
    std::uint64_t size = 0;
    if (const int error = ReadHead(path, head, &size); error != 0) {
        FileProblem problem{std::string(kLogCannotOpen), "cannot open " + name + ": "};
        problem.message += error < 0 ? "it is not a regular file" : Reason(error);
        problem.error = std::max(error, 0);
        return problem;
    }
    if (size > kMaxFirmwareFileSize) {
        return FileProblem{std::string(kLogTooLarge),
                           name + " is too large for a firmware file (over 64 MiB)"};
    }
    if (const FileFormat format = FormatOf(head);
        format != FileFormat::kUnknown && format != wanted) {
        return FileProblem{std::string(kLogFormatError), name + " is " + FormatName(format) +
                                                             ", but " + FamilyName(mcu) +
                                                             " takes " + FormatName(wanted)};
    }

    TextOnly lines;
    Report report(&lines);
    const auto reader = MakeImageReader(mcu, report);
    if (reader == nullptr) {
        return FileProblem{{}, "no reader for this MCU family"};
    }
    switch (reader->Load(path)) {
        case kLoadOk:
            break;
        case kLoadNoMemory:
            return FileProblem{std::move(lines.text()), "not enough memory to load " + name,
                               ENOMEM};
        case kLoadCannotOpen:
            return FileProblem{std::move(lines.text()), "cannot read " + name,
                               reader->open_error()};
        default:
            return FileProblem{std::move(lines.text()),
                               name + " is not a valid " + FormatName(wanted) + " file"};
    }
    const RecordFacts& facts = reader->record_facts();
    if (facts.data_bytes == 0) {
        return FileProblem{std::string(kLogNoData), name + " holds no data"};
    }
    if (!facts.ends_with_end_record) {
        return FileProblem{std::string(kLogNoEndRecord),
                           name + " does not end with its end record; it may be cut short"};
    }
    if (image != nullptr) {
        image->assign(reader->Buffer(), reader->Buffer() + kImageSize);
    }
    return std::nullopt;
}

}  // namespace velkor
