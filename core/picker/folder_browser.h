// What the file browser shows and where it stands: the listed folder, its rows and the path
// line, and how OPEN, UP and the storage re-checks move it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "picker/folder_listing.h"

namespace velkor {

class FolderBrowser {
  public:
    enum class OpenOutcome { kNothing, kEnteredFolder, kChoseFile };
    struct OpenResult {
        OpenOutcome outcome = OpenOutcome::kNothing;
        std::string path;  // the chosen file, for kChoseFile
    };

    explicit FolderBrowser(int mcu_type) : mcu_type_(mcu_type) {}

    // Lists `path` (empty or "/" for the root). A path that names no folder leaves the root
    // as the current folder and the list empty; the path line still shows what was asked.
    void List(const std::string& path);

    // Lists the parent of the current folder; false, changing nothing, at the root.
    bool Up();

    // Enters the folder of `row`, or chooses its file; nothing for a row that does not exist.
    OpenResult Open(int row);

    // After a storage arrival: the root is listed again, and so is it in place of a folder
    // that no longer holds anything. True when the rows were listed anew.
    bool RecheckAfterArrival();
    // After a storage removal: the root is listed again, and so is it in place of a folder
    // that no longer exists or no longer lies on the device it lay on when it was listed (the
    // mount point of a card that went, left behind empty). True when the rows were listed
    // anew.
    bool RecheckAfterRemoval();

    // The folder being listed, without a trailing "/"; empty for the root.
    const std::string& current_folder() const { return current_folder_; }
    const std::string& path_line() const { return path_line_; }
    const FolderRows& rows() const { return rows_; }
    int mcu_type() const { return mcu_type_; }

  private:
    int mcu_type_;
    std::string current_folder_;
    std::optional<std::uint64_t> current_device_;  // the device the current folder lay on
    std::string path_line_ = "/";
    FolderRows rows_;
};

}  // namespace velkor
