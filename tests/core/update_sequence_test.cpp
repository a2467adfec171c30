#include "session/update_sequence.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <set>
#include <thread>

#include "session/control_ids.h"
#include "session/worker_steps.h"
#include "settings/unit_types.h"
#include "support/capture_sink.h"
#include "support/temp_dir.h"
#include "testing/fake_serial_port.h"

namespace velkor {
namespace {

using CommandList = std::vector<std::uint32_t>;

// Remembers what the sequence did to the window.
class RecordingView : public SequenceView {
  public:
    void ShowControl(int id, bool shown) override { shown_[id] = shown; }
    void EnableControl(int id, bool enabled) override { enabled_[id] = enabled; }
    void SetControlText(int id, const std::string& text) override { texts_[id] = text; }
    void StartTypeSelectionTimer() override { ++timers_started; }
    void ShowComErrorAndQuit() override { ++com_errors; }
    void LayOutOptionPanel(int app_type, int mcu_type, bool slave) override {
        panel = {app_type, mcu_type, slave ? 1 : 0};
    }
    void ShowUnitOptions(const UnitOptions& options) override { shown_options = options; }
    UnitOptions SelectedUnitOptions() override { return selected_options; }
    std::optional<TypeChoice> RunTypeDialog(const TypeChoice& current) override {
        ++type_dialogs;
        offered = current;
        return type_answer;
    }
    std::optional<std::string> RunFileBrowser(const std::string& info_text) override {
        browser_info = info_text;
        return browser_answer;
    }

    std::optional<bool> shown(int id) const { return Find(shown_, id); }
    std::optional<bool> enabled(int id) const { return Find(enabled_, id); }
    std::optional<std::string> text(int id) const { return Find(texts_, id); }

    int timers_started = 0;
    int com_errors = 0;
    int type_dialogs = 0;
    TypeChoice panel{-1, -1, -1};
    TypeChoice offered;
    UnitOptions shown_options{};
    UnitOptions selected_options{};
    std::optional<TypeChoice> type_answer;
    std::optional<std::string> browser_answer;
    std::string browser_info;

  private:
    template <typename T>
    static std::optional<T> Find(const std::map<int, T>& values, int id) {
        const auto found = values.find(id);
        return found == values.end() ? std::nullopt : std::optional<T>(found->second);
    }
    std::map<int, bool> shown_;
    std::map<int, bool> enabled_;
    std::map<int, std::string> texts_;
};

// A sequence on a fake port, with a stand-in worker that only collects the commands it is
// given, so that each test sees exactly what the report routine asked for.
class SequenceTest : public ::testing::Test {
  protected:
    SequenceTest() {
        collector_ = std::thread([this] {
            for (std::uint32_t command; (command = hand_off.Take()) != 0;) {
                std::lock_guard lock(mutex_);
                taken_.push_back(command);
            }
        });
        WaitIdle();
    }
    ~SequenceTest() override {
        hand_off.Stop();
        collector_.join();
    }

    void WaitIdle() {
        while (!hand_off.idle()) {
            std::this_thread::yield();
        }
    }
    // The commands handed to the worker since the last call.
    std::vector<std::uint32_t> Taken() {
        WaitIdle();
        std::lock_guard lock(mutex_);
        return std::exchange(taken_, {});
    }
    void WriteSettings(const std::string& text) { dir.Write("velkor-tool.ini", text); }

    testing::TempDir dir;
    testing::CaptureSink capture;
    VirtualClock clock;
    FakeSerialPort port{clock};
    UpdateSession session{port, clock, dir.path() / "velkor-tool.ini", &capture};
    WorkerHandOff hand_off;
    RecordingView view;
    UpdateSequence sequence{session, hand_off, view};

