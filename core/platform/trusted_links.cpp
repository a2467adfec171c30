#include "platform/trusted_links.h"

#include <sys/stat.h>
#include <unistd.h>

#include <system_error>

namespace velkor {
namespace {

// As the kernel's limit on links in one lookup.
constexpr int kMaxLinks = 40;

}  // namespace

bool IsTrustedLinkOwner(uid_t owner) {
    return owner == 0 || owner == ::geteuid();
}

std::optional<std::filesystem::path> FollowTrustedLinks(const std::filesystem::path& file) {
    std::filesystem::path path = file;
    for (int links = 0; links <= kMaxLinks; ++links) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            // The folder's own links are the folder's business: whoever could change them
            // could change the file as well.
            std::error_code error;
            const std::filesystem::path folder = std::filesystem::canonical(
                path.has_parent_path() ? path.parent_path() : ".", error);
            return error ? path : folder / path.filename();
        }
        if (!IsTrustedLinkOwner(info.st_uid)) {
            return std::nullopt;
        }
        std::error_code error;
        const std::filesystem::path target = std::filesystem::read_symlink(path, error);
        if (error) {
            return std::nullopt;
        }
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return std::nullopt;
}

BelowFolder CheckBelowFolder(const std::filesystem::path& folder, std::string_view name) {
    std::filesystem::path path = folder;
    std::size_t at = 0;
    while (at <= name.size()) {
        const std::size_t slash = std::min(name.find('/', at), name.size());
        const std::string_view part = name.substr(at, slash - at);
        at = slash + 1;
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            return BelowFolder::kLeavesFolder;
        }
        path /= std::string(part);
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) {
            return BelowFolder::kInside;  // nothing there yet: the load says it cannot open it
        }
        if (S_ISLNK(info.st_mode) && !IsTrustedLinkOwner(info.st_uid)) {
            return BelowFolder::kUntrustedLink;
        }
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        return BelowFolder::kNotRegularFile;
    }
    return BelowFolder::kInside;
}

}  // namespace velkor
