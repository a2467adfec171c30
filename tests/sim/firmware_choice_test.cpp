// The file of a folder that the file check confirms for each unit, against simulated units of
// one family that differ in their information texts, as the folder changes.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "runs/firmware_choice.h"
#include "sim/firmware_file.h"
#include "support/temp_dir.h"
#include "support/unit_bench.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using sim::SimConfig;
using testing::UnitBench;

SimConfig UnitWithIdentity(const std::string& identity) {
    SimConfig config = sim::DefaultSimConfig(kAppTypeR3360, kMcuTypeM3);
    config.information_text = "R3360 MCU " + identity + "\r\n";
    return config;
}

// A unit after its version and information queries, with its family link selected.
struct IdentifiedUnit {
    IdentifiedUnit(SimConfig config, const fs::path& settings)
        : bench(std::move(config)), session(bench.port, bench.clock, settings, &bench.capture) {
        session.state.app_type = bench.model;
        session.current_link = session.links.Plain(bench.model);
        EXPECT_EQ(session.ReadVersion(), 0);
        EXPECT_EQ(session.ReadInformation(), 0);
        session.SelectFamily(bench.mcu);
        bench.capture.Clear();
    }

    UnitBench bench;
    UpdateSession session;
};

void WriteFile(const fs::path& file, const SimConfig& unit, McuType format = kMcuTypeM3,
               std::uint32_t seed = 7) {
    std::string error;
    EXPECT_TRUE(sim::WriteFirmwareFile(file, format, testing::FirmwareFor(unit, false, seed),
                                       *sim::ProgrammedRange(unit.family), error))
        << error;
}

TEST(FirmwareChoice, EachUnitGetsTheOneFileTheCheckConfirmsForIt) {
    testing::TempDir dir;
    const fs::path fw = dir.path() / "fw";
    fs::create_directories(fw);
    const std::array configs = {UnitWithIdentity("R3M3A01"), UnitWithIdentity("R3M3B02"),
                                UnitWithIdentity("R3M3C03")};
    std::array<std::unique_ptr<IdentifiedUnit>, 3> units;
    for (std::size_t unit = 0; unit < units.size(); ++unit) {
        units[unit] = std::make_unique<IdentifiedUnit>(configs[unit], dir.path() / "settings.ini");
    }
    const auto [a, b, c] = configs;

    // Passed over in silence: the other family's format, a note, a hidden copy under way;
    // said: a file of the format that is cut short.
    WriteFile(fw / "a.hex", a);
    WriteFile(fw / "b.hex", b);
    WriteFile(fw / "c.s19", c, kMcuTypeStm8);
    dir.Write("fw/notes.txt", "c.hex is for R3M3C03\n");
    WriteFile(fw / ".c.hex.partial", c);
    std::string cut = testing::TempDir::Read(fw / "a.hex");
    cut.resize(cut.rfind(":00000001FF"));
    dir.Write("fw/d.hex", cut);

    const std::string shown = fw.string() + "/";
    const std::string cut_short =
        "; " + shown + "d.hex does not end with its end record; it may be cut short";
    const auto none = [&](const std::string& checked) {
        return "no file in " + shown + " is for this unit (checked: " + checked + ")" + cut_short;
    };
    struct Step {
        const char* name;
        std::function<void()> change;
        std::array<std::string, 3> chosen;  // the file's name, or why there is none
    };
    const Step steps[] = {
        {"one file for each of two units", [] {}, {"a.hex", "b.hex", none("a.hex, b.hex")}},
        {"two files fit a unit",
         [&] { WriteFile(fw / "a2.hex", a, kMcuTypeM3, 9); },
         {"2 files in " + shown + " are for this unit: a.hex, a2.hex", "b.hex",
          none("a.hex, a2.hex, b.hex")}},
        {"a file changed on disk is loaded again",
         [&] {
             WriteFile(fw / ".a2.hex.new", c);
             fs::rename(fw / ".a2.hex.new", fw / "a2.hex");
         },
         {"a.hex", "b.hex", "a2.hex"}},
        {"a removed file is no candidate",
         [&] { fs::remove(fw / "b.hex"); },
         {"a.hex", none("a.hex, a2.hex"), "a2.hex"}},
    };

    FirmwareChoice choice(fw.string(), kMcuTypeM3);
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        step.change();
        std::array<std::string, 3> chosen;
        std::vector<std::thread> threads;
        for (std::size_t unit = 0; unit < units.size(); ++unit) {
            ProgrammingState& programming = units[unit]->session.programming;
            programming.check_verdict = FileVerdict::kNoDescription;
            programming.file_checksum = 0x1234;
            programming.file_checksum_valid = true;
            threads.emplace_back([&, unit] {
                std::string why;
                const auto path = choice.Choose(units[unit]->session, why);
                chosen[unit] = path ? fs::path(*path).filename().string() : why;
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
        EXPECT_EQ(chosen, step.chosen);
        for (const auto& unit : units) {
            // The session's log and check state are as they were.
            const ProgrammingState& programming = unit->session.programming;
            EXPECT_EQ(programming.check_verdict, FileVerdict::kNoDescription);
            EXPECT_EQ(programming.file_checksum, 0x1234u);
            EXPECT_TRUE(programming.file_checksum_valid);
            EXPECT_EQ(unit->session.report.SetSink(&unit->bench.capture), &unit->bench.capture);
            EXPECT_EQ(unit->bench.capture.log(), "");
        }
    }
}

}  // namespace
}  // namespace velkor
