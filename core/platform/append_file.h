// Files the tool appends to (a run's log, the record file) in folders that a group, or anyone,
// may share: a link or a FIFO that someone else placed under the name must not send the text
// elsewhere (into another user's shell start-up file, into the record file) or hold the run.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace velkor {

// Opens `name` in the open folder `folder_fd` for appending (and reading, when `read_too` and
// allowed): never through a link, never anything but a regular file, made with `create_mode`
// (less the umask) and O_EXCL when it does not exist. The descriptor, or -1 with `why`, the
// reason to show after the file's name and a colon ("it is a symbolic link", "it is not a
// regular file", or the system's reason), and errno set.
int OpenAppendAt(int folder_fd, const std::string& name, mode_t create_mode, bool read_too,
                 std::string& why);

// As OpenAppendAt, for a path: its folder is reached only through links that root or the
// running user owns, and is refused when anyone may write to it without the sticky bit (anyone
// could then put a link there between two runs).
int OpenAppendFile(const std::filesystem::path& file, mode_t create_mode, bool read_too,
                   std::string& why);

// Why the folder `folder` may not hold such files: a link on the way that neither root nor the
// running user owns, or a folder anyone may write to without the sticky bit. Empty when it may
// (or when it does not exist: opening a file in it then says why).
std::string FolderRefusal(const std::filesystem::path& folder);

}  // namespace velkor
