// Which symbolic links the tool follows when a path comes from its settings file. The program
// runs as root as often as not, and the folders beside it may be writable by a group: a link
// that a member of the group placed must not send root's reads or writes elsewhere. A link is
// followed only when it belongs to root or to the user running the tool, the rule the kernel
// applies to links in sticky folders.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string_view>

namespace velkor {

// True for a link owned by root or by the running user.
bool IsTrustedLinkOwner(uid_t owner);

// `file` with the links that form its last component followed, each only when trusted, and
// its folder made canonical; the path itself when it is no link or does not exist. None when
// one of the links is not trusted, or the chain does not end.
std::optional<std::filesystem::path> FollowTrustedLinks(const std::filesystem::path& file);

// Whether a name taken from the settings file, relative to `folder`, may be used for a file
// the tool reads without a technician's touch. The name is joined to the folder as text (a
// leading "/" still names a file below it); a name that does not exist yet is kInside.
enum class BelowFolder {
    kInside,          // every link on the way trusted (or none), no ".." component
    kLeavesFolder,    // a ".." component
    kUntrustedLink,   // a link on the way that neither root nor the running user owns
    kNotRegularFile,  // it exists, and is not a regular file
};
BelowFolder CheckBelowFolder(const std::filesystem::path& folder, std::string_view name);

}  // namespace velkor