  private:
    std::thread collector_;
    std::mutex mutex_;
    std::vector<std::uint32_t> taken_;
};

TEST_F(SequenceTest, ResetClearsTheWindowAndIdentifiesTheModel) {
    sequence.OnWorkerReport(kCommandReset, 0);
    EXPECT_EQ(view.text(kIdTypeDisplay), "UNKNOWN");
    for (int id : {kIdOpen, kIdUpdate, kIdRetry, kIdContinue}) {
        EXPECT_EQ(view.shown(id), false) << id;
        EXPECT_EQ(view.enabled(id), false) << id;
    }
    EXPECT_EQ(view.text(kIdMcuChecksum), " ");
    EXPECT_EQ(view.text(kIdFileChecksum), " ");
    EXPECT_EQ(view.panel.app_type, 0) << "the log is widened over the panel";
    EXPECT_EQ(capture.progress().back(), 0);
    EXPECT_EQ(Taken(), CommandList{kCommandIdentifyModel});
}

TEST_F(SequenceTest, ReportsDecideTheNextCommand) {
    struct Case {
        std::uint32_t command;
        int result;
        CommandList next;
    };
    const Case cases[] = {
        {kCommandIdentifyModel, kAppTypeJ5, {kCommandOpenLink}},
        {kCommandIdentifyModel, 0, {}},
        {kCommandReadMcuType, 0, {}},
        {kCommandOpenLink, 0, {kCommandReadVersion}},
        {kCommandReadVersion, 0, {kCommandReadChecksum}},
        {kCommandReadVersion, 1, {}},
        {kCommandReadChecksum, 0, {kCommandReadInformation}},
        {kCommandReadChecksum, 1, {kCommandReadInformation}},
        {kCommandReadInformation, 1, {kCommandReadMcuType}},
        {kCommandLoadFile, kLoadFormatError, {}},
        {kCommandProgram, 0, {}},
        {42, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.command << "/" << c.result);
        sequence.OnWorkerReport(c.command, c.result);
        EXPECT_EQ(Taken(), c.next);
    }
}

TEST_F(SequenceTest, UndeterminedModelOrFamilyStartsTheTypeSelectionTimer) {
    sequence.OnWorkerReport(kCommandIdentifyModel, 0);
    sequence.OnWorkerReport(kCommandReadMcuType, 0);
    EXPECT_EQ(view.timers_started, 2);
    sequence.OnWorkerReport(kCommandIdentifyModel, kAppTypeR3360);
    EXPECT_EQ(view.shown(kIdRadioR3360), false);
    EXPECT_EQ(view.shown(kIdRadioJ5), false);
    EXPECT_EQ(view.shown(kIdContinue), false);
    EXPECT_EQ(view.timers_started, 2);
}

TEST_F(SequenceTest, PortThatCannotBeOpenedShowsTheComError) {
    sequence.OnWorkerReport(kCommandOpenLink, 1);
    EXPECT_EQ(view.com_errors, 1);
    EXPECT_EQ(Taken(), CommandList{});
}

TEST_F(SequenceTest, RetryRepeatsOnlyTheVersionQuery) {
    sequence.OnWorkerReport(kCommandReadVersion, 1);
    EXPECT_EQ(view.shown(kIdRetry), true);
    EXPECT_EQ(view.enabled(kIdRetry), true);
    sequence.OnRetry();
    EXPECT_EQ(view.enabled(kIdRetry), false);
    EXPECT_EQ(view.shown(kIdRetry), true) << "Retry stays visible until the query succeeds";
    EXPECT_EQ(Taken(), CommandList{kCommandReadVersion});
    sequence.OnWorkerReport(kCommandReadVersion, 0);
    EXPECT_EQ(view.shown(kIdRetry), false);
}

TEST_F(SequenceTest, ChecksumShownOnlyWhenTheQuerySucceeded) {
    session.context.replies.checksum = 0x03FC00AB;
    sequence.OnWorkerReport(kCommandReadChecksum, 1);
    EXPECT_EQ(view.text(kIdMcuChecksum), std::nullopt);
    sequence.OnWorkerReport(kCommandReadChecksum, 0);
    EXPECT_EQ(view.text(kIdMcuChecksum), "03FC00AB");
}

TEST_F(SequenceTest, FamilyStepWithoutFireFileWaitsForOpen) {
    session.state.app_type = kAppTypeJ5;
    session.programming.slave = false;
    std::copy_n("xxxxxRH7-T", 10, session.context.replies.version_text.begin());
    sequence.OnWorkerReport(kCommandReadMcuType, kMcuTypeM3);
    EXPECT_EQ(view.text(kIdTypeDisplay), "M3-J5");
    EXPECT_EQ(session.current_link, &session.links.m3_frame);
    EXPECT_EQ(session.current_image, &session.hex_image);
    EXPECT_EQ(view.shown(kIdOpen), true);
    EXPECT_EQ(view.enabled(kIdOpen), true);
    EXPECT_EQ(view.shown(kIdUpdate), true);
    EXPECT_EQ(view.enabled(kIdUpdate), false);
    EXPECT_EQ(view.panel.mcu_type, kMcuTypeM3);
    EXPECT_EQ(view.shown_options[kOptionDvd], 1) << "decoded from the version text";
    EXPECT_EQ(view.shown_options[kOptionTv], 7);
    EXPECT_EQ(Taken(), CommandList{});
}

// An S-record file holding `bytes` at `address`, as S1 records of 16 bytes.
std::string S19Text(std::uint16_t address, std::string_view bytes) {
    std::string text;
    for (std::size_t at = 0; at < bytes.size(); at += 16) {
        const std::string_view chunk = bytes.substr(at, 16);
        const unsigned where = address + at;
        unsigned sum = chunk.size() + 3 + (where >> 8) + (where & 0xFF);
        char field[16];
        std::snprintf(field, sizeof field, "S1%02X%04X", unsigned(chunk.size() + 3), where);
        text += field;
        for (const unsigned char byte : chunk) {
            std::snprintf(field, sizeof field, "%02X", byte);
            text += field;
            sum += byte;
        }
        std::snprintf(field, sizeof field, "%02X\r\n", ~sum & 0xFF);
        text += field;
    }
    return text;
}

TEST_F(SequenceTest, FireFileProgramsWithoutATouchOnlyWhenTheCheckConfirmsIt) {
    // An R3360 STM8 description block; its identity is the unit's in the first row only.
    const std::string block =
        std::string("$S1.20 R3360-STM8").append(15, '\0').append("20150101").append(2, '\0') +
        "R3STM08";
    const std::uint32_t block_sum = 0x73A;
    struct Row {
        const char* name;
        std::string file;
        const char* unit_information;
        bool programs;
        std::string file_checksum;
        std::string_view line;
    };
    const std::string records = S19Text(0x8100, block);  // four S1 records
    const std::string termination = "S9030000FC\r\n";
    const Row rows[] = {
        {"confirmed", records + termination, "INFO:0000 R3STM08 tail", true, "0000073A", {}},
        {"confirmed, ended by the count of its records",
         records + "S5030004F8\r\n",
         "INFO:0000 R3STM08 tail",
         true,
         "0000073A",
         {}},
        {"not for this unit", records + termination, "INFO:0000 R3STM09 tail", false, "0000073A",
         "Automatic update not started: the file is not for this unit.\r\n"},
        {"no description", S19Text(0x9000, "code") + termination, "INFO:0000 R3STM08 tail", false,
         " ", "Automatic update not started: the file has no description to check.\r\n"},
        // The check finds the description block of a file cut short after it.
        {"cut short", records, "INFO:0000 R3STM08 tail", false, "0000073A",
         "Automatic update not started: the file may be cut short.\r\n"},
        {"count that disagrees", records + "S5030003F9\r\n", "INFO:0000 R3STM08 tail", false,
         "0000073A", "Automatic update not started: the file may be cut short.\r\n"},
        {"no data", termination, "INFO:0000 R3STM08 tail", false, " ",
         "Automatic update not started: the file holds no data.\r\n"},
    };
    std::uint32_t sum = 0;
    for (const unsigned char byte : block) {
        sum += byte;
    }
    ASSERT_EQ(sum, block_sum);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // A value that begins with a slash still names a file below the program directory.
        WriteSettings("[UpdateConfig]\r\nFireFile=/sub/fw.s19\r\n");
        dir.Write("sub/fw.s19", row.file);
        session.state.app_type = kAppTypeR3360;
        session.context.replies = {};
        std::copy_n("1.20 R3360 STM8", 15, session.context.replies.version_text.begin());
        std::copy_n(row.unit_information, 22, session.context.replies.information_text.begin());
        sequence.OnWorkerReport(kCommandReadMcuType, kMcuTypeStm8);
        EXPECT_EQ(session.current_image, &session.s19_image);
        EXPECT_EQ(session.state.firmware_path, dir.path().string() + "/sub/fw.s19");
        EXPECT_EQ(view.enabled(kIdApply), false);
        EXPECT_EQ(Taken(), CommandList{kCommandLoadFile});

        view.SetControlText(kIdFileChecksum, "12345678");  // an earlier file's
        ASSERT_EQ(session.current_image->Load(session.state.firmware_path), kLoadOk);
        capture.Clear();
        sequence.OnWorkerReport(kCommandLoadFile, kLoadOk);
        EXPECT_EQ(view.text(kIdFileChecksum), row.file_checksum);
        EXPECT_EQ(sequence.busy_with_mcu(), row.programs) << capture.log();
        if (!row.programs) {
            EXPECT_NE(capture.log().find(row.line), std::string::npos) << capture.log();
            EXPECT_EQ(view.enabled(kIdUpdate), true) << "left for a deliberate touch";
            EXPECT_EQ(Taken(), CommandList{});
            continue;
        }
        for (int id : {kIdOpen, kIdUpdate, kIdQuit, kIdApply}) {
            EXPECT_EQ(view.enabled(id), false) << id;
        }
        EXPECT_EQ(Taken(), CommandList{kCommandProgram});
        sequence.OnWorkerReport(kCommandProgram, 0);
        EXPECT_FALSE(sequence.busy_with_mcu());
        EXPECT_NE(capture.log().find("Update complete, MCU will auto reset\r\n"),
                  std::string::npos);
    }
}

// Without a touch, nothing is loaded from outside the program folder, through a link that
// another user placed, or from anything but a regular file; "Open" waits for a choice.
TEST_F(SequenceTest, FireFileOutsideTheFolderOrNoPlainFileIsNotLoaded) {
    dir.Write("elsewhere/fw.s19", "");
    std::filesystem::create_symlink(dir.path() / "elsewhere", dir.path() / "theirs");
    std::filesystem::create_symlink(dir.path() / "elsewhere", dir.path() / "ours");
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::lchown((dir.path() / "theirs").c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0644), 0);
    struct Row {
        const char* fire_file;
        std::string_view line;  // empty: loaded
    };
    const Row rows[] = {
        {"../fw.s19", "Automatic update not started: FireFile leaves the program folder.\r\n"},
        {"/elsewhere/../../fw.s19",
         "Automatic update not started: FireFile leaves the program folder.\r\n"},
        {"elsewhere", "Automatic update not started: FireFile is not a regular file.\r\n"},
        {"fifo", "Automatic update not started: FireFile is not a regular file.\r\n"},
        {"theirs/fw.s19", root ? "Automatic update not started: FireFile passes through a link "
                                 "that neither root nor this user owns.\r\n"
                               : ""},
        {"ours/fw.s19", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fire_file);
        WriteSettings(std::string("[UpdateConfig]\r\nFireFile=") + row.fire_file + "\r\n");
        session.state.app_type = kAppTypeR3360;
        capture.Clear();
        sequence.OnWorkerReport(kCommandReadMcuType, kMcuTypeStm8);
        if (row.line.empty()) {
            EXPECT_EQ(Taken(), CommandList{kCommandLoadFile});
            continue;
        }
        EXPECT_EQ(capture.log(), row.line);
        EXPECT_EQ(Taken(), CommandList{});
        EXPECT_TRUE(session.state.firmware_path.empty());
        EXPECT_EQ(view.enabled(kIdOpen), true);
        EXPECT_EQ(view.enabled(kIdUpdate), false);
    }
}

