// The link objects of both models against the simulated MCU, on virtual time.
#include <gtest/gtest.h>

#include <numeric>
#include <string>

#include "sim/sim_config.h"
#include "support/sim_bench.h"

namespace velkor {
namespace {

using sim::DefaultSimConfig;
using sim::SimConfig;
using testing::kModels;
using testing::SimBench;

const std::string kVersionHeading = "======== MCU Version ========\r\n";
const std::string kInformationHeading = "======== MCU Information ========\r\n";

TEST(SimulatedUnit, AnswersTheQueriesInTheOrderOfTheUpdateSequence) {
    for (const auto& model : kModels) {
        SCOPED_TRACE(model.name);
        SimConfig config = DefaultSimConfig(model.model);
        config.version_text = "V1.23 unit";
        config.information_text = "info\x01\xFE text";
        SimBench bench(std::move(config));
        CMcuLink& link = *bench.link;

        EXPECT_EQ(link.QueryVersion(), 0);
        bench.clock.SleepMs(500);
        EXPECT_EQ(link.QueryChecksum(), 0);
        EXPECT_EQ(link.SendPrelude(), 0);
        bench.clock.SleepMs(100);
        EXPECT_EQ(link.QueryInformation(), 0);

        EXPECT_EQ(bench.replies().VersionText(), "V1.23 unit");
        EXPECT_EQ(bench.replies().checksum, 0x03FC0000u);  // 256 KiB of erased flash
        EXPECT_EQ(bench.replies().InformationText(), "info\x01\xFE text");
        EXPECT_EQ(bench.capture.log(), kVersionHeading + "V1.23 unit\r\n" + kInformationHeading +
                                           "info\x01\xC3\xBE text");
        EXPECT_EQ(bench.port.pending_bytes(), 0u) << "the prelude must not be answered";
    }
}

TEST(SimulatedUnit, ChecksumIsTheByteSumOfTheConfiguredFlashRange) {
    // Distinct values in and around the range, so that an end off by one shows.
    SimConfig base = DefaultSimConfig(kAppTypeR3360);
    for (std::size_t address = 0; address < sim::kFlashSize; ++address) {
        const std::uint8_t value = static_cast<std::uint8_t>(address * 7 + (address >> 9));
        base.main_flash.Write(static_cast<std::uint32_t>(address), {&value, 1});
    }
    base.checksum_range = {0x8000, 0x28000};
    const auto bytes = base.main_flash.bytes();
    const std::uint32_t expected =
        std::accumulate(bytes.begin() + 0x8000, bytes.begin() + 0x28000, std::uint32_t{0});
    for (std::uint32_t shift = expected; shift != 0; shift >>= 8) {
        ASSERT_NE(shift & 0xFF, 0x0Du) << "a CR byte would end the ASCII reply early";
    }
    for (const auto& model : kModels) {
        SCOPED_TRACE(model.name);
        SimConfig config = base;
        config.model = model.model;
        SimBench bench(std::move(config));
        EXPECT_EQ(bench.link->QueryChecksum(), 0);
        EXPECT_EQ(bench.replies().checksum, expected);
    }
}

TEST(SimulatedUnit, KeepsAnsweringAcrossTheTickCounterWrap) {
    for (const auto& model : kModels) {
        SCOPED_TRACE(model.name);
        SimBench bench(DefaultSimConfig(model.model), 0xFFFFFFFFu - 300);
        for (int round = 0; round < 3; ++round) {
            EXPECT_EQ(bench.link->QueryVersion(), 0);
            EXPECT_EQ(bench.link->QueryChecksum(), 0);
            EXPECT_EQ(bench.replies().checksum, 0x03FC0000u);
            bench.clock.SleepMs(200);
        }
        EXPECT_LT(bench.clock.NowMs(), 5000u) << "the run crossed the wrap";
    }
}

}  // namespace
}  // namespace velkor
