#include "settings/settings_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace velkor {
namespace {

constexpr auto kRetryEvery = std::chrono::milliseconds(10);

// The open lock file, or -1. Never a link or anything but a regular file: a FIFO planted under
// the name would block the open, a link would make us create or lock a file elsewhere.
int OpenLockFile(const std::filesystem::path& lock_file, const struct stat* current) {
    constexpr int kFlags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    const mode_t mode = current != nullptr ? (current->st_mode & 0666) : 0666;
    int fd = ::open(lock_file.c_str(), kFlags | O_CREAT | O_EXCL, mode);
    if (fd >= 0) {
        // The umask must not keep the settings file's other writers out of its lock.
        if (current != nullptr) {
            (void)!::fchown(fd, static_cast<uid_t>(-1), current->st_gid);
            ::fchmod(fd, mode);
        }
        return fd;
    }
    if (errno != EEXIST) {
        return -1;
    }
    fd = ::open(lock_file.c_str(), kFlags);
    struct stat info {};
    if (fd >= 0 && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// An open-file-description lock: writers on threads of one process exclude each other too,
// and it needs a descriptor open for writing.
bool TryLock(int fd) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

}  // namespace

std::filesystem::path SettingsLock::LockFileOf(const std::filesystem::path& target) {
    std::filesystem::path lock_file = target;
    lock_file.replace_filename("." + target.filename().string() + ".lock");
    return lock_file;
}

SettingsLock::SettingsLock(const std::filesystem::path& target, const struct stat* current) {
    const std::filesystem::path lock_file = LockFileOf(target);
    fd_ = OpenLockFile(lock_file, current);
    struct stat info {};
    if (fd_ < 0 && (errno == EACCES || errno == EPERM || errno == EROFS) && current != nullptr &&
        ::lstat(lock_file.c_str(), &info) != 0 && errno == ENOENT) {
        fd_ = ::open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    }
    if (fd_ < 0) {
        return;
    }
    const auto give_up = std::chrono::steady_clock::now() + kMaxWait;
    while (!(held_ = TryLock(fd_))) {
        if ((errno != EAGAIN && errno != EACCES && errno != EINTR) ||
            std::chrono::steady_clock::now() >= give_up) {
            return;
        }
        std::this_thread::sleep_for(kRetryEvery);
    }
}

SettingsLock::~SettingsLock() {
    if (fd_ >= 0) {
        ::close(fd_);  // releases the lock
    }
}

}  // namespace velkor
