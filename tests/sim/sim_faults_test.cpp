// Every fault of the simulated MCU, seen through the link objects on virtual time.
#include <gtest/gtest.h>

#include <string>

#include "sim/mcu_simulator.h"
#include "sim/sim_config.h"
#include "support/link_bench.h"
#include "support/sim_bench.h"

namespace velkor {
namespace {

using sim::DefaultSimConfig;
using sim::SimConfig;
using testing::Bytes;
using testing::kModels;
using testing::ModelCase;
using testing::SimBench;

const std::string kVersionHeading = "======== MCU Version ========\r\n";
const std::string kInformationHeading = "======== MCU Information ========\r\n";
const std::string kNoResponse = "MCU no respone\r\n";

SimConfig WithFaults(const ModelCase& model, void (*set)(sim::SimFaults&)) {
    SimConfig config = DefaultSimConfig(model.model);
    set(config.faults);
    return config;
}

TEST(SilentFault, VersionQueryLogsNoResponseAfterTwoSecondsAndInformationOnlyThat) {
    for (const auto& model : kModels) {
        SCOPED_TRACE(model.name);
        SimBench bench(WithFaults(model, [](sim::SimFaults& f) { f.silent = true; }));
        EXPECT_EQ(bench.link->QueryVersion(), 1);
        EXPECT_EQ(bench.capture.log(), kVersionHeading + kNoResponse);
        // The 10 ms pause after the command, then the 2000 ms idle time-out.
        EXPECT_GE(bench.Elapsed(), 2010u);
        EXPECT_LE(bench.Elapsed(), 2015u);

        bench.capture.Clear();
        EXPECT_EQ(bench.link->QueryInformation(), 1);
        EXPECT_EQ(bench.capture.log(), kNoResponse);
        EXPECT_EQ(bench.link->QueryChecksum(), 1);
    }
}

TEST(FaultTimes, UnitAnswersOnceTheFaultsAreUsedUp) {
    for (const auto& model : kModels) {
        SCOPED_TRACE(model.name);
        SimBench bench(WithFaults(model, [](sim::SimFaults& f) {
            f.silent = true;
            f.scope = sim::kScopeVersion;
            f.fault_times = 2;
        }));
        EXPECT_EQ(bench.link->QueryChecksum(), 0) << "out of scope: answered, not counted";
        EXPECT_EQ(bench.link->QueryVersion(), 1);
        EXPECT_EQ(bench.link->QueryVersion(), 1);
        EXPECT_EQ(bench.link->QueryVersion(), 0);
        EXPECT_EQ(bench.link->QueryVersion(), 0);
    }
}

TEST(NoAckFault, FailsOnlyTheQueriesInItsScope) {
    struct Case {
        unsigned scope;
        int version, checksum, information;
    };
    const Case cases[] = {
        {sim::kScopeAllQueries, 1, 1, 1},
        {sim::kScopeChecksum, 0, 1, 0},
    };
    for (const auto& model : kModels) {
        for (const auto& test : cases) {
            SCOPED_TRACE(std::string(model.name) + " scope " + std::to_string(test.scope));
            SimConfig config = DefaultSimConfig(model.model);
            config.faults.no_ack = true;
            config.faults.scope = test.scope;
            SimBench bench(std::move(config));
            EXPECT_EQ(bench.link->QueryVersion(), test.version);
            EXPECT_EQ(bench.link->QueryChecksum(), test.checksum);
            EXPECT_EQ(bench.link->QueryInformation(), test.information);
        }
    }
}

TEST(NoiseFault, UnrelatedBytesBeforeTheAckAreSkippedButAFalseStartHidesIt) {
    struct Case {
        const char* name;
        AppType model;
        std::string noise;
        int result;
    };
    const Case cases[] = {
        {"text", kAppTypeR3360, "garbage" + Bytes({0x00, 0xFF}) + "\r\n", 0},
        // "@@\r\n": the second at sign resets the matcher without being looked at again.
        {"an at sign", kAppTypeR3360, "@", 1},
        {"an ack of another command", kAppTypeJ5, Bytes({0xFF, 0x55, 0x7B, 0x01}), 0},
        // FF FF 55 ...: the second FF is not taken as a new start.
        {"a start byte", kAppTypeJ5, Bytes({0xFF}), 1},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        SimConfig config = DefaultSimConfig(test.model);
        config.faults.noise = test.noise;
        const std::string version = config.version_text;
        SimBench bench(std::move(config));
        EXPECT_EQ(bench.link->QueryVersion(), test.result);
        if (test.result == 0) {
            EXPECT_EQ(bench.replies().VersionText(), version);
            EXPECT_EQ(bench.link->QueryChecksum(), 0);
            EXPECT_EQ(bench.replies().checksum, 0x03FC0000u);
        }
    }
}

TEST(CutReplyFault, VersionAndChecksumTimeOutWhileInformationIsTakenShort) {
    for (const auto& model : kModels) {
        SCOPED_TRACE(model.name);
        SimConfig config = DefaultSimConfig(model.model);
        config.version_text = "ABCDEFGH";
        config.information_text = "0123456789";
        // Of the version reply, ASCII keeps "$VABC", framed FF AA A8 08 A: the text has begun.
        config.faults.cut_reply_after = 5;
        SimBench bench(std::move(config));

        const std::uint32_t before = bench.Elapsed();
        EXPECT_EQ(bench.link->QueryVersion(), 1);
        const std::string partial = model.model == kAppTypeJ5 ? "A" : "ABC";
        EXPECT_EQ(bench.capture.log(), kVersionHeading + partial + "\r\n");
        EXPECT_GE(bench.Elapsed() - before, 1000u);  // the reader waited out its idle time

        EXPECT_EQ(bench.link->QueryChecksum(), 1);
        EXPECT_EQ(bench.link->QueryInformation(), 0);
        EXPECT_EQ(bench.replies().InformationText(), "01234");
    }
}

TEST(TrickleFault, AReplyOneByteASecondIsCutOffFiveSecondsAfterItsIdleTime) {
    for (const auto& model : kModels) {
        SCOPED_TRACE(model.name);
        SimBench bench(WithFaults(model, [](sim::SimFaults& f) { f.trickle_ms = 1000; }));
        EXPECT_EQ(bench.link->QueryVersion(), 1);
        // Acknowledged 10 ms in; the reader starts then and gives up once 1000 + 5000 ms
        // have passed, every byte having come within the idle time.
        EXPECT_GE(bench.Elapsed(), 10u + 6000u);
        EXPECT_LE(bench.Elapsed(), 10u + 6000u + 3u);
        // Six bytes came by then: '$' 'V' and four characters, or the frame's four head bytes
        // and two characters.
        EXPECT_EQ(bench.replies().VersionText(), model.model == kAppTypeJ5 ? "J5" : "R336");
    }
}

TEST(PacedLine, InformationAtLowBaudRatesStopsAfterTwoSecondsInAll) {
    struct Case {
        std::uint32_t baud;
        std::size_t min_stored, max_stored;
    };
    // 1023 bytes take 1.07 s at 9600 baud; at 1200 baud (8.3 ms a byte) only about 240 fit
    // into the two seconds the collection lasts.
    const Case cases[] = {{9600, 1023, 1023}, {1200, 236, 242}};
    for (const auto& model : kModels) {
        for (const auto& test : cases) {
            SCOPED_TRACE(std::string(model.name) + " at " + std::to_string(test.baud));
            SimConfig config = DefaultSimConfig(model.model);
            config.information_text.assign(1100, 'i');
            config.faults.pace_baud = test.baud;
            SimBench bench(std::move(config));
            EXPECT_EQ(bench.link->QueryInformation(), 0);
            const std::size_t stored = bench.replies().InformationText().size();
            EXPECT_GE(stored, test.min_stored);
            EXPECT_LE(stored, test.max_stored);
        }
    }
}

TEST(DroppedLine, ReadsFailSoonAfterTheLastByteAllowed) {
    for (const auto& model : kModels) {
        SCOPED_TRACE(model.name);
        SimConfig config = DefaultSimConfig(model.model);
        config.version_text = "XYZ";
        // The acknowledgement and the first four bytes of the version reply.
        const std::size_t ack = model.model == kAppTypeJ5 ? 4 : 3;
        config.faults.drop_after_bytes = ack + 4;
        SimBench bench(std::move(config));

        EXPECT_EQ(bench.link->QueryVersion(), model.read_failure);
        EXPECT_LT(bench.Elapsed(), 100u) << "a dropped line ends the wait at once";
        const std::string partial = model.model == kAppTypeJ5 ? "" : "XY";
        EXPECT_EQ(bench.capture.log(), kVersionHeading + partial + "\r\n");

        bench.capture.Clear();
        EXPECT_EQ(bench.link->QueryInformation(), model.read_failure);
        EXPECT_EQ(bench.capture.log(), kNoResponse);
    }
}

TEST(DroppedLine, ADroppedMcuTakesAndAnswersNothingMore) {
    for (const auto& model : kModels) {
        SCOPED_TRACE(model.name);
        SimConfig config = DefaultSimConfig(model.model);
        config.faults.drop_at_ms = 100;
        sim::McuSimulator simulator(std::move(config), 7000);
        const std::string query = model.model == kAppTypeJ5
                                      ? Bytes({0xFF, 0xAA, 0x50, 0x01, 0x5C, 0x0D})
                                      : std::string("$R\r\n");
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(query.data());
        EXPECT_EQ(simulator.DropTimeMs(), 7100u);
        EXPECT_FALSE(simulator.Receive({bytes, query.size()}, 7099).empty());
        EXPECT_TRUE(simulator.Receive({bytes, query.size()}, 7100).empty());
    }
}

}  // namespace
}  // namespace velkor
