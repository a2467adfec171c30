// Storage coming and going, learnt from the mount table: whenever the kernel reports that the
// table changed, more mounts than before mean an arrival, fewer a removal.
#pragma once

#include <functional>
#include <istream>
#include <string>

#include "picker/mount_table.h"

namespace velkor {

enum class StorageChange { kNone, kArrival, kRemoval };

// The number of mounts in a mount table: one a line.
int CountMountLines(std::istream& table);
// The number of mounts in the table at `path`, or -1 when it cannot be read.
int CountMounts(const std::string& path = kMountTablePath);

// The change from one count to the next; nothing when either count is unknown (negative).
StorageChange CompareMountCounts(int before, int after);

class MountTableWatcher {
  public:
    // Gives the current number of mounts, or -1 when it is unknown.
    using CountSource = std::function<int()>;

    // Takes the first count at once, so that the first change compares against the table as
    // it was when watching began.
    explicit MountTableWatcher(CountSource count_source);

    // To be called whenever the mount table reports a change.
    StorageChange TableChanged();

    int last_count() const { return last_count_; }

  private:
    CountSource count_source_;
    int last_count_;
};

}  // namespace velkor
