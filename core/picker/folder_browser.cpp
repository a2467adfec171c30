#include "picker/folder_browser.h"

#include "picker/browser_paths.h"

namespace velkor {

void FolderBrowser::List(const std::string& path) {
    const std::string folder = BrowserFolder(path);
    current_device_ = FolderDevice(folder);
    current_folder_ = current_device_ ? folder : std::string();
    rows_.Clear();
    path_line_ = PathLineText(folder);
    // The asked path, not the corrected one: a vanished folder shows an empty list rather than
    // the root's rows under a path line that names another folder.
    ReadFolder(folder, mcu_type_, rows_);
}

bool FolderBrowser::Up() {
    if (!HasParentFolder(current_folder_)) {
        return false;
    }
    List(ParentFolder(current_folder_));
    return true;
}

FolderBrowser::OpenResult FolderBrowser::Open(int row) {
    const auto& rows = rows_.rows();
    if (row < 0 || row >= static_cast<int>(rows.size())) {
        return {};
    }
    const ListingRow& chosen = rows[static_cast<std::size_t>(row)];
    std::string path = ChildPath(current_folder_, chosen.name);
    if (chosen.is_folder) {
        List(path);
        return {OpenOutcome::kEnteredFolder, {}};
    }
    return {OpenOutcome::kChoseFile, std::move(path)};
}

bool FolderBrowser::RecheckAfterArrival() {
    if (!current_folder_.empty() && FolderHasEntries(current_folder_)) {
        return false;
    }
    List({});
    return true;
}

bool FolderBrowser::RecheckAfterRemoval() {
    if (!current_folder_.empty() && FolderDevice(current_folder_) == current_device_) {
        return false;
    }
    List({});
    return true;
}

}  // namespace velkor