TEST_F(SequenceTest, FailedLoadLeavesUpdateDisabledAndClearsAutoUpdate) {
    session.state.auto_update = true;
    sequence.OnWorkerReport(kCommandLoadFile, kLoadCannotOpen);
    EXPECT_EQ(view.enabled(kIdUpdate), false);
    EXPECT_EQ(view.enabled(kIdOpen), true);
    EXPECT_EQ(view.enabled(kIdApply), true);
    EXPECT_FALSE(session.state.auto_update);
    EXPECT_EQ(Taken(), CommandList{});
}

TEST_F(SequenceTest, OpenHandsTheChosenFileToTheWorker) {
    std::copy_n("V\xE9", 2, session.context.replies.version_text.begin());
    sequence.OnOpen();
    EXPECT_EQ(view.browser_info, "V\xC3\xA9") << "the version text is shown as Latin-1";
    EXPECT_EQ(Taken(), CommandList{});
    view.browser_answer = "/media/card/fw.hex";
    sequence.OnOpen();
    EXPECT_EQ(session.state.firmware_path, "/media/card/fw.hex");
    EXPECT_FALSE(session.state.auto_update) << "a chosen file waits for Update";
    EXPECT_EQ(Taken(), CommandList{kCommandLoadFile});
}

TEST_F(SequenceTest, ProgramFailureIsReported) {
    sequence.OnUpdate();
    sequence.OnWorkerReport(kCommandProgram, -1);
    EXPECT_EQ(capture.log(), "Update fail, please reset and try again\r\n");
}

