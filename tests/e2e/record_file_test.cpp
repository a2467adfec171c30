// Where the window's record goes and what a record says of the firmware file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/clock.h"
#include "platform/posix_serial_port.h"
#include "record/file_digest.h"
#include "record/record_file.h"
#include "record/session_facts.h"
#include "session/update_session.h"
#include "settings/unit_types.h"
#include "support/temp_dir.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

// "RecordFile" is a plain name below the program folder: never a link, a FIFO (which would
// hold the window), a file through another user's link, or a place outside.
TEST(RecordFileOfTheWindow, StaysBelowItsFolderAndIsAlwaysAPlainFile) {
    testing::TempDir dir;
    const fs::path folder = dir.path() / "program";
    dir.Write("program/sub/kept.jsonl", "");
    dir.Write("outside.jsonl", "");
    fs::create_symlink(dir.path() / "outside.jsonl", folder / "link.jsonl");
    fs::create_symlink(dir.path(), folder / "theirs");
    fs::create_symlink(folder / "sub", folder / "ours");
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::lchown((folder / "theirs").c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(::mkfifo((folder / "fifo.jsonl").c_str(), 0666), 0);
    struct Row {
        const char* name;
        const char* error;  // empty: appended
    };
    const Row rows[] = {
        {"new.jsonl", ""},
        {"sub/kept.jsonl", ""},
        {"ours/kept.jsonl", ""},
        {"../outside.jsonl", "RecordFile ../outside.jsonl leaves the program folder"},
        {"sub/../../outside.jsonl", "RecordFile sub/../../outside.jsonl leaves the program folder"},
        {"/new.jsonl", "RecordFile /new.jsonl is not a file name relative to the program folder"},
        {"link.jsonl", "RecordFile link.jsonl is a symbolic link"},
        {"fifo.jsonl", "RecordFile fifo.jsonl is not a regular file"},
        {"theirs/outside.jsonl",
         root ? "RecordFile theirs/outside.jsonl passes through a link that neither root nor "
                "this user owns"
              : ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string error;
        EXPECT_EQ(AppendRecordBelow(folder, row.name, "{}\n", error), *row.error == '\0');
        EXPECT_EQ(error, row.error);
    }
    EXPECT_EQ(testing::TempDir::Read(folder / "sub/kept.jsonl"), "{}\n{}\n");
    EXPECT_EQ(testing::TempDir::Read(dir.path() / "outside.jsonl"), root ? "" : "{}\n");
    // Made for the technicians of the folder's group, whatever the umask.
    const mode_t umask = ::umask(077);
    std::string error;
    EXPECT_TRUE(AppendRecordBelow(folder, "shared.jsonl", "{}\n", error));
    ::umask(umask);
    EXPECT_EQ(fs::status(folder / "shared.jsonl").permissions(), fs::perms(0664));
}

// The record file (and so each log) of the command line: never through a link or into a FIFO
// that someone put in its place in a shared folder, never in a folder anyone may write to
// without the sticky bit.
TEST(RecordFileOfTheCommandLine, IsNeverALinkAFifoOrInAFolderOpenToAnyone) {
    testing::TempDir dir;
    const fs::path shared = dir.path() / "shared";
    dir.Write("shared/kept.jsonl", "");
    dir.Write("units.jsonl", "");
    fs::create_symlink(dir.path() / "victim/.bashrc", shared / "dangling.jsonl");
    fs::create_symlink(dir.path() / "units.jsonl", shared / "planted.jsonl");
    ASSERT_EQ(::mkfifo((shared / "fifo.jsonl").c_str(), 0666), 0);
    dir.Write("open/kept.jsonl", "");
    fs::permissions(dir.path() / "open", fs::perms(0777));
    dir.Write("sticky/kept.jsonl", "");
    fs::permissions(dir.path() / "sticky", fs::perms(01777));
    const bool root = ::geteuid() == 0;
    fs::create_symlink(shared, dir.path() / "theirs");
    if (root) {
        ASSERT_EQ(::lchown((dir.path() / "theirs").c_str(), 65534, 65534), 0);
    }
    struct Row {
        const char* name;
        std::string error;  // after "cannot open the record file NAME: "; empty: appended
    };
    const Row rows[] = {
        {"shared/kept.jsonl", ""},
        {"shared/new.jsonl", ""},
        {"sticky/kept.jsonl", ""},
        {"shared/dangling.jsonl", "it is a symbolic link"},
        {"shared/planted.jsonl", "it is a symbolic link"},
        {"shared/fifo.jsonl", "it is not a regular file"},
        {"open/kept.jsonl",
         "its folder may be written by anyone; give the folder the sticky bit (chmod +t) or take "
         "that right away"},
        {"theirs/kept.jsonl",
         root ? "its folder passes through a link that neither root nor this user owns (" +
                    (dir.path() / "theirs").string() + ")"
              : ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path file = dir.path() / row.name;
        std::string error;
        EXPECT_EQ(AppendRecord(file, "{}\n", error), row.error.empty());
        EXPECT_EQ(error, row.error.empty()
                             ? ""
                             : "cannot open the record file " + file.string() + ": " + row.error);
    }
    EXPECT_FALSE(fs::exists(dir.path() / "victim")) << "made through a dangling link";
    EXPECT_EQ(testing::TempDir::Read(dir.path() / "units.jsonl"), "");
    EXPECT_EQ(testing::TempDir::Read(shared / "kept.jsonl"), root ? "{}\n" : "{}\n{}\n");
    EXPECT_EQ(testing::TempDir::Read(shared / "new.jsonl"), "{}\n");
}

// The record names the bytes the image was made of, though the file be replaced meanwhile.
TEST(RecordOfTheFirmwareFile, DescribesTheBytesThatWereLoaded) {
    testing::TempDir dir;
    const std::string loaded = ":0400000001020304F2\r\n:00000001FF\r\n";
    const std::string file = dir.Write("fw.hex", loaded);
    RealClock clock;
    PosixSerialPort port;
    UpdateSession session(port, clock, dir.path() / "velkor-tool.ini");
    session.SelectFamily(kMcuTypeM3);
    session.state.firmware_path = file;
    ASSERT_EQ(session.LoadFirmware(), 0);
    dir.Write("fw.hex", ":00000001FF\r\n");  // swapped before the record is written

    RunRecord record;
    TakeFileFacts(session, record);
    ASSERT_TRUE(record.file);
    EXPECT_EQ(record.file->size, loaded.size());
    EXPECT_EQ(record.file->sha256, DigestBytes(loaded)->sha256);
}

}  // namespace
}  // namespace velkor
