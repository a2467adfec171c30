#include "settings/settings_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace velkor {
namespace {

constexpr auto kRetryEvery = std::chrono::milliseconds(10);

// The settings file's group and mode, given to its lock file each time: a lock file made
// before the settings file became group-writable would keep the group's writers out. Only
// the lock file's owner (or root) can; for anyone else this changes nothing.
void MatchSettingsFile(int fd, const struct stat* current) {
    if (current != nullptr) {
        (void)!::fchown(fd, static_cast<uid_t>(-1), current->st_gid);
        ::fchmod(fd, current->st_mode & 0666);
    }
}

// The open lock file, or -1 with errno set. Never a link or anything but a regular file: a
// FIFO planted under the name would block the open, a link would make us create or lock a
// file elsewhere.
int OpenLockFile(const std::filesystem::path& lock_file, const struct stat* current) {
    constexpr int kFlags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    const mode_t mode = current != nullptr ? (current->st_mode & 0666) : 0666;
    int fd = ::open(lock_file.c_str(), kFlags | O_CREAT | O_EXCL, mode);
    if (fd < 0 && errno == EEXIST) {
        fd = ::open(lock_file.c_str(), kFlags);
        struct stat info {};
        if (fd >= 0 && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
            ::close(fd);
            errno = ELOOP;  // no lock file of ours; not a reason to lock elsewhere
            return -1;
        }
    }
    if (fd >= 0) {
        // The umask must not keep the settings file's other writers out of its lock either.
        MatchSettingsFile(fd, current);
    }
    return fd;
}

// Whether the lock file is missing, or is a regular file: one that this user may not open
// (nor make) then sends the writer to the settings file itself. Anything else under the
// name (a planted link, a FIFO) fails the write.
bool LockFileMissingOrPlain(const std::filesystem::path& lock_file) {
    struct stat info {};
    if (::lstat(lock_file.c_str(), &info) != 0) {
        return errno == ENOENT;
    }
    return S_ISREG(info.st_mode);
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
    if (fd_ < 0 && (errno == EACCES || errno == EPERM || errno == EROFS) && current != nullptr &&
        LockFileMissingOrPlain(lock_file)) {
        fd_ = ::open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        on_settings_file_ = fd_ >= 0;
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
