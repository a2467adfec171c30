#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "picker/folder_browser.h"
#include "picker/folder_listing.h"
#include "picker/listing_rules.h"
#include "settings/unit_types.h"
#include "support/temp_dir.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Names(const FolderRows& rows) {
    std::vector<std::string> names;
    for (const ListingRow& row : rows.rows()) {
        names.push_back(row.name);
    }
    return names;
}

std::vector<std::string> Listed(const std::string& folder, int mcu_type) {
    FolderRows rows;
    EXPECT_TRUE(ReadFolder(folder, mcu_type, rows));
    return Names(rows);
}

// Local time for the date column, fixed for the test and restored after it.
class FixedTimeZone {
  public:
    explicit FixedTimeZone(const char* zone) {
        if (const char* previous = ::getenv("TZ")) {
            previous_ = previous;
        }
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~FixedTimeZone() {
        if (previous_) {
            ::setenv("TZ", previous_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }

  private:
    std::optional<std::string> previous_;
};

TEST(ListingRules, ExtensionFitsTheMcuType) {
    struct Case {
        const char* name;
        bool stm8, nec, m3, undetermined;
    };
    const Case cases[] = {
        {"A.HEX", false, true, true, true},          {"b.s19", true, false, false, true},
        {"c.S19", true, false, false, true},         {"d.Hex", false, true, true, true},
        {"noextension", false, false, false, false}, {"hex", false, false, false, false},
        {"s19", false, false, false, false},         {"x.s19.bak", false, false, false, false},
        {"x.hex.s19", true, false, false, true},     {"y.hex.", false, false, false, false},
        {"z.s1", false, false, false, false},        {"z.s190", false, false, false, false},
        {".s19", true, false, false, true},          {".hidden.hex", false, true, true, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FileFitsMcuType(c.name, kMcuTypeStm8), c.stm8) << c.name;
        EXPECT_EQ(FileFitsMcuType(c.name, kMcuTypeNec), c.nec) << c.name;
        EXPECT_EQ(FileFitsMcuType(c.name, kMcuTypeM3), c.m3) << c.name;
        EXPECT_EQ(FileFitsMcuType(c.name, kMcuTypeUndetermined), c.undetermined) << c.name;
        // Values outside the families show either file type, as an undetermined type does.
        EXPECT_EQ(FileFitsMcuType(c.name, 4), c.undetermined) << c.name;
        EXPECT_EQ(FileFitsMcuType(c.name, -1), c.undetermined) << c.name;
    }
}

TEST(ListingRules, IconOfAFolderDependsOnMountAndName) {
    struct Case {
        bool is_folder;
        bool mounted;
        const char* name;
        RowIcon icon;
    };
    const Case cases[] = {
        {false, false, "fw.hex", RowIcon::kFirmwareFile},
        {false, true, "Recycle.hex", RowIcon::kFirmwareFile},
        {true, false, "Recycled", RowIcon::kFolder},
        {true, false, "Network", RowIcon::kFolder},
        {true, true, "Storage Card", RowIcon::kStorageVolume},
        {true, true, "Network", RowIcon::kNetworkVolume},
        {true, true, "MyNet", RowIcon::kNetworkVolume},
        {true, true, "network", RowIcon::kStorageVolume},
        {true, true, "Recycle Bin", RowIcon::kRecycleBin},
        {true, true, "NetRecycle", RowIcon::kRecycleBin},
        {true, true, "recycle", RowIcon::kStorageVolume},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChooseRowIcon(c.is_folder, c.mounted, c.name), c.icon) << c.name;
    }
}

TEST(ListingRules, MountPointsAreSystemFoldersVolumesOrPlainFolders) {
    struct Case {
        const char* fs_type;
        const char* source;
        const char* root;
        const char* mount_point;
        unsigned major;
        MountKind kind;
    };
    using K = MountKind;
    const Case cases[] = {
        {"proc", "proc", "/", "/proc", 0, K::kSystemFolder},
        {"sysfs", "sysfs", "/", "/sys", 0, K::kSystemFolder},
        {"devtmpfs", "udev", "/", "/dev", 0, K::kSystemFolder},
        {"cgroup2", "cgroup2", "/", "/sys/fs/cgroup", 0, K::kSystemFolder},
        {"autofs", "systemd-1", "/", "/media/auto", 0, K::kSystemFolder},
        {"tmpfs", "tmpfs", "/", "/run", 0, K::kSystemFolder},
        {"tmpfs", "tmpfs", "/", "/run/user/1000", 0, K::kSystemFolder},
        {"tmpfs", "tmpfs", "/", "/dev/shm", 0, K::kSystemFolder},
        {"tmpfs", "tmpfs", "/", "/tmp", 0, K::kPlainFolder},
        {"tmpfs", "tmpfs", "/", "/runway", 0, K::kPlainFolder},
        {"vfat", "/dev/mmcblk0p1", "/", "/media/Storage Card", 179, K::kMountedVolume},
        {"btrfs", "/dev/sdb1", "/", "/media/usb", 0, K::kMountedVolume},
        {"nfs4", "server:/export", "/", "/mnt/Net", 0, K::kMountedVolume},
        {"ext4", "/dev/sda1", "/srv/data", "/data", 8, K::kPlainFolder},
        {"overlay", "overlay", "/", "/var/lib/overlay", 0, K::kPlainFolder},
        {"fuse.sshfs", "user@host:", "/", "/mnt/remote", 0, K::kPlainFolder},
    };
    for (const Case& c : cases) {
        MountEntry mount;
        mount.fs_type = c.fs_type;
        mount.source = c.source;
        mount.root = c.root;
        mount.mount_point = c.mount_point;
        mount.device_major = c.major;
        EXPECT_EQ(ClassifyMount(mount), c.kind) << c.fs_type << " at " << c.mount_point;
    }
}

TEST(ListingRules, NamesCompareByUtf16CodeUnits) {
    struct Case {
        const char* a;
        const char* b;
        int sign;
    };
    const Case cases[] = {
        {"Zeta", "alpha", -1},
        {"fw", "fw", 0},
        {"fw", "fw2", -1},
        {"\u00E9", "f", 1},
        // Above U+FFFF a name begins with a surrogate, below U+E000: UTF-8 bytes say otherwise.
        {"\U0001F600", "\uFF21", -1},
        {"\U00010000", "\uE000", -1},
        {"\U0001F600", "\uD7FF", 1},
        // A byte outside UTF-8 counts as 0xDC00 plus its value.
        {"\xFF", "\uE000", -1},
        {"\xFF", "\U0001F600", 1},
        {"\xC0\x80", "\xC0", 1},
    };
    for (const Case& c : cases) {
        const int result = CompareAsUtf16(c.a, c.b);
        EXPECT_EQ((result > 0) - (result < 0), c.sign) << c.a << " vs " << c.b;
        EXPECT_EQ((CompareAsUtf16(c.b, c.a) > 0) - (CompareAsUtf16(c.b, c.a) < 0), -c.sign);
    }
}

TEST(ListingRules, DateTextIsLocalTime) {
    const FixedTimeZone utc("UTC0");
    EXPECT_EQ(DateText(0), "1970-01-01 00:00:00");
    EXPECT_EQ(DateText(1304431629), "2011-05-03 14:07:09");
    EXPECT_EQ(DateText(-1), "1969-12-31 23:59:59");
    {
        const FixedTimeZone east("XYZ-2");  // two hours ahead of UTC
        EXPECT_EQ(DateText(1304431629), "2011-05-03 16:07:09");
    }
    EXPECT_EQ(DateText(INT64_MAX), "Invalid DateTime");
    EXPECT_EQ(DateText(INT64_MIN), "Invalid DateTime");
}

class ListingFolder : public ::testing::Test {
  protected:
    std::string Folder() const { return dir_.path().string(); }
    void MakeFolder(const std::string& name) const { fs::create_directories(dir_.path() / name); }
    void MakeFile(const std::string& name) const { dir_.Write(name, "S00600004844521B\n"); }

    testing::TempDir dir_;
};

TEST_F(ListingFolder, ShowsOnlyTheFilesOfTheFamily) {
    // Names without a dot or with a second extension are never listed.
    for (const char* name : {"A.HEX", "b.s19", "c.S19", "firmware", "x.s19.bak", "y.hex.old"}) {
        MakeFile(name);
    }
    const std::pair<int, std::vector<std::string>> cases[] = {
        {kMcuTypeStm8, {"b.s19", "c.S19"}},
        {kMcuTypeNec, {"A.HEX"}},
        {kMcuTypeM3, {"A.HEX"}},
        {kMcuTypeUndetermined, {"A.HEX", "b.s19", "c.S19"}},
    };
    for (const auto& [mcu_type, names] : cases) {
        EXPECT_EQ(Listed(Folder(), mcu_type), names) << "MCU type " << mcu_type;
    }
}

TEST_F(ListingFolder, FoldersComeFirstAndCaseDecidesTheOrder) {
    MakeFile("Zeta.hex");
    MakeFile("alpha.hex");
    MakeFile("\uFF21.hex");      // U+FF21, after the surrogates of
    MakeFile("\U0001F600.hex");  // U+1F600 in UTF-16, before them in UTF-8
    MakeFolder("alpha");
    MakeFolder("Zeta");
    MakeFolder("zz.hex");  // a folder is a folder whatever its name
    FolderRows rows;
    ASSERT_TRUE(ReadFolder(Folder(), kMcuTypeNec, rows));
    ASSERT_EQ(Names(rows), (std::vector<std::string>{"Zeta", "alpha", "zz.hex", "Zeta.hex",
                                                     "alpha.hex", "\U0001F600.hex", "\uFF21.hex"}));
    EXPECT_EQ(rows.folder_count(), 3);
    EXPECT_EQ(rows.file_count(), 4);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(rows.rows()[i].is_folder);
        EXPECT_EQ(rows.rows()[i].icon, RowIcon::kFolder);
    }
    for (int i = 3; i < 7; ++i) {
        EXPECT_FALSE(rows.rows()[i].is_folder);
        EXPECT_EQ(rows.rows()[i].icon, RowIcon::kFirmwareFile);
    }
}

TEST_F(ListingFolder, HiddenFoldersAreNotShownButHiddenFilesAre) {
    MakeFolder(".git");
    MakeFolder(".hidden.hex");
    MakeFolder("shown");
    MakeFile(".fw.hex");
    MakeFile(".s19");
    EXPECT_EQ(Listed(Folder(), kMcuTypeNec), (std::vector<std::string>{"shown", ".fw.hex"}));
    EXPECT_EQ(Listed(Folder(), kMcuTypeStm8), (std::vector<std::string>{"shown", ".s19"}));
}

TEST_F(ListingFolder, LinksCountAsWhatTheyLeadTo) {
    MakeFolder("real");
    MakeFile("real.hex");
    fs::create_directory_symlink(dir_.path() / "real", dir_.path() / "linked");
    fs::create_symlink(dir_.path() / "real.hex", dir_.path() / "linked.hex");
    fs::create_symlink(dir_.path() / "missing.hex", dir_.path() / "dangling.hex");
    ASSERT_EQ(::mkfifo((dir_.path() / "pipe.hex").c_str(), 0600), 0);
    EXPECT_EQ(Listed(Folder(), kMcuTypeNec),
              (std::vector<std::string>{"linked", "real", "linked.hex", "real.hex"}));
}

TEST_F(ListingFolder, DateColumnIsTheLastWriteTime) {
    const FixedTimeZone utc("UTC0");
    MakeFile("fw.hex");
    const timespec times[2] = {{1304431629, 0}, {1304431629, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir_.path() / "fw.hex").c_str(), times, 0), 0);
    FolderRows rows;
    ASSERT_TRUE(ReadFolder(Folder(), kMcuTypeNec, rows));
    ASSERT_EQ(rows.rows().size(), 1u);
    EXPECT_EQ(rows.rows()[0].date_text, "2011-05-03 14:07:09");
}

