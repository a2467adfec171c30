// The slots of a fixture as the station sees them: links in a folder to real
// pseudo-terminals, made, removed and renamed while the watcher looks on, in real time.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "devices/serial_devices.h"
#include "sim/pseudo_terminal.h"
#include "station/slot_watcher.h"
#include "station/unit_probe.h"
#include "support/temp_dir.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kSettleMs = 50;
// Whatever is due has been reported when this passes without a word.
constexpr std::uint32_t kQuietMs = 4 * kSettleMs;

struct Fixture {
    Fixture() { EXPECT_EQ(tty->Open(), 0); }

    void Link(const std::string& name) { Link(name, tty->device_path()); }
    void Link(const std::string& name, const fs::path& target) {
        fs::create_symlink(target, folder / name);
    }

    testing::TempDir dir;
    fs::path folder = dir.path() / "serial" / "by-id";
    std::unique_ptr<sim::PseudoTerminal> tty = std::make_unique<sim::PseudoTerminal>();
};

// "+name" appeared, "-name" gone, in the order reported, until the watcher falls quiet.
std::vector<std::string> Collect(SlotWatcher& watcher, const fs::path& folder) {
    std::vector<std::string> seen;
    for (;;) {
        const auto events = watcher.Wait(kQuietMs);
        if (events.empty()) {
            return seen;
        }
        for (const auto& event : events) {
            EXPECT_EQ(event.path, (folder / event.name).string());
            seen.push_back((event.kind == SlotEvent::Kind::kAppeared ? "+" : "-") + event.name);
        }
    }
}

TEST(SlotWatcher, ReportsLinksToCharacterDevicesOnceSettledAndWhenTheyGo) {
    using Act = std::function<void(Fixture&)>;
    struct Step {
        Act act;
        std::vector<std::string> seen;
    };
    const Act folder = [](Fixture& f) { fs::create_directories(f.folder); };
    const Act nothing = [](Fixture&) {};
    struct Case {
        const char* name;
        Act before_start;
        std::vector<Step> steps;
        std::uint32_t settle_ms = kSettleMs;
    };
    const Case cases[] = {
        {"links present at Start",
         [&](Fixture& f) {
             folder(f);
             f.Link("usb-a");
         },
         {{nothing, {"+usb-a"}}}},
        {"a link appears", folder, {{[](Fixture& f) { f.Link("usb-a"); }, {"+usb-a"}}}},
        // Seen, then gone, within a settle time no test outlasts.
        {"a link comes and goes within the settle time",
         folder,
         {{[](Fixture& f) { f.Link("usb-a"); }, {}},
          {[](Fixture& f) { fs::remove(f.folder / "usb-a"); }, {}}},
         600'000},
        {"a link is removed",
         folder,
         {{[](Fixture& f) { f.Link("usb-a"); }, {"+usb-a"}},
          {[](Fixture& f) { fs::remove(f.folder / "usb-a"); }, {"-usb-a"}}}},
        {"a link is renamed",
         folder,
         {{[](Fixture& f) { f.Link("usb-a"); }, {"+usb-a"}},
          {[](Fixture& f) { fs::rename(f.folder / "usb-a", f.folder / "usb-b"); },
           {"-usb-a", "+usb-b"}}}},
        {"names the pattern does not match",
         folder,
         {{[](Fixture& f) {
               f.Link("pci-a");
               f.Link(".usb-a");
           },
           {}}}},
        {"links to a regular file and to nothing",
         folder,
         {{[](Fixture& f) {
               f.Link("usb-a", f.dir.Write("file", "x"));
               f.Link("usb-b", f.dir.path() / "missing");
           },
           {}}}},
        {"the device goes away under its link",
         folder,
         {{[](Fixture& f) { f.Link("usb-a"); }, {"+usb-a"}},
          {[](Fixture& f) { f.tty.reset(); }, {"-usb-a"}}}},
        {"the folder and its parent are made after Start",
         nothing,
         {{[&](Fixture& f) {
               folder(f);
               f.Link("usb-a");
           },
           {"+usb-a"}}}},
        {"the folder is removed and made again",
         folder,
         {{[](Fixture& f) { f.Link("usb-a"); }, {"+usb-a"}},
          {[](Fixture& f) { fs::remove_all(f.folder); }, {"-usb-a"}},
          {[&](Fixture& f) {
               folder(f);
               f.Link("usb-b");
           },
           {"+usb-b"}}}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        Fixture fixture;
        test.before_start(fixture);
        SlotWatcher watcher(fixture.folder.string(), "usb-*", test.settle_ms);
        std::string error;
        ASSERT_TRUE(watcher.Start(error)) << error;
        for (std::size_t step = 0; step < test.steps.size(); ++step) {
            SCOPED_TRACE("step " + std::to_string(step + 1));
            test.steps[step].act(fixture);
            EXPECT_EQ(Collect(watcher, fixture.folder), test.steps[step].seen);
        }
    }
}

TEST(SlotWatcher, WakeEndsAWaitFromAnotherThread) {
    testing::TempDir dir;
    SlotWatcher watcher(dir.path().string(), "", kSettleMs);
    std::string error;
    ASSERT_TRUE(watcher.Start(error)) << error;
    const auto start = std::chrono::steady_clock::now();
    std::thread waker([&] { watcher.Wake(); });
    EXPECT_TRUE(watcher.Wait(600'000).empty());
    waker.join();
    // Far below the time-out: not a measurement, only that the wait did not run its course.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

// What a station takes as a slot: a serial device with hardware behind it, through a link of
// root's or this user's; a pseudo-terminal only when asked to.
TEST(SlotDevices, OnlySerialDevicesThroughTrustedLinksBecomeSlots) {
    Fixture fixture;
    fs::create_directories(fixture.folder);
    const std::string pty = fs::canonical(fixture.tty->device_path()).string();
    fixture.Link("null", "/dev/null");
    fixture.Link("tty", "/dev/tty");
    fixture.Link("pty");
    fixture.Link("theirs");
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::lchown((fixture.folder / "theirs").c_str(), 65534, 65534), 0);
    }
    struct Row {
        const char* name;
        bool allow_pty;
        std::string refusal;
    };
    const Row rows[] = {
        {"null", true, "/dev/null is not a serial device"},
        {"tty", true, "/dev/tty is not a serial device"},
        {"pty", false, pty + " is a pseudo-terminal (--allow-pty takes simulated units)"},
        {"pty", true, ""},
        {"theirs", true, root ? "the link belongs to neither root nor this user" : ""},
        {"gone", true, "it is gone"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(SlotDeviceRefusal((fixture.folder / row.name).string(), row.allow_pty),
                  row.refusal);
    }
}

// A port that cannot be opened for want of the station's own descriptors is its fault, never
// a unit gone; in a child, whose table of descriptors is then full.
TEST(UnitProbe, ADescriptorShortageIsTheStationsFaultNotAGoneUnit) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizers' own checks need descriptors, which this test takes away";
#endif
    sim::PseudoTerminal tty;
    ASSERT_EQ(tty.Open(), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        rlimit limit{};
        ::getrlimit(RLIMIT_NOFILE, &limit);
        limit.rlim_cur = 64;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        while (::dup(0) >= 0) {
        }
        const ProbeResult probe = ProbeUnit(tty.device_path(), kAppTypeJ5, nullptr);
        ::_exit(probe.presence == Presence::kStationFault && probe.error == EMFILE ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ProbeUnit("/nonexistent/tty", kAppTypeJ5, nullptr).presence, Presence::kNoPort);
}

}  // namespace
}  // namespace velkor