TEST_F(SequenceTest, TypeSelectionStoresTheChoiceAndRestarts) {
    view.type_answer = TypeChoice{kAppTypeR3360, kMcuTypeNec, 1};
    sequence.RunTypeSelection();
    EXPECT_EQ(view.type_dialogs, 1);
    EXPECT_EQ(session.state.app_type, kAppTypeR3360);
    EXPECT_EQ(session.state.mcu_type, kMcuTypeNec);
    EXPECT_TRUE(session.programming.slave);
    EXPECT_EQ(testing::TempDir::Read(dir.path() / "velkor-tool.ini"),
              "\r\n\r\n[UpdateConfig]\r\nMcuType=2\r\n\r\nMcuSlave=1\r\n")
        << "the model is not written";
    EXPECT_EQ(Taken(), CommandList{kCommandReset});

    // The dialog starts from the value read, so a box left alone stores it back as it was.
    WriteSettings("[UpdateConfig]\r\nMcuType=2\r\nMcuSlave=2\r\n");
    RunWorkerCommand(session, kCommandReadMcuType);
    view.type_answer = TypeChoice{kAppTypeR3360, kMcuTypeNec, 2};
    sequence.RunTypeSelection();
    EXPECT_EQ(view.offered.slave, 2);
    EXPECT_EQ(session.programming.slave, 2);
    EXPECT_EQ(testing::TempDir::Read(dir.path() / "velkor-tool.ini"),
              "[UpdateConfig]\r\nMcuType=2\r\nMcuSlave=2\r\n");
    EXPECT_EQ(Taken(), CommandList{kCommandReset});
}