TEST_F(ListingFolder, FolderThatCannotBeReadAddsNothing) {
    FolderRows rows;
    EXPECT_FALSE(ReadFolder(Folder() + "/missing", kMcuTypeNec, rows));
    MakeFile("file.hex");
    EXPECT_FALSE(ReadFolder(Folder() + "/file.hex", kMcuTypeNec, rows));
    EXPECT_TRUE(rows.rows().empty());
    EXPECT_FALSE(NamesExistingFolder(Folder() + "/missing"));
    EXPECT_FALSE(NamesExistingFolder(Folder() + "/file.hex"));
    EXPECT_TRUE(NamesExistingFolder(Folder()));
    EXPECT_TRUE(NamesExistingFolder(""));
}

TEST(ListingRoot, MountPointsAreMountedVolumes) {
    // /proc is a mount of its own wherever the tool runs; skip where it is not.
    struct stat root {};
    struct stat proc {};
    if (::stat("/", &root) != 0 || ::stat("/proc", &proc) != 0 || root.st_dev == proc.st_dev) {
        GTEST_SKIP() << "/proc is not a separate mount here";
    }
    const auto proc_row = [](const MountTable& mounts) -> std::optional<ListingRow> {
        FolderRows rows;
        EXPECT_TRUE(ReadFolder("", kMcuTypeUndetermined, mounts, rows));
        for (const ListingRow& row : rows.rows()) {
            if (row.name == "proc") {
                return row;
            }
        }
        return std::nullopt;
    };
    const std::string device =
        std::to_string(major(proc.st_dev)) + ":" + std::to_string(minor(proc.st_dev));
    // Taken for a card on a block device, it is a storage volume.
    const auto card = proc_row(
        MountTable::Parse("40 1 " + device + " / /proc rw shared:9 - vfat /dev/mmcblk0p1 rw\n"));
    ASSERT_TRUE(card.has_value());
    EXPECT_TRUE(card->is_folder);
    EXPECT_EQ(card->icon, RowIcon::kStorageVolume);
    // Without a table every mount point is a mounted volume.
    EXPECT_EQ(proc_row(MountTable())->icon, RowIcon::kStorageVolume);
    // As what it is, a pseudo file system, it is a system folder and not shown.
    EXPECT_FALSE(proc_row(MountTable::Parse("40 1 " + device + " / /proc rw - proc proc rw\n")));
    EXPECT_FALSE(proc_row(MountTable::Read()));
}

