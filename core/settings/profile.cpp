#include "settings/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <string>
#include <system_error>

#include "platform/trusted_links.h"
#include "settings/settings_lock.h"

namespace velkor {
namespace {

// ---------------------------------------------------------------------------------------------
// Text model

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Bytes of the character starting at `at`. A malformed sequence counts one character per byte,
// so any file splits into lines the same way every time.
std::size_t CharLength(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t continuations = 0;
    if (lead >= 0xC0 && lead < 0xE0) {
        continuations = 1;
    } else if (lead >= 0xE0 && lead < 0xF0) {
        continuations = 2;
    } else if (lead >= 0xF0 && lead < 0xF8) {
        continuations = 3;
    }
    std::size_t length = 1;
    while (length <= continuations && at + length < text.size() &&
           IsContinuationByte(text[at + length])) {
        ++length;
    }
    return length;
}

// Byte length of the first `max_chars` characters of `text` (all of it when shorter).
std::size_t PrefixBytes(std::string_view text, std::size_t max_chars, std::size_t* chars) {
    std::size_t at = 0;
    std::size_t count = 0;
    while (at < text.size() && count < max_chars) {
        at += CharLength(text, at);
        ++count;
    }
    *chars = count;
    return at;
}

// One line as a text stream with a 260-character buffer delivers it.
struct LinePiece {
    std::size_t start = 0;
    std::size_t text_end = 0;  // before the line end
    std::size_t next = 0;      // where the following line starts
    bool reached_eof = false;  // the read ran into the end of the file
};

LinePiece ReadLinePiece(std::string_view data, std::size_t start) {
    LinePiece piece;
    piece.start = start;
    std::size_t at = start;
    // The line feed (or CR LF) takes one of the places, as in the stream's buffer.
    for (std::size_t chars = 0; chars < kProfileLineCapacity; ++chars) {
        if (at == data.size()) {
            piece.reached_eof = true;
            break;
        }
        if (data[at] == '\n') {
            piece.text_end = at;
            piece.next = at + 1;
            return piece;
        }
        if (data[at] == '\r' && at + 1 < data.size() && data[at + 1] == '\n') {
            piece.text_end = at;
            piece.next = at + 2;
            return piece;
        }
        at += CharLength(data, at);
    }
    piece.text_end = at;
    piece.next = at;
    return piece;
}

bool IsSectionHeader(std::string_view line, std::string_view section) {
    return line.size() >= section.size() + 2 && line.front() == '[' &&
           line.substr(1, section.size()) == section && line[section.size() + 1] == ']';
}

bool IsEntry(std::string_view line, std::string_view key) {
    return line.size() > key.size() && line.substr(0, key.size()) == key && line[key.size()] == '=';
}

struct ScanResult {
    bool section_found = false;
    std::size_t section_start = 0;
    std::optional<std::size_t> next_section;
    bool entry_found = false;
    std::size_t entry_start = 0;
    std::size_t entry_end = 0;
    std::string_view value;
    bool reached_eof = false;
};

// A leading UTF-8 byte order mark, as many editors write one; it is not part of the first line.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::size_t MarkLength(std::string_view data) {
    return data.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
}

// Walks the lines up to the first entry of `key` in the first `section`, the line ending that
// section, or the end of the file. Without a key only the section's extent is sought. Offsets
// count from the start of the file, byte order mark included, so a rewrite keeps the mark.
ScanResult Scan(std::string_view data, std::string_view section,
                std::optional<std::string_view> key) {
    ScanResult result;
    std::size_t at = MarkLength(data);
    while (true) {
        if (at == data.size()) {
            result.reached_eof = true;
            break;
        }
        const LinePiece piece = ReadLinePiece(data, at);
        result.reached_eof = piece.reached_eof;
        at = piece.next;
        const std::string_view line = data.substr(piece.start, piece.text_end - piece.start);
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (!result.section_found) {
            if (IsSectionHeader(line, section)) {
                result.section_found = true;
                result.section_start = piece.start;
            }
            continue;
        }
        if (line.front() == '[') {
            result.next_section = piece.start;
            break;
        }
        if (key && IsEntry(line, *key)) {
            result.entry_found = true;
            result.entry_start = piece.start;
            result.entry_end = piece.next;
            result.value = line.substr(key->size() + 1);
            break;
        }
    }
    return result;
}

// ---------------------------------------------------------------------------------------------
// File access

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void reset(int fd) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }
    // Closes now, reporting whether buffered data made it out.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool ReadAll(int fd, std::string& out) {
    char buffer[4096];
    while (true) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        out.append(buffer, static_cast<std::size_t>(got));
    }
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = ::write(fd, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

bool WriteAllAt(int fd, std::string_view bytes, off_t offset) {
    while (!bytes.empty()) {
        const ssize_t put = ::pwrite(fd, bytes.data(), bytes.size(), offset);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(put));
        offset += static_cast<off_t>(put);
    }
    return true;
}

