#include "picker/browser_paths.h"

namespace velkor {

std::string BrowserFolder(std::string path) {
    while (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string DiskPath(const std::string& folder) {
    return folder.empty() ? "/" : folder;
}

std::string ChildPath(const std::string& folder, const std::string& name) {
    return folder + "/" + name;
}

std::string PathLineText(const std::string& folder) {
    return folder + "/";
}

bool HasParentFolder(const std::string& folder) {
    return folder.find('/') != std::string::npos;
}

std::string ParentFolder(const std::string& folder) {
    const std::size_t slash = folder.rfind('/');
    return slash == std::string::npos ? folder : folder.substr(0, slash);
}

}  // namespace velkor