class BrowserMoves : public ListingFolder {
  protected:
    // A folder holding the tree Storage Card/fw with files in both.
    void SetUp() override {
        MakeFolder("Storage Card/fw");
        MakeFolder("Storage Card/Old");
        MakeFile("Storage Card/top.hex");
        MakeFile("Storage Card/fw/new.hex");
        MakeFile("Storage Card/fw/new.s19");
    }
    std::string Card() const { return Folder() + "/Storage Card"; }
};

TEST_F(BrowserMoves, ListingShowsThePathLineWithASlash) {
    FolderBrowser browser(kMcuTypeNec);
    browser.List(Card());
    EXPECT_EQ(browser.current_folder(), Card());
    EXPECT_EQ(browser.path_line(), Card() + "/");
    EXPECT_EQ(Names(browser.rows()), (std::vector<std::string>{"Old", "fw", "top.hex"}));
    // A trailing slash names the same folder.
    browser.List(Card() + "/");
    EXPECT_EQ(browser.current_folder(), Card());
    EXPECT_EQ(browser.path_line(), Card() + "/");
}

TEST_F(BrowserMoves, MissingFolderLeavesTheRootAndAnEmptyList) {
    FolderBrowser browser(kMcuTypeNec);
    browser.List(Card());
    browser.List(Card() + "/gone");
    EXPECT_EQ(browser.current_folder(), "");
    EXPECT_EQ(browser.path_line(), Card() + "/gone/");
    EXPECT_TRUE(browser.rows().rows().empty());
    // UP from there starts at the root, which has no parent.
    EXPECT_FALSE(browser.Up());
}

