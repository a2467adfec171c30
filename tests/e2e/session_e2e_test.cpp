// Two update sessions in one process, each on its own thread with its own port and simulated
// unit: nothing one logs, reads or shows reaches the other.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>

#include "e2e/e2e_programs.h"
#include "platform/clock.h"
#include "platform/posix_serial_port.h"
#include "runs/config_run.h"
#include "runs/update_run.h"
#include "support/capture_sink.h"
#include "support/temp_dir.h"

namespace velkor {
namespace {

using testing::kSimProgram;
using testing::ProgramRun;
using testing::RunToEnd;
using testing::Simulator;

struct Unit {
    const char* model;
    const char* family;
    AppType app;
    McuType mcu;
    const char* seed;
    const char* model_line;
};

struct SessionRun {
    int config_exit = -1;
    std::string options;
    int update_exit = -1;
    std::string log;
};

SessionRun RunBoth(const std::string& device, const Unit& unit, const std::string& file) {
    SessionRun run;
    RealClock clock;
    PosixSerialPort port;
    testing::CaptureSink capture;
    std::ostringstream shown;
    run.config_exit = RunConfig(port, clock, {{device, unit.app, unit.mcu}}, shown, capture);
    run.options = shown.str();
    run.update_exit =
        RunUpdate(port, clock, {{device, unit.app, unit.mcu}, false, false, file}, capture);
    run.log = capture.log();
    return run;
}

TEST(TwoSessions, RunSideBySideWithoutMixing) {
    const Unit units[2] = {{"j5", "m3", kAppTypeJ5, kMcuTypeM3, "3", "\r\nJ5\r\n"},
                           {"r3360", "nec", kAppTypeR3360, kMcuTypeNec, "4", "\r\nR3360\r\n"}};
    testing::TempDir dir;
    std::string files[2], checksums[2];
    for (int i = 0; i < 2; ++i) {
        files[i] = (dir.path() / units[i].family).string();
        const ProgramRun made =
            RunToEnd({kSimProgram, "firmware", "--model", units[i].model, "--family",
                      units[i].family, "--seed", units[i].seed, "-o", files[i]});
        ASSERT_EQ(made.status, 0) << made.err;
        checksums[i] = made.out.substr(0, 8);
    }
    Simulator first({"--model", units[0].model, "--family", units[0].family});
    Simulator second({"--model", units[1].model, "--family", units[1].family});
    ASSERT_FALSE(first.device().empty() || second.device().empty());

    SessionRun runs[2];
    std::thread other([&] { runs[1] = RunBoth(second.device(), units[1], files[1]); });
    runs[0] = RunBoth(first.device(), units[0], files[0]);
    other.join();

    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(units[i].model);
        const Unit& own = units[i];
        const Unit& theirs = units[1 - i];
        EXPECT_EQ(runs[i].config_exit, 0) << runs[i].log;
        EXPECT_EQ(runs[i].update_exit, 0) << runs[i].log;
        EXPECT_NE(runs[i].log.find(own.model_line), std::string::npos);
        EXPECT_EQ(runs[i].log.find(theirs.model_line), std::string::npos) << runs[i].log;
        EXPECT_NE(runs[i].log.find("File Checksum: " + checksums[i]), std::string::npos);
        EXPECT_EQ(runs[i].log.find(checksums[1 - i]), std::string::npos) << runs[i].log;
    }
    // Each unit shows the options its own family decodes: the two sets differ in their labels.
    EXPECT_NE(runs[0].options.find("TFT: "), std::string::npos) << runs[0].options;
    EXPECT_EQ(runs[1].options.find("TFT: "), std::string::npos) << runs[1].options;
}

}  // namespace
}  // namespace velkor
