#include "settings/profile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <tuple>
#include <utility>

#include "settings/settings_keys.h"
#include "support/temp_dir.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using std::nullopt;

class Profile : public ::testing::Test {
  protected:
    std::string Write(std::string_view content) { return dir_.Write("tool.ini", content); }
    std::string Content() const { return testing::TempDir::Read(file_); }
    int Set(std::string_view key, std::string_view value) {
        return ProfileWriteString(kUpdateConfigSection, key, value, file_);
    }
    int Int(std::string_view key) { return ProfileReadInt(kUpdateConfigSection, key, -7, file_); }
    std::string Text(std::string_view key, std::size_t capacity = kFireFileCapacity) {
        std::string out;
        ProfileReadString(kUpdateConfigSection, key, "<default>", out, capacity, file_);
        return out;
    }

    testing::TempDir dir_;
    fs::path file_ = dir_.path() / "tool.ini";
};

TEST_F(Profile, MissingFileGetsSixLinesThenOnlyDigitsChange) {
    EXPECT_EQ(Int(kMcuTypeKey), -7);
    EXPECT_EQ(Set(kMcuTypeKey, "1"), 1);
    EXPECT_EQ(Set(kMcuSlaveKey, "0"), 1);
    const std::string six = "\r\n\r\n[UpdateConfig]\r\nMcuType=1\r\n\r\nMcuSlave=0\r\n";
    EXPECT_EQ(Content(), six);
    EXPECT_EQ(Set(kMcuTypeKey, "3"), 1);
    EXPECT_EQ(Set(kMcuSlaveKey, "1"), 1);
    EXPECT_EQ(Content(), "\r\n\r\n[UpdateConfig]\r\nMcuType=3\r\n\r\nMcuSlave=1\r\n");
    EXPECT_EQ(Int(kMcuTypeKey), 3);
    EXPECT_EQ(Int(kMcuSlaveKey), 1);
}

struct WriteCase {
    const char* name;
    const char* before;
    std::optional<std::string_view> section, key, value;
    const char* after;
};

void PrintTo(const WriteCase& c, std::ostream* os) {
    *os << c.name;
}

class ProfileWrite : public Profile, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(ProfileWrite, RewritesOnlyItsRange) {
    const WriteCase& c = GetParam();
    Write(c.before);
    EXPECT_EQ(ProfileWriteString(c.section, c.key, c.value, file_), 1);
    EXPECT_EQ(Content(), c.after);
}

constexpr const char* kThree =
    "[A]\r\nx=1\r\n[UpdateConfig]\r\nMcuType=1\r\n; c\r\nMcuSlave=0\r\n[B]\r\n";