TEST_F(BrowserMoves, UpGoesToTheParentAndStopsAtTheRoot) {
    FolderBrowser browser(kMcuTypeNec);
    browser.List(Card() + "/fw");
    ASSERT_TRUE(browser.Up());
    EXPECT_EQ(browser.current_folder(), Card());
    EXPECT_EQ(browser.path_line(), Card() + "/");
    EXPECT_EQ(Names(browser.rows()), (std::vector<std::string>{"Old", "fw", "top.hex"}));

    // Walk up to the root, one folder per UP.
    const std::string card = Card();
    const auto depth = std::count(card.begin(), card.end(), '/');
    for (int i = 0; i < depth; ++i) {
        ASSERT_TRUE(browser.Up()) << i;
    }
    EXPECT_EQ(browser.current_folder(), "");
    EXPECT_EQ(browser.path_line(), "/");
    const auto root_rows = Names(browser.rows());
    EXPECT_FALSE(browser.Up());
    EXPECT_EQ(browser.current_folder(), "");
    EXPECT_EQ(Names(browser.rows()), root_rows);
}

TEST_F(BrowserMoves, OpenEntersAFolderOrChoosesAFile) {
    FolderBrowser browser(kMcuTypeUndetermined);
    browser.List(Card());
    ASSERT_EQ(Names(browser.rows()), (std::vector<std::string>{"Old", "fw", "top.hex"}));

    for (int row : {-1, 3, INT_MAX}) {
        EXPECT_EQ(browser.Open(row).outcome, FolderBrowser::OpenOutcome::kNothing) << row;
        EXPECT_EQ(browser.current_folder(), Card());
    }

    const auto chosen = browser.Open(2);
    EXPECT_EQ(chosen.outcome, FolderBrowser::OpenOutcome::kChoseFile);
    EXPECT_EQ(chosen.path, Card() + "/top.hex");
    EXPECT_EQ(browser.current_folder(), Card());

    const auto entered = browser.Open(1);
    EXPECT_EQ(entered.outcome, FolderBrowser::OpenOutcome::kEnteredFolder);
    EXPECT_TRUE(entered.path.empty());
    EXPECT_EQ(browser.current_folder(), Card() + "/fw");
    EXPECT_EQ(Names(browser.rows()), (std::vector<std::string>{"new.hex", "new.s19"}));
}

