#include "picker/mount_watcher.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/temp_dir.h"

namespace velkor {
namespace {

TEST(PickerMountTable, CountsOneMountALine) {
    std::istringstream table(
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "23 22 0:21 / /proc rw shared:2 - proc proc rw\n"
        "\n"
        "40 22 179:1 / /media/sd rw - vfat /dev/mmcblk0p1 rw");
    EXPECT_EQ(CountMountLines(table), 3);
    std::istringstream empty("");
    EXPECT_EQ(CountMountLines(empty), 0);
}

TEST(PickerMountTable, CountsTheTableOnDisk) {
    const testing::TempDir dir;
    EXPECT_EQ(CountMounts(dir.Write("mountinfo", "a\nb\n")), 2);
    EXPECT_EQ(CountMounts((dir.path() / "missing").string()), -1);
    EXPECT_GT(CountMounts(), 0);
}

TEST(PickerMountTable, MoreIsArrivalFewerIsRemoval) {
    struct Case {
        int before, after;
        StorageChange change;
    };
    const Case cases[] = {
        {10, 11, StorageChange::kArrival}, {10, 13, StorageChange::kArrival},
        {10, 9, StorageChange::kRemoval},  {1, 0, StorageChange::kRemoval},
        {10, 10, StorageChange::kNone},    {-1, 10, StorageChange::kNone},
        {10, -1, StorageChange::kNone},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CompareMountCounts(c.before, c.after), c.change) << c.before << "->" << c.after;
    }
}

TEST(PickerMountTable, WatcherComparesWithTheLastCount) {
    int mounts = 20;
    MountTableWatcher watcher([&] { return mounts; });
    EXPECT_EQ(watcher.last_count(), 20);

    EXPECT_EQ(watcher.TableChanged(), StorageChange::kNone);  // a remount changes no count
    mounts = 21;
    EXPECT_EQ(watcher.TableChanged(), StorageChange::kArrival);
    EXPECT_EQ(watcher.TableChanged(), StorageChange::kNone);
    mounts = 19;
    EXPECT_EQ(watcher.TableChanged(), StorageChange::kRemoval);
    EXPECT_EQ(watcher.last_count(), 19);
}

TEST(PickerMountTable, UnreadableTableKeepsTheLastKnownCount) {
    int mounts = 20;
    MountTableWatcher watcher([&] { return mounts; });
    mounts = -1;
    EXPECT_EQ(watcher.TableChanged(), StorageChange::kNone);
    EXPECT_EQ(watcher.last_count(), 20);
    mounts = 21;
    EXPECT_EQ(watcher.TableChanged(), StorageChange::kArrival);

    // Watching begun without a table learns its first count on the first change.
    mounts = -1;
    MountTableWatcher blind([&] { return mounts; });
    mounts = 5;
    EXPECT_EQ(blind.TableChanged(), StorageChange::kNone);
    mounts = 4;
    EXPECT_EQ(blind.TableChanged(), StorageChange::kRemoval);

    MountTableWatcher without_source(nullptr);
    EXPECT_EQ(without_source.TableChanged(), StorageChange::kNone);
}

}  // namespace
}  // namespace velkor
