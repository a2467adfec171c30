// The tool's family classes programming the simulated MCU on virtual time: what arrives in the
// flash, which entry commands a unit takes, and how the boot loader reads its records.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/mcu_simulator.h"
#include "sim/record_reader.h"
#include "support/link_bench.h"
#include "support/unit_bench.h"

namespace velkor {
namespace {

using sim::DefaultSimConfig;
using sim::ProgrammedRange;
using sim::SimConfig;
using testing::kUnits;
using testing::RangeOf;
using testing::UnitBench;

const std::string kReady = "Press \"Update\" to start update.\r\n";
const std::string kReadySlave = "Press \"Update\" to start update SLAVE MCU.\r\n";

bool AllErased(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}

TEST(ProgrammingIntoTheSimulator, FlashHoldsTheImageOverTheFamilyRangeForBothTargets) {
    for (const auto& unit : kUnits) {
        for (const bool slave : {false, true}) {
            SCOPED_TRACE(std::string(unit.name) + (slave ? " slave" : " main"));
            const SimConfig config = DefaultSimConfig(unit.model, unit.family);
            const auto image = testing::FirmwareFor(config);
            UnitBench bench(config);
            bench.Identify();
            bench.state.slave = slave;

            ASSERT_EQ(bench.family().CheckFile(image.data()), 0);
            EXPECT_TRUE(bench.capture.log().ends_with(slave ? kReadySlave : kReady))
                << bench.capture.log();
            ASSERT_EQ(bench.family().Program(image.data()), 0) << bench.capture.log();
            EXPECT_FALSE(bench.transport.simulator().programming())
                << "the boot loader took the end record whole";

            const sim::FlashRange range = *ProgrammedRange(unit.family);
            const auto& target = slave ? bench.unit().slave_flash() : bench.unit().main_flash();
            const auto& other = slave ? bench.unit().main_flash() : bench.unit().slave_flash();
            EXPECT_EQ(RangeOf(target.bytes(), range), RangeOf(image, range));
            EXPECT_TRUE(AllErased(target.bytes().first(range.begin)));
            EXPECT_TRUE(AllErased(target.bytes().subspan(range.end)));
            EXPECT_TRUE(AllErased(other.bytes()));
            if (!slave) {
                EXPECT_EQ(bench.unit().Checksum(), bench.state.file_checksum);
            }
        }
    }
}

TEST(ProgrammingIntoTheSimulator, NecUnitFromVersionFourTakesItsFirmwareThroughItsOwnEntry) {
    SimConfig config = DefaultSimConfig(kAppTypeR3360, kMcuTypeNec);
    config.version_text = "4.02_NE_N_TV-_R3360";
    const auto image = testing::FirmwareFor(config);
    UnitBench bench(config);
    bench.Identify();
    ASSERT_EQ(bench.family().CheckFile(image.data()), 0);
    ASSERT_EQ(bench.family().Program(image.data()), 0);
    EXPECT_EQ(RangeOf(bench.unit().main_flash().bytes(), {0, 0x20000}),
              RangeOf(image, {0, 0x20000}));
}

TEST(SimulatedBootLoader, TakesOnlyTheEntryCommandsOfItsUnit) {
    const std::string main = "$wIAP\r\n", main_v4 = "$wPAI\r\n", slave = "$wIAS\r\n";
    const std::string frame_main = testing::Bytes({0xFF, 0xAA, 0x7A, 0x03, 0xAA, 0xC0, 0x02, 0x11});
    struct Case {
        const char* name;
        AppType model;
        McuType family;
        std::string version_text;
        std::string entry;
        bool taken;
    };
    const Case cases[] = {
        {"NEC before V4, main", kAppTypeR3360, kMcuTypeNec, "3.99", main, true},
        {"NEC before V4, V4 entry", kAppTypeR3360, kMcuTypeNec, "3.99", main_v4, false},
        {"NEC from V4, main", kAppTypeR3360, kMcuTypeNec, "4.00", main, false},
        {"NEC from V4, V4 entry", kAppTypeR3360, kMcuTypeNec, "4.00", main_v4, true},
        {"NEC from V4, slave", kAppTypeR3360, kMcuTypeNec, "4.00", slave, true},
        {"a byte from 0x80 is below '4'", kAppTypeR3360, kMcuTypeNec, "\xB4.00", main, true},
        {"M3 knows no V4 entry", kAppTypeR3360, kMcuTypeM3, "4.00", main_v4, false},
        {"J5 NEC has no version rule", kAppTypeJ5, kMcuTypeNec, "4.00", frame_main, true},
        {"no family, no boot loader", kAppTypeR3360, kMcuTypeUndetermined, "3.99", main, false},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        SimConfig config = DefaultSimConfig(test.model, test.family);
        config.version_text = test.version_text;
        sim::McuSimulator simulator(std::move(config), 0);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(test.entry.data());
        const auto answer = simulator.Receive({bytes, test.entry.size()}, 10);
        EXPECT_EQ(simulator.programming(), test.taken);
        EXPECT_EQ(answer.empty(), !test.taken) << "acknowledged only when taken";
    }
}

// Feeds `stream` and returns the records it completes.
std::vector<sim::ReceivedRecord> ReadRecords(const sim::RecordFormat& format,
                                             const std::string& stream,
                                             std::size_t* skipped = nullptr) {
    sim::RecordReader reader(format);
    std::vector<sim::ReceivedRecord> records;
    for (char ch : stream) {
        if (auto record = reader.Feed(static_cast<std::uint8_t>(ch))) {
            records.push_back(std::move(*record));
        }
    }
    if (skipped != nullptr) {
        *skipped = reader.skipped_bytes();
    }
    return records;
}

// A unit whose update was cut waits in its boot loader: it answers no query, takes the record
// stream the tool sends anyway after the entry command goes unanswered, and a power cycle in
// the middle of a record leaves it waiting for a new stream, not for the rest of that record.
TEST(SimulatedBootLoader, AUnitLeftInItsBootLoaderTakesTheNextStreamWhole) {
    for (const auto& unit : kUnits) {
        SCOPED_TRACE(unit.name);
        const SimConfig config = DefaultSimConfig(unit.model, unit.family);
        const auto image = testing::FirmwareFor(config, false, 9);
        UnitBench bench(config);
        bench.Identify();
        ASSERT_EQ(bench.family().CheckFile(image.data()), 0);
        sim::McuSimulator& simulator = bench.transport.simulator();
        ASSERT_TRUE(simulator.StartInBootLoader());
        EXPECT_NE(bench.plain().QueryVersion(), kLinkOk) << "a boot loader answers no query";
        const std::vector<std::uint8_t> half_record(unit.block_size / 2, 0x55);
        simulator.Receive(half_record, UnitBench::kStartMs);
        simulator.PowerOn();
        EXPECT_TRUE(simulator.programming());

        ASSERT_EQ(bench.family().Program(image.data()), 0) << bench.capture.log();
        const sim::FlashRange range = *ProgrammedRange(unit.family);
        EXPECT_EQ(RangeOf(bench.unit().main_flash().bytes(), range), RangeOf(image, range));
        simulator.PowerOn();
        EXPECT_FALSE(simulator.programming());
        EXPECT_EQ(bench.plain().QueryVersion(), kLinkOk) << "its application answers again";
    }
}

TEST(SimulatedBootLoader, RecordReaderFindsRecordsAfterNoiseAndNeedsTheWholeEndRecord) {
    const auto stm8 = *sim::BootLoaderRecordFormat(kAppTypeJ5, kMcuTypeStm8);
    const std::string data(128, '\x5A');
    std::size_t skipped = 0;
    // 'x' is no tag; "SS" is no tag either, but its second 'S' may begin one.
    auto records =
        ReadRecords(stm8, "xSS2" + testing::Bytes({0x00, 0x02, 0x7F, 0x80}) + data, &skipped);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_FALSE(records[0].end);
    EXPECT_EQ(records[0].address, 0x27F80u);
    EXPECT_EQ(records[0].data, std::vector<std::uint8_t>(data.begin(), data.end()));
    EXPECT_EQ(skipped, 2u);

    // The M3 boot loader of J5 units reads 261 end-record bytes, that of R3360 units 260.
    for (const auto model : {kAppTypeR3360, kAppTypeJ5}) {
        const auto m3 = *sim::BootLoaderRecordFormat(model, kMcuTypeM3);
        const std::string end = "E" + std::string(259, '\0');
        EXPECT_EQ(ReadRecords(m3, end).size(), model == kAppTypeR3360 ? 1u : 0u);
        EXPECT_EQ(ReadRecords(m3, end + '\0').size(), 1u);
    }
}

}  // namespace
}  // namespace velkor