TEST_F(BrowserMoves, ArrivalRecheckKeepsAFolderThatHoldsAnything) {
    FolderBrowser browser(kMcuTypeNec);
    browser.List(Card() + "/Old");
    EXPECT_TRUE(browser.RecheckAfterArrival());  // empty: back to the root
    EXPECT_EQ(browser.current_folder(), "");

    MakeFile("Storage Card/Old/.keep");
    browser.List(Card() + "/Old");
    EXPECT_FALSE(browser.RecheckAfterArrival());
    EXPECT_EQ(browser.current_folder(), Card() + "/Old");

    browser.List("");
    EXPECT_TRUE(browser.RecheckAfterArrival());  // the root is always listed again
    EXPECT_EQ(browser.current_folder(), "");
}

TEST_F(BrowserMoves, RemovalRecheckLeavesOnlyAVanishedFolder) {
    FolderBrowser browser(kMcuTypeNec);
    browser.List(Card() + "/Old");
    EXPECT_FALSE(browser.RecheckAfterRemoval());  // empty but present: kept
    EXPECT_EQ(browser.current_folder(), Card() + "/Old");

    browser.List(Card() + "/fw");
    fs::remove_all(Card());
    EXPECT_TRUE(browser.RecheckAfterRemoval());
    EXPECT_EQ(browser.current_folder(), "");
    EXPECT_EQ(browser.path_line(), "/");

    EXPECT_TRUE(browser.RecheckAfterRemoval());  // at the root: listed again
    EXPECT_EQ(browser.current_folder(), "");

    // A card's mount point outlives the card, on the device of the folder it is in.
    MakeFolder("Storage Card/fw");
    browser.List(Card() + "/fw");
    fs::remove_all(Card() + "/fw");
    fs::create_directory_symlink("/proc/self", Card() + "/fw");
    EXPECT_TRUE(browser.RecheckAfterRemoval());
    EXPECT_EQ(browser.current_folder(), "");
}

}  // namespace
}  // namespace velkor