// Opens a regular file; O_NONBLOCK keeps a FIFO in its place from blocking the open (and means
// nothing for the regular file that is then read and written).
int OpenRegular(const std::filesystem::path& file, int flags, struct stat* info) {
    const int fd = ::open(file.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    if (::fstat(fd, info) != 0 || !S_ISREG(info->st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

std::optional<std::string> ReadForLookup(const std::filesystem::path& file) {
    struct stat info {};
    Fd fd(OpenRegular(file, O_RDONLY, &info));
    std::string bytes;
    if (fd.get() < 0 || !ReadAll(fd.get(), bytes)) {
        return std::nullopt;
    }
    return bytes;
}

struct CurrentFile {
    bool exists = false;
    Fd fd;  // open for reading and writing while the file exists
    struct stat info {};
    std::string bytes;
};

// Reads the file to be updated. A missing file is an empty one still to be created; a file
// that cannot be opened for both reading and writing is not touched.
bool ReadForUpdate(const std::filesystem::path& file, CurrentFile& current) {
    current.fd.reset(OpenRegular(file, O_RDWR | O_NOFOLLOW, &current.info));
    if (current.fd.get() < 0) {
        return errno == ENOENT;
    }
    current.exists = true;
    return ReadAll(current.fd.get(), current.bytes);
}

std::filesystem::path FolderOf(const std::filesystem::path& target) {
    return target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
}

// The one temporary name of a settings file: a write killed before its rename leaves at most
// this file, and the next write removes it.
std::string TempName(const std::filesystem::path& target) {
    std::string name = ".";
    name += target.filename().string();
    name += ".tmp";
    return name;
}

// Earlier builds named each temporary file "<temp name><pid>-<number>"; a killed write left
// one behind every time. Removes those beside `target`, and nothing else.
void RemoveNumberedTempFiles(const std::filesystem::path& target) {
    const std::string prefix = TempName(target);
    const auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
    std::error_code error;
    for (std::filesystem::directory_iterator it(FolderOf(target), error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with(prefix)) {
            continue;
        }
        const std::string_view rest = std::string_view(name).substr(prefix.size());
        const std::size_t dash = rest.find('-');
        if (dash == std::string_view::npos || dash == 0 || dash + 1 == rest.size() ||
            !std::all_of(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(dash),
                         is_digit) ||
            !std::all_of(rest.begin() + static_cast<std::ptrdiff_t>(dash) + 1, rest.end(),
                         is_digit)) {
            continue;
        }
        ::unlink(it->path().c_str());
    }
}

// Writes the new content over the old in place, from the first byte that changes, as the
// original tool did: for a file in a folder we may not write to, or one with several names.
// A write that cannot grow the file stops before any byte of it is changed.
bool RewriteInPlace(const std::filesystem::path& target, CurrentFile& current,
                    std::string_view bytes) {
    if (!current.exists) {
        current.fd.reset(
            ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (current.fd.get() < 0) {
            return false;
        }
    }
    const int fd = current.fd.get();
    const std::string_view old = current.bytes;
    if (bytes.size() > old.size() &&
        ::posix_fallocate(fd, static_cast<off_t>(old.size()),
                          static_cast<off_t>(bytes.size() - old.size())) != 0) {
        // Give back whatever part of the growth was had; the content is still the old one.
        (void)!::ftruncate(fd, static_cast<off_t>(old.size()));
        return false;
    }
    const std::size_t first = static_cast<std::size_t>(
        std::mismatch(bytes.begin(), bytes.end(), old.begin(), old.end()).first - bytes.begin());
    return WriteAllAt(fd, bytes.substr(first), static_cast<off_t>(first)) &&
           (bytes.size() >= old.size() || ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0) &&
           ::fsync(fd) == 0;
}

enum class Replaced { kDone, kFailed, kNotHere };

// Writes `bytes` to the temporary file beside `target` and renames it over `target`, so a
// crash leaves either the old content or the new one. The old file's mode and owner are kept.
// kNotHere: the replacement cannot be made faithfully here (no temporary file can be created
// in the folder, the owner cannot be kept, or there is no room for a second copy), while a
// rewrite in place may still succeed.
Replaced ReplaceFile(const std::filesystem::path& target, std::string_view bytes,
                     const CurrentFile& current) {
    std::filesystem::path temp = target;
    temp.replace_filename(TempName(target));
    RemoveNumberedTempFiles(target);
    // A leftover of a killed write goes first: the new file is always our own, never a file
    // or link someone else put under that name.
    ::unlink(temp.c_str());
    Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (fd.get() < 0) {
        return Replaced::kNotHere;
    }
    const auto give_up = [&](Replaced outcome) {
        fd.reset(-1);
        ::unlink(temp.c_str());
        return outcome;
    };
    if (current.exists) {
        struct stat made {};
        if (::fstat(fd.get(), &made) != 0) {
            return give_up(Replaced::kFailed);
        }
        // Owner first: a change of owner clears set-id bits that the mode then restores. Only
        // a privileged process may hand a file to another owner; without that, the file is
        // rewritten in place so that it keeps its owner.
        if ((made.st_uid != current.info.st_uid || made.st_gid != current.info.st_gid) &&
            ::fchown(fd.get(), current.info.st_uid, current.info.st_gid) != 0) {
            return give_up(Replaced::kNotHere);
        }
        if (::fchmod(fd.get(), current.info.st_mode & 07777) != 0) {
            return give_up(Replaced::kFailed);
        }
    }
    if (!WriteAll(fd.get(), bytes) || ::fsync(fd.get()) != 0) {
        return give_up(errno == ENOSPC || errno == EDQUOT ? Replaced::kNotHere : Replaced::kFailed);
    }
    if (!fd.Close() || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return Replaced::kFailed;
    }
    // Make the rename itself durable; the content is already in place if this fails.
    Fd dir(::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) {
        ::fsync(dir.get());
    }
    return Replaced::kDone;
}

// `in_place`: the writers' lock is on the settings file itself, which a rename would drop.
int Store(const std::filesystem::path& target, CurrentFile& current, std::string_view bytes,
          bool in_place) {
    if (current.exists && bytes == current.bytes) {
        return 1;
    }
    // A rename would give only this name the new content and leave the other names the old.
    if (in_place || (current.exists && current.info.st_nlink > 1)) {
        return RewriteInPlace(target, current, bytes) ? 1 : 0;
    }
    switch (ReplaceFile(target, bytes, current)) {
        case Replaced::kDone:
            return 1;
        case Replaced::kNotHere:
            return RewriteInPlace(target, current, bytes) ? 1 : 0;
        case Replaced::kFailed:
            break;
    }
    return 0;
}

std::optional<std::string_view> LookUp(std::string_view data, std::string_view section,
                                       std::string_view key) {
    const ScanResult scan = Scan(data, section, key);
    if (!scan.entry_found) {
        return std::nullopt;
    }
    return scan.value;
}

bool IsNumberSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::int32_t ParseNumber(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && IsNumberSpace(text[at])) {
        ++at;
    }
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    const std::int64_t limit = negative ? std::int64_t{1} << 31 : (std::int64_t{1} << 31) - 1;
    std::int64_t magnitude = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        magnitude = std::min(magnitude * 10 + (text[at] - '0'), limit);
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

bool HasLineFeed(std::optional<std::string_view> text) {
    return text && text->find('\n') != std::string_view::npos;
}

}  // namespace

std::size_t ProfileReadString(std::string_view section, std::string_view key,
                              std::string_view default_text, std::string& out, std::size_t capacity,
                              const std::filesystem::path& file) {
    std::string_view value = default_text;
    std::optional<std::string> data;
    try {
        data = ReadForLookup(file);
    } catch (const std::exception&) {
        data.reset();
    }
    if (data) {
        value = LookUp(*data, section, key).value_or(default_text);
    }
    std::size_t chars = 0;
    out.assign(value.substr(0, PrefixBytes(value, capacity, &chars)));
    return chars;
}

std::int32_t ProfileReadInt(std::string_view section, std::string_view key,
                            std::int32_t default_value, const std::filesystem::path& file) {
    try {
        const std::optional<std::string> data = ReadForLookup(file);
        if (!data) {
            return default_value;
        }
        const std::optional<std::string_view> value = LookUp(*data, section, key);
        return value ? ParseNumber(*value) : default_value;
    } catch (const std::exception&) {
        return default_value;
    }
}

int ProfileWriteString(std::optional<std::string_view> section, std::optional<std::string_view> key,
                       std::optional<std::string_view> value, const std::filesystem::path& file) {
    if (!section) {
        return 1;
    }
    // A line feed would split the written line and plant lines of the caller's choosing.
    if (HasLineFeed(section) || HasLineFeed(key) || (key && HasLineFeed(value))) {
        return 0;
    }
    try {
        // The file a write lands in: the target of a link, so the link survives the rename;
        // but only a link that root or the running user placed.
        const std::optional<std::filesystem::path> followed = FollowTrustedLinks(file);
        if (!followed) {
            return 0;
        }
        const std::filesystem::path& target = *followed;
        struct stat info {};
        const bool exists = ::lstat(target.c_str(), &info) == 0;
        if ((exists && !S_ISREG(info.st_mode)) || (!exists && errno != ENOENT)) {
            return 0;
        }
        // Writers take turns from the read to the rename: neither removes the other's
        // temporary file nor loses the other's change.
        const SettingsLock lock(target, exists ? &info : nullptr);
        if (!lock.held()) {
            return 0;
        }
        CurrentFile current;
        if (!ReadForUpdate(target, current)) {
            return 0;
        }
        std::string content = current.bytes;
        const ScanResult scan = Scan(content, *section, key);
        // A scan that ran into the end first closes the file's last line, so whatever is added
        // at the end starts a line of its own. Every mode keeps this, even one that then finds
        // nothing to do.
        if (scan.reached_eof) {
            content += "\r\n";
        }
        const std::size_t next_section = scan.next_section.value_or(content.size());

        std::size_t write_at = 0;
        std::size_t tail_from = 0;
        std::string text;
        if (!key) {
            if (!scan.section_found) {
                return Store(target, current, content, lock.on_settings_file());
            }
            write_at = scan.section_start;
            tail_from = next_section;
        } else if (!value) {
            if (!scan.entry_found) {
                return Store(target, current, content, lock.on_settings_file());
            }
            write_at = scan.entry_start;
            tail_from = scan.entry_end;
        } else if (!scan.section_found) {
            content.append("\r\n[").append(*section).append("]\r\n");
            content.append(*key).append("=").append(*value).append("\r\n");
            return Store(target, current, content, lock.on_settings_file());
        } else {
            text.append(*key).append("=").append(*value).append("\r\n");
            write_at = scan.entry_found ? scan.entry_start : next_section;
            tail_from = scan.entry_found ? scan.entry_end : next_section;
        }
        std::string updated = content.substr(0, write_at);
        updated.append(text).append(std::string_view(content).substr(tail_from));
        return Store(target, current, updated, lock.on_settings_file());
    } catch (const std::exception&) {
        return 0;
    }
}

}  // namespace velkor
