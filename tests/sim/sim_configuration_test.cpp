// The unit options through the simulated MCU: what a family class writes comes back in the
// version text the unit reports next, and a unit that does not take the command says so.
#include <gtest/gtest.h>

#include <string>

#include "support/link_bench.h"
#include "support/unit_bench.h"

namespace velkor {
namespace {

using sim::DefaultSimConfig;
using sim::SimConfig;
using testing::kUnits;
using testing::UnitBench;

UnitOptions Options(int tft, int dvd, int tv, int audio, int radio, int hbrake, int rds) {
    return {static_cast<std::uint8_t>(tft),   static_cast<std::uint8_t>(dvd),
            static_cast<std::uint8_t>(tv),    static_cast<std::uint8_t>(audio),
            static_cast<std::uint8_t>(radio), static_cast<std::uint8_t>(hbrake),
            static_cast<std::uint8_t>(rds)};
}

// What the unit reports back: the options its version text shows, the others 0. STM8 units
// take ISDBT-IN as ISDBT.
UnitOptions Reported(const testing::UnitCase& unit, UnitOptions written) {
    const bool full = unit.model == kAppTypeJ5 && unit.family != kMcuTypeNec;
    if (unit.family == kMcuTypeStm8 && written[kOptionTv] == 8) {
        written[kOptionTv] = 4;
    }
    UnitOptions reported{};
    for (const UnitOption option : {kOptionTv, kOptionHbrake}) {
        reported[option] = written[option];
    }
    if (full) {
        for (const UnitOption option : {kOptionTft, kOptionDvd, kOptionAudio, kOptionRadio}) {
            reported[option] = written[option];
        }
    }
    return reported;
}

TEST(ConfigurationThroughTheSimulator, WrittenOptionsComeBackInTheVersionText) {
    std::vector<UnitOptions> written;
    for (int tv = 0; tv <= 8; ++tv) {
        written.push_back(Options(5, 2, tv, 1, 3, 1, 1));
    }
    // The codes without a character of their own: the last audio processor, no radio tuner.
    written.push_back(Options(8, 0, 3, 3, 0, 0, 0));
    for (const auto& unit : kUnits) {
        for (const auto& options : written) {
            SCOPED_TRACE(std::string(unit.name) + " TV " + std::to_string(options[kOptionTv]));
            UnitBench bench(DefaultSimConfig(unit.model, unit.family));
            bench.state.unit_options = options;
            ASSERT_EQ(bench.family().WriteConfiguration(), 0);
            ASSERT_EQ(bench.plain().QueryVersion(), 0);
            bench.state.unit_options = {};
            bench.family().DecodeOptions();
            EXPECT_EQ(bench.state.unit_options, Reported(unit, options))
                << bench.unit().version_text();
        }
    }
}

TEST(ConfigurationThroughTheSimulator, UnitThatDoesNotTakeTheCommandFailsTheWrite) {
    struct Case {
        const char* name;
        unsigned fault_scope;
        bool silent, no_ack;
        bool acknowledged;
        bool stored;  // a lost acknowledgement does not undo the change
    };
    const Case cases[] = {
        {"silent", sim::kScopeConfiguration, true, false, false, false},
        {"acknowledgement lost", sim::kScopeConfiguration, false, true, false, true},
        {"faults aimed at the queries only", sim::kScopeAllQueries, true, false, true, true},
    };
    for (const auto model : {kAppTypeR3360, kAppTypeJ5}) {
        for (const auto& test : cases) {
            SCOPED_TRACE(std::string(test.name) + (model == kAppTypeJ5 ? " J5" : " R3360"));
            SimConfig config = DefaultSimConfig(model, kMcuTypeM3);
            config.faults.scope = test.fault_scope;
            config.faults.silent = test.silent;
            config.faults.no_ack = test.no_ack;
            const std::string before = config.version_text;
            UnitBench bench(std::move(config));
            bench.state.unit_options = Options(0, 0, 2, 0, 0, 1, 0);
            const bool acknowledged = test.acknowledged;
            EXPECT_EQ(bench.family().WriteConfiguration() == 0, acknowledged);
            EXPECT_NE(bench.capture.log().find(acknowledged ? "config complete" : "config fail"),
                      std::string::npos);
            EXPECT_EQ(bench.unit().version_text() != before, test.stored);
        }
    }
}

TEST(ConfigurationThroughTheSimulator, FrameOfAnotherFamilyIsNotTaken) {
    // An M3 payload of six option bytes sent to an NEC unit, which takes eight.
    UnitBench bench(DefaultSimConfig(kAppTypeJ5, kMcuTypeNec));
    const std::string before = bench.unit().version_text();
    const std::uint8_t payload[] = {2, 1, 2, 7, 3, 1};
    ASSERT_TRUE(bench.links.frame.SendFrame(0xB0, payload, sizeof payload, true));
    EXPECT_EQ(bench.plain().WaitAck(0xB0, 1000), 1);
    EXPECT_EQ(bench.unit().version_text(), before);
}

}  // namespace
}  // namespace velkor
