#include "picker/mount_watcher.h"

#include <sys/sysmacros.h>

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

TEST(PickerMountTable, ReadsWhereWhatAndFromWhereEachMountIs) {
    const MountTable table = MountTable::Parse(
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "23 22 0:21 / /proc rw shared:2 master:3 - proc proc rw\n"
        "garbage\n"
        "40 22 179:1 / /media/Storage\\040Card rw - vfat /dev/mmcblk0p1 rw\n"
        "41 22 8:1 /srv /data rw - ext4 /dev/sda1 rw\n"
        "42 40 0:30 / /media/Storage\\040Card rw - tmpfs tmpfs rw");
    ASSERT_TRUE(table.known());
    ASSERT_EQ(table.entries().size(), 5u);
    const MountEntry& card = table.entries()[2];
    EXPECT_EQ(card.device, makedev(179, 1));
    EXPECT_EQ(card.device_major, 179u);
    EXPECT_EQ(card.root, "/");
    EXPECT_EQ(card.mount_point, "/media/Storage Card");
    EXPECT_EQ(card.fs_type, "vfat");
    EXPECT_EQ(card.source, "/dev/mmcblk0p1");
    EXPECT_EQ(table.entries()[1].fs_type, "proc");  // after the optional fields

    // The mount seen at a place is the last one there; else the last one of the device.
    EXPECT_EQ(table.Find("/media/Storage Card", makedev(179, 1))->fs_type, "tmpfs");
    EXPECT_EQ(table.Find("/elsewhere", makedev(8, 1))->mount_point, "/data");
    EXPECT_EQ(table.Find("/elsewhere", makedev(9, 9)), nullptr);

    EXPECT_FALSE(MountTable().known());
    const testing::TempDir dir;
    EXPECT_FALSE(MountTable::Read((dir.path() / "missing").string()).known());
    EXPECT_FALSE(MountTable::Read().entries().empty());
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
