#include "picker/mount_watcher.h"

#include <fstream>
#include <utility>

namespace velkor {

int CountMountLines(std::istream& table) {
    int count = 0;
    std::string line;
    while (std::getline(table, line)) {
        if (!line.empty()) {
            ++count;
        }
    }
    return count;
}

int CountMounts(const std::string& path) {
    std::ifstream table(path);
    if (!table) {
        return -1;
    }
    return CountMountLines(table);
}

StorageChange CompareMountCounts(int before, int after) {
    if (before < 0 || after < 0 || before == after) {
        return StorageChange::kNone;
    }
    return after > before ? StorageChange::kArrival : StorageChange::kRemoval;
}

MountTableWatcher::MountTableWatcher(CountSource count_source)
    : count_source_(std::move(count_source)), last_count_(count_source_ ? count_source_() : -1) {}

StorageChange MountTableWatcher::TableChanged() {
    const int count = count_source_ ? count_source_() : -1;
    const StorageChange change = CompareMountCounts(last_count_, count);
    // An unreadable table keeps the last known count to compare the next one against.
    if (count >= 0) {
        last_count_ = count;
    }
    return change;
}

}  // namespace velkor