TEST_F(SequenceTest, CancelledTypeSelectionChangesNothing) {
    session.state.app_type = kAppTypeJ5;
    session.state.mcu_type = kMcuTypeM3;
    sequence.RunTypeSelection();
    EXPECT_EQ(view.offered.app_type, kAppTypeJ5);
    EXPECT_EQ(view.offered.mcu_type, kMcuTypeM3);
    EXPECT_EQ(session.state.mcu_type, kMcuTypeM3);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "velkor-tool.ini"));
    EXPECT_EQ(Taken(), CommandList{});
}

TEST_F(SequenceTest, TypeSelectionWaitsForAnIdleWorker) {
    hand_off.Stop();  // a worker that never becomes idle again
    WorkerHandOff busy;
    UpdateSequence busy_sequence(session, busy, view);
    busy_sequence.RunTypeSelection();
    EXPECT_EQ(view.type_dialogs, 0);
}

TEST_F(SequenceTest, ApplyBeforeAnyFamilySendsNothing) {
    sequence.OnApply();
    for (int id : {kIdApply, kIdOpen, kIdUpdate, kIdQuit}) {
        EXPECT_EQ(view.enabled(id), false) << id;
    }
    EXPECT_TRUE(port.written_bytes().empty());
}

TEST(TypeDisplay, NamesFamilyTargetAndModel) {
    struct Case {
        int mcu, app;
        bool slave;
        std::optional<std::string> text;
    };
    const Case cases[] = {
        {kMcuTypeStm8, kAppTypeR3360, false, "STM8-R3360"},
        {kMcuTypeStm8, kAppTypeJ5, true, "STM8(SLAVE)-J5"},
        {kMcuTypeNec, kAppTypeR3360, true, "NEC(SLAVE)-R3360"},
        {kMcuTypeNec, kAppTypeJ5, false, "NEC-J5"},
        {kMcuTypeM3, kAppTypeR3360, false, "M3-R3360"},
        {kMcuTypeM3, kAppTypeJ5, true, "M3(SLAVE)-J5"},
        {kMcuTypeM3, 0, false, std::nullopt},
        {kMcuTypeM3, 3, false, std::nullopt},
        {4, kAppTypeJ5, false, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UpdateSequence::TypeDisplayText(c.mcu, c.app, c.slave), c.text)
            << c.mcu << "/" << c.app << "/" << c.slave;
    }
}

}  // namespace
}  // namespace velkor
