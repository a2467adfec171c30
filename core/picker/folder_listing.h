// The rows of one folder as the file browser shows them: folders first, then the files that
// suit the MCU family, each group in case-sensitive name order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "picker/listing_rules.h"
#include "picker/mount_table.h"

namespace velkor {

struct ListingRow {
    std::string name;  // the bare name, bytes as the file system holds them
    bool is_folder = false;
    RowIcon icon = RowIcon::kFolder;
    std::string date_text;
};

class FolderRows {
  public:
    void Clear();
    // Puts a folder among the folders, a file among the files, before the first row of its
    // group whose name is greater in UTF-16 code units (so "Zeta" comes before "alpha").
    void Add(ListingRow row);

    const std::vector<ListingRow>& rows() const { return rows_; }
    int folder_count() const { return folder_count_; }
    int file_count() const { return file_count_; }

  private:
    std::vector<ListingRow> rows_;
    int folder_count_ = 0;
    int file_count_ = 0;
};

// Whether `folder` (browser form, empty for the root) is an existing folder.
bool NamesExistingFolder(const std::string& folder);

// The device `folder` lies on; nothing when it is no existing folder.
std::optional<std::uint64_t> FolderDevice(const std::string& folder);

// Adds the entries of `folder` the browser shows: folders whose names do not begin with "."
// (hidden ones) and are no system folders, and regular files that suit the MCU type. A mount
// point is classified by the file system `mounts` has there; with an unknown table every
// mount point is a mounted volume. False, adding nothing, when the folder cannot be read.
bool ReadFolder(const std::string& folder, int mcu_type, const MountTable& mounts,
                FolderRows& rows);
// The same with the system's mount table.
bool ReadFolder(const std::string& folder, int mcu_type, FolderRows& rows);

// Whether `folder` can be read and holds any entry at all, hidden ones included.
bool FolderHasEntries(const std::string& folder);

}  // namespace velkor
