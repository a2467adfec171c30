// Paths as the file browser keeps them: a folder is written without a trailing "/", and the
// empty path stands for the file-system root "/".
#pragma once

#include <string>

namespace velkor {

// `path` without trailing slashes; "/" becomes the empty path, the root.
std::string BrowserFolder(std::string path);

// The path to hand to the file system: "/" for the root, else the folder itself.
std::string DiskPath(const std::string& folder);

// The entry `name` inside `folder`: "/name" at the root.
std::string ChildPath(const std::string& folder, const std::string& name);

// The text of the path line: the folder followed by "/".
std::string PathLineText(const std::string& folder);

// Whether the folder has a parent to go UP to, and that parent: the text before its last "/"
// (the root for a folder directly under it). ParentFolder is meaningful only when
// HasParentFolder holds.
bool HasParentFolder(const std::string& folder);
std::string ParentFolder(const std::string& folder);

}  // namespace velkor
