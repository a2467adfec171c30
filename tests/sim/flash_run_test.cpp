// velkor-flash write and config as they run, in-process against the simulated unit on virtual
// time: exit statuses, when programming starts, and what every boot loader fault ends in.
#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <regex>
#include <sstream>
#include <string>

#include "runs/config_run.h"
#include "runs/update_run.h"
#include "sim/firmware_file.h"
#include "support/temp_dir.h"
#include "support/unit_bench.h"

namespace velkor {
namespace {

using sim::DefaultSimConfig;
using sim::SimConfig;
using testing::UnitBench;

const std::string kComplete = "Update complete, MCU will auto reset\r\n";
const std::string kFail = "Update fail, please reset and try again\r\n";

struct WriteRun {
    int exit;
    std::string log;
    std::vector<std::vector<std::uint8_t>> records;  // data records written
    bool ended_on_a_record;                          // nothing written after the last one
    bool image_in_flash;
};

struct FileChoice {
    bool mismatch = false;
    std::optional<std::string> file_version;
    bool missing = false;
    // Changes the image before it is written to the file.
    std::function<void(std::vector<std::uint8_t>&)> edit = {};
};

WriteRun RunWrite(SimConfig config, const FileChoice& file = {}, bool force = false,
                  bool slave = false) {
    testing::TempDir dir;
    sim::FirmwareIdentity identity{config.model,        config.family,
                                   config.version_text, config.information_text,
                                   file.file_version,   file.mismatch};
    auto image = sim::BuildFirmwareImage(identity, 11);
    if (file.edit) {
        file.edit(image);
    }
    const sim::FlashRange range = *sim::ProgrammedRange(config.family);
    const std::string path = (dir.path() / "firmware").string();
    std::string error;
    if (!file.missing) {
        EXPECT_TRUE(sim::WriteFirmwareFile(path, config.family, image, range, error)) << error;
    }
    const std::size_t block = config.family == kMcuTypeStm8 ? 128 : 256;
    UnitBench bench(std::move(config));
    UpdateRequest request{{"/dev/fake", bench.model, bench.mcu}, slave, force, path};
    WriteRun run;
    run.exit = RunUpdate(bench.port, bench.clock, request, bench.capture);
    run.log = bench.capture.log();
    run.records = bench.DataRecords(block);
    const auto writes = bench.port.writes();
    run.ended_on_a_record = !writes.empty() && writes.back().bytes.size() == block;
    const auto& flash = slave ? bench.unit().slave_flash() : bench.unit().main_flash();
    run.image_in_flash = testing::RangeOf(flash.bytes(), range) == testing::RangeOf(image, range);
    return run;
}

TEST(FlashWrite, ProgramsOnlyAFileTheCheckConfirmsUnlessForced) {
    SimConfig v4_nec = DefaultSimConfig(kAppTypeR3360, kMcuTypeNec);
    v4_nec.version_text = "4.02_NE_N_TV-_R3360";
    SimConfig silent = DefaultSimConfig(kAppTypeJ5, kMcuTypeM3);
    silent.faults.silent = true;
    struct Case {
        const char* name;
        SimConfig config;
        FileChoice file;
        bool force, slave;
        int exit;
        bool programmed;
    };
    const Case cases[] = {
        {"matching file", DefaultSimConfig(kAppTypeJ5, kMcuTypeStm8), {}, false, false, 0, true},
        {"slave MCU", DefaultSimConfig(kAppTypeR3360, kMcuTypeM3), {}, false, true, 0, true},
        {"file for another unit",
         DefaultSimConfig(kAppTypeR3360, kMcuTypeM3),
         {true, {}, false},
         false,
         false,
         4,
         false},
        {"file for another unit, forced",
         DefaultSimConfig(kAppTypeR3360, kMcuTypeM3),
         {true, {}, false},
         true,
         false,
         0,
         true},
        {"refused by the NEC version rule", v4_nec, {false, "3.50", false}, false, false, 4, false},
        // A forced V4 unit still gets its own entry command, so the update goes through.
        {"refused, forced", v4_nec, {false, "3.50", false}, true, false, 0, true},
        {"missing file",
         DefaultSimConfig(kAppTypeJ5, kMcuTypeNec),
         {false, {}, true},
         false,
         false,
         3,
         false},
        {"silent unit", silent, {}, false, false, 1, false},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        const WriteRun run = RunWrite(test.config, test.file, test.force, test.slave);
        EXPECT_EQ(run.exit, test.exit) << run.log;
        EXPECT_EQ(run.image_in_flash, test.programmed);
        EXPECT_EQ(run.log.find(kComplete) != std::string::npos, test.programmed) << run.log;
        if (test.exit == kWriteNotConfirmed) {
            EXPECT_TRUE(run.records.empty());
            EXPECT_NE(run.log.find("Give --force"), std::string::npos);
        }
    }
}

TEST(FlashWrite, LogShowsBothChecksumsAsTheWindowDoes) {
    const WriteRun run = RunWrite(DefaultSimConfig(kAppTypeR3360, kMcuTypeM3));
    ASSERT_EQ(run.exit, 0) << run.log;
    // 128 KiB of erased flash, then the file's byte sum.
    EXPECT_NE(run.log.find("MCU Checksum: 01FE0000\r\n"), std::string::npos) << run.log;
    // The check's word to the window's user means nothing here.
    EXPECT_NE(run.log.find("20240601\r\nFile Checksum: "), std::string::npos) << run.log;
    EXPECT_EQ(run.log.find("Press \"Update\""), std::string::npos);
    EXPECT_TRUE(run.log.starts_with("\r\nR3360\r\n======== MCU Version ========\r\n"));
}

TEST(FlashWrite, EveryBootLoaderFaultEndsInFailureWithNothingSentAfterTheLastRecord) {
    struct Case {
        const char* name;
        void (*set)(sim::SimFaults&);
        std::size_t records;  // data records sent, the last one unanswered
        const char* why;      // the failure line after "Record N of 1,024 (address ...): "
    };
    const char* const kSilent = "no acknowledgement within 10 s";
    const Case cases[] = {
        {"stops answering at once", [](sim::SimFaults& f) { f.stop_after_records = 0; }, 1,
         kSilent},
        {"stops answering after 3", [](sim::SimFaults& f) { f.stop_after_records = 3; }, 4,
         kSilent},
        {"status without '.' after 2", [](sim::SimFaults& f) { f.no_dot_after_records = 2; }, 3,
         "no acknowledgement within 10 s after 23"},
        {"line dropped after 4", [](sim::SimFaults& f) { f.drop_after_records = 4; }, 5,
         "the line hung up"},
        {"line dropped at the entry", [](sim::SimFaults& f) { f.drop_after_records = 0; }, 1,
         "the line hung up"},
        {"entry ignored",
         [](sim::SimFaults& f) {
             f.scope = sim::kScopeProgramming;
             f.silent = true;
         },
         1, kSilent},
    };
    for (const auto model : {kAppTypeR3360, kAppTypeJ5}) {
        for (const auto& test : cases) {
            SCOPED_TRACE(std::string(test.name) + (model == kAppTypeJ5 ? " J5" : " R3360"));
            SimConfig config = DefaultSimConfig(model, kMcuTypeStm8);
            test.set(config.faults);
            const WriteRun run = RunWrite(std::move(config));
            EXPECT_EQ(run.exit, kWriteProgramFailed);
            const std::string where = "Record " + std::to_string(test.records) + " of 1,024";
            const std::string done = std::to_string(test.records - 1) + " of 1,024 records";
            EXPECT_TRUE(std::regex_search(
                run.log, std::regex(where + R"( \(address 0x[0-9A-F]{5}\): )" + test.why +
                                    R"( \(waited [0-9,]+ ms\)\r\n)" + kFail + "Programmed " + done +
                                    R"( \([0-9,]+ of 131,072 bytes\) in )" +
                                    R"([0-9.]+ s \((-|[0-9.]+ KB/s)\)\r\n$)")))
                << run.log;
            EXPECT_EQ(run.log.find(kComplete), std::string::npos);
            EXPECT_EQ(run.records.size(), test.records);
            EXPECT_TRUE(run.ended_on_a_record) << "no end record, nothing after the last record";
        }
    }
}

TEST(FlashWrite, VerifyExpectsOnlyWhatTheAsciiChecksumReplyCarries) {
    // A file checksum whose lowest byte is CR: the R3360 reply ends there, so the MCU's
    // checksum arrives as its three upper bytes, and a good update must still verify.
    FileChoice file;
    file.edit = [](std::vector<std::uint8_t>& image) {
        const auto sum = std::accumulate(image.begin(), image.begin() + 0x20000, std::uint32_t{0});
        const std::uint32_t rest = sum - image[0x1FFFF];
        for (unsigned value = 0; value < 256; ++value) {
            if (((rest + value) & 0xFF) == 0x0D) {
                image[0x1FFFF] = static_cast<std::uint8_t>(value);
            }
        }
    };
    const WriteRun run = RunWrite(DefaultSimConfig(kAppTypeR3360, kMcuTypeM3), file);
    EXPECT_EQ(run.exit, kWriteUpdated) << run.log;
    EXPECT_NE(run.log.find("Verify: the MCU's checksum reply carries the file checksum "),
              std::string::npos)
        << run.log;
    EXPECT_NE(run.log.find("matches the file\r\n"), std::string::npos) << run.log;
}

TEST(FlashWrite, LostEntryAcknowledgementIsNoFault) {
    SimConfig config = DefaultSimConfig(kAppTypeJ5, kMcuTypeNec);
    config.faults.scope = sim::kScopeProgramming;
    config.faults.no_ack = true;
    const WriteRun run = RunWrite(std::move(config));
    EXPECT_EQ(run.exit, 0) << run.log;
    EXPECT_TRUE(run.image_in_flash);
}

struct ConfigRun {
    int exit;
    std::string shown;
    std::string log;
    std::size_t writes;
};

ConfigRun RunConfigOn(SimConfig config, const ConfigRequest& changes) {
    UnitBench bench(std::move(config));
    ConfigRequest request = changes;
    request.unit = {"/dev/fake", bench.model, bench.mcu};
    std::ostringstream shown;
    const int exit = RunConfig(bench.port, bench.clock, request, shown, bench.capture);
    return {exit, shown.str(), bench.capture.log(), bench.port.writes().size()};
}

TEST(FlashConfig, ShowsWhatTheUnitReportsAndWritesOnlyWhatItsCommandCarries) {
    ConfigRequest none;
    const ConfigRun shown = RunConfigOn(DefaultSimConfig(kAppTypeJ5, kMcuTypeM3), none);
    EXPECT_EQ(shown.exit, kConfigDone);
    EXPECT_EQ(
        shown.shown,
        "TV: NULL\nHBRAKE: DISABLE\nTFT: HSD 8\"\nDVD: NULL\nRADIO: OSPREN\nAUDIO: TDA7418\n");
    EXPECT_EQ(shown.log.find("config"), std::string::npos) << "nothing to write";

    ConfigRequest tft;
    tft.changes[kOptionTft] = 8;
    const ConfigRun refused = RunConfigOn(DefaultSimConfig(kAppTypeR3360, kMcuTypeM3), tft);
    EXPECT_EQ(refused.exit, kConfigNotCarried);
    EXPECT_EQ(refused.writes, 0u) << "refused before the port is touched";

    ConfigRequest tv;
    tv.changes[kOptionTv] = 6;
    tv.changes[kOptionHbrake] = 1;
    const ConfigRun written = RunConfigOn(DefaultSimConfig(kAppTypeR3360, kMcuTypeNec), tv);
    EXPECT_EQ(written.exit, kConfigDone) << written.log;
    EXPECT_NE(written.log.find("Writing TV: DVBT, HBRAKE: ENABLE, RDS: DISABLE\r\n"),
              std::string::npos)
        << written.log;

    SimConfig silent = DefaultSimConfig(kAppTypeJ5, kMcuTypeNec);
    silent.faults.scope = sim::kScopeConfiguration;
    silent.faults.silent = true;
    const ConfigRun failed = RunConfigOn(silent, tv);
    EXPECT_EQ(failed.exit, kConfigNotWritten);
    EXPECT_TRUE(failed.log.ends_with("config fail, please reset and try again\r\n"));
}

TEST(FlashConfig, OptionNamesAsTheTechnicianTypesThem) {
    struct Case {
        UnitOption option;
        const char* name;
        std::optional<std::uint8_t> index;
    };
    const Case cases[] = {
        {kOptionTft, "INN 6.5\" NEW", 8}, {kOptionTft, "inn6.5new", 8},
        {kOptionTft, "INN 6.5", 5},       {kOptionTv, "isdbt-in", 8},
        {kOptionTv, "T200/T202", 7},      {kOptionTv, "ISDBT IN", std::nullopt},
        {kOptionHbrake, "on", 1},         {kOptionRds, "Disable", 0},
        {kOptionTv, "on", std::nullopt},  {kOptionAudio, "", std::nullopt},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(OptionIndex(test.option, test.name), test.index) << test.name;
    }
}

}  // namespace
}  // namespace velkor