INSTANTIATE_TEST_SUITE_P(
    Modes, ProfileWrite,
    ::testing::Values(
        WriteCase{"InsertBeforeNextHeader", "[UpdateConfig]\r\nAppType=2\r\n\r\n; note\r\n[B]\r\n",
                  "UpdateConfig", "McuType", "1",
                  "[UpdateConfig]\r\nAppType=2\r\n\r\n; note\r\nMcuType=1\r\n[B]\r\n"},
        WriteCase{"ShorterValue", "[UpdateConfig]\r\nMcuType=123\r\nx\r\n", "UpdateConfig",
                  "McuType", "4", "[UpdateConfig]\r\nMcuType=4\r\nx\r\n"},
        WriteCase{"LongerValueWithEquals", "[UpdateConfig]\nMcuType=1\nx", "UpdateConfig",
                  "McuType", "a=bc", "[UpdateConfig]\nMcuType=a=bc\r\nx"},
        WriteCase{"LastLineWithoutLineEnd", "[UpdateConfig]\r\nMcuType=1", "UpdateConfig",
                  "McuType", "2", "[UpdateConfig]\r\nMcuType=2\r\n\r\n"},
        WriteCase{"DeleteEntry", kThree, "UpdateConfig", "McuType", nullopt,
                  "[A]\r\nx=1\r\n[UpdateConfig]\r\n; c\r\nMcuSlave=0\r\n[B]\r\n"},
        WriteCase{"DeleteLastLine", "[UpdateConfig]\r\nMcuType=1\r\nMcuSlave=0\r\n", "UpdateConfig",
                  "McuSlave", nullopt, "[UpdateConfig]\r\nMcuType=1\r\n"},
        WriteCase{"DeleteMissingEntryBeforeHeader", kThree, "UpdateConfig", "FireFile", nullopt,
                  kThree},
        WriteCase{"DeleteSection", kThree, "UpdateConfig", nullopt, "ignored",
                  "[A]\r\nx=1\r\n[B]\r\n"},
        WriteCase{"DeleteLastSection", "[A]\r\nx=1\r\n[UpdateConfig]\r\nMcuType=1\r\n",
                  "UpdateConfig", nullopt, nullopt, "[A]\r\nx=1\r\n"},
        // A scan that runs to the end leaves its line end even when nothing else changes.
        WriteCase{"DeleteMissingSection", "[A]\r\nx=1\r\n", "C", nullopt, nullopt,
                  "[A]\r\nx=1\r\n\r\n"},
        WriteCase{"NoSection", "untouched", nullopt, "McuType", "1", "untouched"},
        WriteCase{"ByteOrderMarkKept", "\xEF\xBB\xBF[UpdateConfig]\r\nMcuType=1\r\n",
                  "UpdateConfig", "McuType", "2", "\xEF\xBB\xBF[UpdateConfig]\r\nMcuType=2\r\n"},
        WriteCase{"ByteOrderMarkBeforeDeletedSection",
                  "\xEF\xBB\xBF[UpdateConfig]\r\nMcuType=1\r\n[B]\r\n", "UpdateConfig", nullopt,
                  nullopt, "\xEF\xBB\xBF[B]\r\n"},
        WriteCase{"ByteOrderMarkAlone", "\xEF\xBB\xBF", "UpdateConfig", "McuType", "1",
                  "\xEF\xBB\xBF\r\n\r\n[UpdateConfig]\r\nMcuType=1\r\n"},
        WriteCase{"FirstOfTwoSections",
                  "McuType=5\r\n[UpdateConfig]\r\nx=1\r\n[UpdateConfig]\r\nMcuType=6\r\n",
                  "UpdateConfig", "McuType", "2",
                  "McuType=5\r\n[UpdateConfig]\r\nx=1\r\nMcuType=2\r\n[UpdateConfig]\r\nMcuType="
                  "6\r\n"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(Profile, KeyAndSectionSpellingsMustMatchExactly) {
    for (const char* text : {"mcutype=5", "McuType =5", " McuType=5", "McuTypeX=5", "MCUTYPE=5",
                             "McuType", "[x]\r\nMcuType=5"}) {
        Write(std::string("[UpdateConfig]\r\n") + text + "\r\n");
        EXPECT_EQ(Int(kMcuTypeKey), -7) << text;
    }
    for (const char* text : {"McuType=5\r\n[UpdateConfig]\r\n", "[updateconfig]\r\nMcuType=5\r\n",
                             "[UpdateConfig]\r\n[UpdateConfig]\r\nMcuType=5\r\n",
                             "\r\n\xEF\xBB\xBF[UpdateConfig]\r\nMcuType=5\r\n",
                             "\xEF\xBB\xBF\xEF\xBB\xBF[UpdateConfig]\r\nMcuType=5\r\n"}) {
        Write(text);
        EXPECT_EQ(Int(kMcuTypeKey), -7) << text;
    }
    Write("[UpdateConfig] any text\r\n\r\n;McuType=4\r\nMcuType=5\r\nMcuType=6\r\n");
    EXPECT_EQ(Int(kMcuTypeKey), 5);
    Write("\xEF\xBB\xBF[UpdateConfig]\r\nMcuType=5\r\n");
    EXPECT_EQ(Int(kMcuTypeKey), 5) << "a leading byte order mark is not part of the header";
}

TEST_F(Profile, NumbersConvertLikeWcstol) {
    // clang-format off
    const std::pair<const char*, int> cases[] = {
        {"12ab", 12}, {"  \t7", 7}, {"-3", -3}, {"+4", 4}, {"", 0}, {"abc", 0}, {"-", 0},
        {"1 2", 1}, {"0x10", 0}, {"2147483647", INT_MAX}, {"2147483648", INT_MAX},
        {"-2147483648", INT_MIN}, {"-2147483649", INT_MIN}, {"99999999999999999999999", INT_MAX}};
    // clang-format on
    for (const auto& [text, expected] : cases) {
        Write(std::string("[UpdateConfig]\r\nMcuType=") + text + "\r\n");
        EXPECT_EQ(Int(kMcuTypeKey), expected) << '"' << text << '"';
    }
}

TEST_F(Profile, LongLineArrivesInPiecesOf259Characters) {
    // {leading characters, the character}: the second piece matches only after exactly 259.
    const std::tuple<std::size_t, std::string, int> cases[] = {
        {259, "a", 5}, {259, "\u00E9", 5}, {259, "\u20AC", 5}, {258, "\u00E9", -7}, {260, "a", -7}};
    for (const auto& [count, character, expected] : cases) {
        std::string line;
        for (std::size_t i = 0; i < count; ++i) {
            line += character;
        }
        Write("[UpdateConfig]\r\n" + line + "McuType=5\r\n");
        EXPECT_EQ(Int(kMcuTypeKey), expected) << count << " x " << character;
    }
    // 258 characters and CR LF fill one piece exactly.
    Write("[UpdateConfig]\r\nFireFile=" + std::string(249, 'f') + "\r\nMcuType=5\r\n");
    EXPECT_EQ(Text(kFireFileKey, 300), std::string(249, 'f'));
    EXPECT_EQ(Int(kMcuTypeKey), 5);
}

TEST_F(Profile, ReadStringCutsAtCapacityOnCharacterBoundaries) {
    Write("[UpdateConfig]\r\nFireFile=ab\u20ACcd\r\n");
    std::string out = "junk";
    EXPECT_EQ(ProfileReadString(kUpdateConfigSection, kFireFileKey, "", out, 3, file_), 3u);
    EXPECT_EQ(out, "ab\u20AC");
    EXPECT_EQ(ProfileReadString(kUpdateConfigSection, kFireFileKey, "", out, 100, file_), 5u);
    EXPECT_EQ(ProfileReadString(kUpdateConfigSection, "AppType", "xyz", out, 2, file_), 2u);
    EXPECT_EQ(out, "xy");
    EXPECT_EQ(ProfileReadString("Nope", kFireFileKey, "", out, 100, dir_.path() / "none"), 0u);
    EXPECT_EQ(out, "");
}

TEST_F(Profile, CarriageReturnBelongsToTheValueOnlyAwayFromTheLineFeed) {
    Write("[UpdateConfig]\r\nFireFile=fw.hex\r\nAppType=a\rb\r\n");
    EXPECT_EQ(Text(kFireFileKey), "fw.hex");
    EXPECT_EQ(Text(kAppTypeKey), "a\rb");
    EXPECT_EQ(Set(kAppTypeKey, "x\r"), 1);
    EXPECT_EQ(Text(kAppTypeKey), "x\r");
}

TEST_F(Profile, RewriteKeepsModeLinkAndOtherBytesAndLeavesNoTempFile) {
    const fs::path real = Write("[O]\nk = v \n\n[UpdateConfig]\r\nMcuType=1\r\n;x\r\n");
    fs::permissions(real, fs::perms(0640));
    file_ = dir_.path() / "link.ini";
    fs::create_symlink(real, file_);
    // What killed writes left: the temporary file, and those of earlier builds' naming.
    dir_.Write(".tool.ini.tmp", "half");
    dir_.Write(".tool.ini.tmp4242-1733", "half");
    fs::create_symlink(real, dir_.path() / ".tool.ini.tmp7-8");
    EXPECT_EQ(Set(kMcuTypeKey, "22"), 1);
    EXPECT_TRUE(fs::is_symlink(file_));
    EXPECT_EQ(testing::TempDir::Read(real),
              "[O]\nk = v \n\n[UpdateConfig]\r\nMcuType=22\r\n;x\r\n");
    EXPECT_EQ(fs::status(real).permissions(), fs::perms(0640));
    // The file, its link, and the writers' lock file, which takes the settings file's mode.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 3);
    EXPECT_EQ(fs::status(dir_.path() / ".tool.ini.lock").permissions(), fs::perms(0640));

    // Names that are not ours stay; a file with a second name is rewritten in place, so both
    // names still show one file.
    const std::string kept[] = {".tool.ini.tmp1-", ".tool.ini.tmpx1-2", ".link.ini.tmp1-2",
                                "tool.ini.tmp"};
    for (const std::string& name : kept) {
        dir_.Write(name, "other");
    }
    const fs::path other = dir_.path() / "other.ini";
    fs::create_hard_link(real, other);
    EXPECT_EQ(Set(kMcuTypeKey, "3"), 1);
    EXPECT_TRUE(fs::equivalent(real, other));
    EXPECT_EQ(fs::hard_link_count(real), 2u);
    EXPECT_EQ(testing::TempDir::Read(other),
              "[O]\nk = v \n\n[UpdateConfig]\r\nMcuType=3\r\n;x\r\n");
    EXPECT_EQ(Set(kMcuTypeKey, "4444"), 1) << "growing in place";
    EXPECT_EQ(testing::TempDir::Read(other),
              "[O]\nk = v \n\n[UpdateConfig]\r\nMcuType=4444\r\n;x\r\n");
    for (const std::string& name : kept) {
        EXPECT_EQ(testing::TempDir::Read(dir_.path() / name), "other") << name;
    }
}

TEST_F(Profile, WritersInOneFolderTakeTurns) {
    // Each writer adds keys of its own; a change that a writer read past and overwrote, or a
    // temporary file taken from under a writer, would lose some of them.
    constexpr int kWrites = 25;
    const auto writer = [&](char name, int* stored) {
        for (int i = 0; i < kWrites; ++i) {
            *stored += Set(name + std::to_string(i), "1");
        }
    };
    int stored[2] = {};
    std::thread first(writer, 'a', &stored[0]);
    std::thread second(writer, 'b', &stored[1]);
    first.join();
    second.join();
    EXPECT_EQ(stored[0] + stored[1], 2 * kWrites);
    for (char name : {'a', 'b'}) {
        for (int i = 0; i < kWrites; ++i) {
            EXPECT_EQ(Int(name + std::to_string(i)), 1) << name << i;
        }
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 2);
}

// A lock on the folder, which anyone who can read it may take, no longer holds writers up; a
// writer that holds the lock file does, but only for a bounded time. A link that another user
// placed is not followed.
TEST_F(Profile, NeitherAForeignLockNorAForeignLinkHoldsOrRedirectsAWrite) {
    Write("[UpdateConfig]\r\nMcuType=1\r\n");
    const int folder = ::open(dir_.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(folder, LOCK_EX), 0);
    EXPECT_EQ(Set(kMcuTypeKey, "2"), 1);
    ::close(folder);

    const int writer = ::open((dir_.path() / ".tool.ini.lock").c_str(), O_WRONLY | O_CLOEXEC);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    ASSERT_EQ(::fcntl(writer, F_OFD_SETLK, &lock), 0);
    EXPECT_EQ(Set(kMcuTypeKey, "3"), 0) << "gives up after its bounded wait";
    ::close(writer);
    EXPECT_EQ(Int(kMcuTypeKey), 2);

    if (::geteuid() != 0) {
        GTEST_SKIP() << "a link of another user needs root to make";
    }
    const fs::path elsewhere = dir_.Write("elsewhere.ini", "[UpdateConfig]\r\n");
    file_ = dir_.path() / "planted.ini";
    fs::create_symlink(elsewhere, file_);
    ASSERT_EQ(::lchown(file_.c_str(), 65534, 65534), 0);
    EXPECT_EQ(Set(kMcuTypeKey, "4"), 0);
    EXPECT_EQ(testing::TempDir::Read(elsewhere), "[UpdateConfig]\r\n");
    ASSERT_EQ(::lchown(file_.c_str(), 0, 0), 0);  // root's own link is followed
    EXPECT_EQ(Set(kMcuTypeKey, "4"), 1);
    EXPECT_EQ(testing::TempDir::Read(elsewhere), "[UpdateConfig]\r\n\r\nMcuType=4\r\n");
}

// Runs the write as an unprivileged user when we are root, who ignores folder permissions.
int WriteUnprivileged(const fs::path& file, std::string_view value = "2") {
    const auto write = [&] {
        return ProfileWriteString(kUpdateConfigSection, kMcuTypeKey, value, file);
    };
    if (::geteuid() != 0) {
        return write();
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(::setgid(65534) == 0 && ::setuid(65534) == 0 ? write() : 9);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A lock file made while the settings file was its owner's alone: a writer of the group, who
// may not open it, locks the settings file itself and rewrites it in place; the lock file's
// owner gives it the settings file's mode on the next write.
TEST_F(Profile, ALockFileThisWriterMayNotOpenDoesNotStopTheWrite) {
    Write("[UpdateConfig]\r\nMcuType=1\r\n");
    const fs::path lock = dir_.Write(".tool.ini.lock", "");
    fs::permissions(lock, fs::perms(::geteuid() == 0 ? 0600 : 0400));
    fs::permissions(file_, fs::perms(0666));
    fs::permissions(dir_.path(), fs::perms(0777));
    struct stat before {};
    ASSERT_EQ(::stat(file_.c_str(), &before), 0);
    EXPECT_EQ(WriteUnprivileged(file_, "2"), 1);
    EXPECT_EQ(Int(kMcuTypeKey), 2);
    struct stat after {};
    ASSERT_EQ(::stat(file_.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "replaced, away from the lock it held";
    if (::geteuid() == 0) {
        EXPECT_EQ(Set(kMcuTypeKey, "3"), 1);
        EXPECT_EQ(fs::status(lock).permissions(), fs::perms(0666));
        EXPECT_EQ(WriteUnprivileged(file_, "4"), 1);
        EXPECT_EQ(Int(kMcuTypeKey), 4);
    }
}

TEST_F(Profile, FailedWriteReturnsZeroAndLeavesNoTrace) {
    const std::string before = "[UpdateConfig]\r\nMcuType=1\r\n";
    file_ = dir_.Write("locked/tool.ini", before);
    fs::permissions(dir_.path(), fs::perms(0711));
    fs::permissions(file_, fs::perms(0444));
    fs::permissions(file_.parent_path(), fs::perms(0555));
    EXPECT_EQ(WriteUnprivileged(file_), 0);
    EXPECT_EQ(Content(), before);

    // A writable file in a folder we may not write to, as in a program folder owned by root,
    // is rewritten in place; so is one whose owner the writer could not keep.
    fs::permissions(file_, fs::perms(0666));
    struct stat old_info {};
    ASSERT_EQ(::stat(file_.c_str(), &old_info), 0);
    EXPECT_EQ(WriteUnprivileged(file_, "3"), 1);
    EXPECT_EQ(Int(kMcuTypeKey), 3);
    struct stat info {};
    ASSERT_EQ(::stat(file_.c_str(), &info), 0);
    EXPECT_EQ(info.st_ino, old_info.st_ino);
    fs::permissions(file_.parent_path(), fs::perms(0777));
    EXPECT_EQ(WriteUnprivileged(file_), 1);
    EXPECT_EQ(Int(kMcuTypeKey), 2);
    ASSERT_EQ(::stat(file_.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, old_info.st_uid);
    const std::string current = Content();

    EXPECT_EQ(Set(kMcuTypeKey, "1\n[Evil]"), 0);
    EXPECT_EQ(ProfileWriteString("Up\ndate", kMcuTypeKey, "1", file_), 0);
    EXPECT_EQ(Content(), current);
    EXPECT_EQ(ProfileWriteString(kUpdateConfigSection, kMcuTypeKey, "1", dir_.path() / "no/x.ini"),
              0);
    EXPECT_EQ(ProfileWriteString(kUpdateConfigSection, kMcuTypeKey, "1", dir_.path()), 0);
    EXPECT_FALSE(fs::exists(dir_.path() / "no"));
}

}  // namespace
}  // namespace velkor
