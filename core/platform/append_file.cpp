#include "platform/append_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/trusted_links.h"

namespace velkor {
namespace {

// A folder anyone may write to, where anyone could also remove or replace what is in it.
bool OpenToAnyone(const struct stat& folder) {
    return (folder.st_mode & S_IWOTH) != 0 && (folder.st_mode & S_ISVTX) == 0;
}

constexpr const char* kOpenToAnyone =
    "its folder may be written by anyone; give the folder the sticky bit (chmod +t) or take "
    "that right away";

}  // namespace

int OpenAppendAt(int folder_fd, const std::string& name, mode_t create_mode, bool read_too,
                 std::string& why) {
    // O_NONBLOCK: a FIFO without a reader fails (ENXIO) instead of holding the open.
    constexpr int kFlags = O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int access = read_too ? O_RDWR : O_WRONLY;
    int fd = -1;
    for (int attempt = 0; attempt < 2 && fd < 0; ++attempt) {
        fd = ::openat(folder_fd, name.c_str(), access | kFlags);
        if (fd < 0 && errno == EACCES && access == O_RDWR) {
            access = O_WRONLY;  // a file that may only be written still takes the text
            fd = ::openat(folder_fd, name.c_str(), access | kFlags);
        }
        if (fd < 0 && errno == ENOENT) {
            fd = ::openat(folder_fd, name.c_str(), access | kFlags | O_CREAT | O_EXCL, create_mode);
            if (fd < 0 && errno == EEXIST) {
                continue;  // made by another run meanwhile: open that one
            }
        }
        break;
    }
    if (fd < 0) {
        why = errno == ELOOP   ? "it is a symbolic link"
              : errno == ENXIO ? "it is not a regular file"
                               : std::strerror(errno);
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        why = "it is not a regular file";
        errno = EINVAL;
        return -1;
    }
    // A regular file's writes never block; the flag only guarded the open.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

std::string FolderRefusal(const std::filesystem::path& folder) {
    std::error_code error;
    const std::filesystem::path whole = std::filesystem::absolute(folder, error);
    if (error) {
        return {};
    }
    std::filesystem::path path;
    for (const auto& part : whole) {
        path /= part;
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) {
            return {};
        }
        if (S_ISLNK(info.st_mode) && !IsTrustedLinkOwner(info.st_uid)) {
            return "its folder passes through a link that neither root nor this user owns (" +
                   path.string() + ")";
        }
    }
    struct stat info {};
    if (::stat(whole.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && OpenToAnyone(info)) {
        return kOpenToAnyone;
    }
    return {};
}

int OpenAppendFile(const std::filesystem::path& file, mode_t create_mode, bool read_too,
                   std::string& why) {
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
    if (const std::string refusal = FolderRefusal(folder); !refusal.empty()) {
        why = refusal;
        errno = EPERM;
        return -1;
    }
    const int folder_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder_fd < 0) {
        why = std::strerror(errno);
        return -1;
    }
    // Judged again on what was opened, in case the path changed in between.
    struct stat info {};
    int fd = -1;
    int error = EPERM;
    if (::fstat(folder_fd, &info) == 0 && OpenToAnyone(info)) {
        why = kOpenToAnyone;
    } else {
        fd = OpenAppendAt(folder_fd, file.filename().string(), create_mode, read_too, why);
        error = errno;
    }
    ::close(folder_fd);
    errno = error;  // as the open left it, for a caller that tells a shortage from a refusal
    return fd;
}

}  // namespace velkor
