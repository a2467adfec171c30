// The lock that makes writers of one settings file take turns: a file beside it,
// ".<name>.lock", that only those who may write the settings can open for writing, locked for
// writing. A lock that anyone could take (a flock on the world-readable folder) would let any
// local user freeze the tool's writes.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <filesystem>

namespace velkor {

class SettingsLock {
  public:
    // How long a writer waits for another before its write fails.
    static constexpr std::chrono::milliseconds kMaxWait{2000};

    // Takes the lock for `target`, the settings file after its links (it may not exist yet).
    // The lock file is made with the settings file's mode and group (`current`, or null when
    // the settings file is missing), and given them again on each write its owner makes.
    // Where no lock file can be made (a folder only root may write to), or the one there may
    // not be opened by this user, the settings file itself is locked: it must then be
    // rewritten in place, never replaced, so that its lock holds.
    SettingsLock(const std::filesystem::path& target, const struct stat* current);
    ~SettingsLock();
    SettingsLock(const SettingsLock&) = delete;
    SettingsLock& operator=(const SettingsLock&) = delete;

    // False when the lock could not be had within kMaxWait, or nothing could be locked.
    bool held() const { return held_; }
    // The lock is on the settings file itself, not on its lock file.
    bool on_settings_file() const { return on_settings_file_; }

    // The lock file's name beside a settings file.
    static std::filesystem::path LockFileOf(const std::filesystem::path& target);

  private:
    int fd_ = -1;
    bool held_ = false;
    bool on_settings_file_ = false;
};

}  // namespace velkor
