// Program of the six families: entry, record stream, status echo, progress, end record, and
// how a run breaks off.
#include <gtest/gtest.h>

#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "support/link_bench.h"
#include "support/procedure_bench.h"

namespace velkor {
namespace {

using testing::BootLoaderStub;
using testing::Bytes;
using testing::Family;
using testing::NameOf;
using testing::ProcedureBench;

const std::string kUpdateStart = "======== UPDATE ========\r\nUpdate Start:\r\n";
const std::string kFrameMain = Bytes({0xFF, 0xAA, 0x7A, 0x03, 0xAA, 0xC0, 0x02, 0x11});
const std::string kFrameSlave = Bytes({0xFF, 0xAA, 0x7A, 0x03, 0xAA, 0xC0, 0x03, 0x10});
const std::string kM3First = Bytes({0x53, 0, 0, 0, 0});
const std::string kM3Last = Bytes({0x53, 0x00, 0x01, 0xFF, 0x00});
const std::string kNecFirst = Bytes({0x53, 0, 0, 0});
const std::string kNecLast = Bytes({0x53, 0x01, 0xFF, 0x00});
const std::string kStm8First = Bytes({0x53, 0x32, 0x00, 0x00, 0x80, 0x00});
const std::string kStm8Last = Bytes({0x53, 0x32, 0x00, 0x02, 0x7F, 0x80});
const std::string kStm8End = Bytes({0x53, 0x39, 0x00, 0x02, 0x7F, 0x80});

struct ProgramCase {
    Family family;
    std::string main_entry, slave_entry;
    std::size_t block_size, records;
    std::string first_header, last_header;
    std::size_t end_length;
    std::string end_start;  // zeros follow
    std::size_t range_first;
    std::uint32_t start_pause_ms;
};

// clang-format off
const ProgramCase kCases[] = {
    {Family::kM3Ascii, "$wIAP\r\n", "$wIAS\r\n", 256, 512, kM3First, kM3Last, 260, "E", 0, 500},
    {Family::kNecAscii, "$wIAP\r\n", "$wIAS\r\n", 256, 512, kNecFirst, kNecLast, 260, "E", 0, 500},
    {Family::kStm8Ascii, "$wIAP\r\n", "$wIAS\r\n", 128, 1024, kStm8First, kStm8Last, 134, kStm8End,
     0x8000, 500},
    {Family::kM3Frame, kFrameMain, kFrameSlave, 256, 512, kM3First, kM3Last, 261, "E", 0, 2000},
    {Family::kNecFrame, kFrameMain, kFrameSlave, 256, 512, kNecFirst, kNecLast, 260, "E", 0, 500},
    {Family::kStm8Frame, kFrameMain, kFrameSlave, 128, 1024, kStm8First, kStm8Last, 134, kStm8End,
     0x8000, 500},
};
// clang-format on

// The entry command goes one byte per write in the ASCII dialect, as one frame otherwise.
std::size_t EntryWrites(const ProgramCase& test) {
    return testing::IsFramed(test.family) ? 1 : 7;
}

BootLoaderStub StubFor(const ProgramCase& test) {
    BootLoaderStub stub;
    stub.block_size = test.block_size;
    return stub;
}

TEST(ProcedureProgram, EveryFamilySendsItsCheckedRangeInItsRecordsForBothTargets) {
    std::vector<int> every_percent(101);
    std::iota(every_percent.begin(), every_percent.end(), 0);
    for (const auto& test : kCases) {
        for (const bool slave : {false, true}) {
            SCOPED_TRACE(std::string(NameOf(test.family)) + (slave ? " slave" : " main"));
            ProcedureBench bench;
            std::uint32_t seed = 12345;  // bytes that differ from block to block
            for (auto& byte : bench.image) {
                seed = seed * 1103515245u + 12345u;
                byte = static_cast<std::uint8_t>(seed >> 16);
            }
            for (std::size_t marker : {0x2000, 0x8100}) {
                bench.image[marker] = '$';
            }
            bench.image[0x1F60F] = 'V';
            bench.image[0x2002] = '3';  // for NEC a file of the unit's generation
            bench.SetReplies("3.00", "");
            bench.state.slave = slave;
            ASSERT_EQ(bench.Link(test.family).CheckFile(bench.image.data()), 0);
            BootLoaderStub stub = StubFor(test);
            bench.Attach(stub);

            ASSERT_EQ(bench.Link(test.family).Program(bench.image.data()), 0);

            const auto writes = bench.Writes();
            const std::size_t first = EntryWrites(test);
            ASSERT_EQ(writes.size(), first + 2 * test.records + 1);
            std::string entry, data;
            for (std::size_t i = 0; i < first; ++i) {
                entry += writes[i];
            }
            EXPECT_EQ(entry, slave ? test.slave_entry : test.main_entry);
            for (std::size_t record = 0; record < test.records; ++record) {
                ASSERT_EQ(writes[first + 2 * record].size(), test.first_header.size());
                ASSERT_EQ(writes[first + 2 * record + 1].size(), test.block_size);
                data += writes[first + 2 * record + 1];
            }
            EXPECT_EQ(writes[first], test.first_header);
            EXPECT_EQ(writes[first + 2 * test.records - 2], test.last_header);
            const auto range = bench.image.begin() + static_cast<std::ptrdiff_t>(test.range_first);
            EXPECT_EQ(data, std::string(range, range + static_cast<std::ptrdiff_t>(data.size())));
            if (!slave) {
                EXPECT_EQ(bench.state.file_checksum,
                          std::accumulate(
                              data.begin(), data.end(), 0u,
                              [](std::uint32_t sum, unsigned char byte) { return sum + byte; }));
            }
            const std::string& end = writes.back();
            EXPECT_EQ(end.size(), test.end_length);
            EXPECT_EQ(end.substr(0, test.end_start.size()), test.end_start);
            EXPECT_EQ(end.find_first_not_of('\0', test.end_start.size()), std::string::npos);

            EXPECT_EQ(bench.port.purges().size(), test.records + 2);  // one before each record
            EXPECT_EQ(bench.capture.progress(), every_percent);
            // A lone '.' per record shows for records 1, 11, 21, ...
            const std::string echo((test.records - 1) / 10 + 1, '.');
            EXPECT_EQ(bench.capture.log().substr(bench.capture.log().find(kUpdateStart)),
                      kUpdateStart + echo);
        }
    }
}

TEST(ProcedureProgram, WithoutEntryAcknowledgementWaitsTwoSecondsMoreAndSendsAnyway) {
    for (const auto& test : kCases) {
        for (const bool ack : {true, false}) {
            SCOPED_TRACE(std::string(NameOf(test.family)) + (ack ? " acknowledged" : " silent"));
            ProcedureBench bench;
            BootLoaderStub stub = StubFor(test);
            stub.ack_entry = ack;
            bench.Attach(stub);
            ASSERT_EQ(bench.Link(test.family).Program(bench.image.data()), 0);
            const auto writes = bench.port.writes();
            const std::uint32_t entry_at = writes[EntryWrites(test) - 1].at_ms;
            // Acknowledged after 1 ms; else the wait ends at the first poll past 1000 ms.
            const std::uint32_t wait = ack ? 1 : 1002 + 2000;
            EXPECT_EQ(writes[EntryWrites(test)].at_ms - entry_at, wait + test.start_pause_ms);
        }
    }
}

TEST(ProcedureProgram, StatusEchoShowsChangesAndEveryTenthRepeatAcrossRecords) {
    struct Case {
        std::string status;  // the answer to every record
        std::string echo_per_record;
    };
    const Case cases[] = {
        {"###.", "#."}, {std::string(25, '#') + ".", "###."},  // the 1st, 11th and 21st of the run
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.status);
        ProcedureBench bench;
        BootLoaderStub stub;
        stub.status = test.status;
        bench.Attach(stub);
        ASSERT_EQ(bench.links.m3_ascii.Program(bench.image.data()), 0);
        std::string echo;
        for (int record = 0; record < 512; ++record) {
            echo += test.echo_per_record;
        }
        EXPECT_EQ(bench.capture.log(), kUpdateStart + echo);
    }
}

TEST(ProcedureProgram, RecordWithoutStatusEndsTheRunAfterTenSecondsWithNothingMoreSent) {
    for (const auto& test : kCases) {
        for (const std::size_t answered : {0u, 5u}) {
            SCOPED_TRACE(std::string(NameOf(test.family)) + " after " + std::to_string(answered));
            ProcedureBench bench;
            BootLoaderStub stub = StubFor(test);
            stub.answered_records = answered;
            bench.Attach(stub);
            EXPECT_EQ(bench.Link(test.family).Program(bench.image.data()), -1);
            const auto writes = bench.port.writes();
            ASSERT_EQ(writes.size(), EntryWrites(test) + 2 * (answered + 1));
            EXPECT_EQ(writes.back().bytes.size(), test.block_size);  // no end record
            EXPECT_EQ(bench.clock.NowMs() - writes.back().at_ms, 10002u);
            EXPECT_NE(bench.capture.progress().back(), 100);
        }
    }
}

TEST(ProcedureProgram, StatusThatNeverEndsInADotEndsTheRun) {
    struct Case {
        std::vector<std::uint32_t> hash_after_ms;  // '#' this long after the record
        std::uint32_t ends_after_ms;
        std::string echo;
    };
    std::vector<std::uint32_t> every_second;
    for (std::uint32_t at = 1000; at <= 70000; at += 1000) {
        every_second.push_back(at);
    }
    const Case cases[] = {
        {{1, 2, 3}, 3 + 10002, "#"},
        // never quiet 10 s: cut off at the first byte past 60 s; one '#' in ten is shown
        {every_second, 61000, "#######"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.hash_after_ms.size());
        ProcedureBench bench;
        BootLoaderStub stub;
        stub.answered_records = 0;
        stub.after_record = [&](FakeSerialPort& port, std::size_t) {
            for (std::uint32_t after : test.hash_after_ms) {
                port.ArriveAfter(after, std::string_view("#"));
            }
        };
        bench.Attach(stub);
        EXPECT_EQ(bench.links.m3_ascii.Program(bench.image.data()), -1);
        const auto writes = bench.port.writes();
        EXPECT_EQ(writes.size(), 7 + 2u);
        EXPECT_EQ(bench.clock.NowMs() - writes.back().at_ms, test.ends_after_ms);
        EXPECT_EQ(bench.capture.log(), kUpdateStart + test.echo);
    }
}

TEST(ProcedureProgram, PortFailureEndsTheRunAtOnceWithoutEndRecord) {
    struct Case {
        const char* name;
        std::size_t fail_after_record;
        bool reads;  // else writes
    };
    const Case cases[] = {
        {"read fails while a status is awaited", 4, true},
        {"write of the next record fails", 4, false},
        {"write of the end record fails", 512, false},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        ProcedureBench bench;
        BootLoaderStub stub;
        stub.after_record = [&](FakeSerialPort& port, std::size_t record) {
            if (record == test.fail_after_record) {
                (test.reads ? port.faults().read : port.faults().write) = true;
            }
        };
        bench.Attach(stub);
        EXPECT_EQ(bench.links.m3_ascii.Program(bench.image.data()), -1);
        const auto writes = bench.port.writes();
        EXPECT_EQ(writes.size(), 7 + 2 * test.fail_after_record);
        EXPECT_LE(bench.clock.NowMs() - writes.back().at_ms, 2u);  // no status wait runs out
    }
}

// A stop that comes while nothing is awaited (the '.' of a record has just been read) ends the
// stream before the next record, and before the end record after the last one.
TEST(ProcedureProgram, StopBetweenRecordsSendsNothingMore) {
    // Stops the link when the status echo shows the '.' of record `stop_after`.
    class StopAtDot final : public ReportSink {
      public:
        StopAtDot(LinkContext& context, std::size_t stop_after)
            : context_(context), stop_after_(stop_after) {}
        void AppendText(std::string_view /*text*/) override {}
        void AppendForeign(std::string_view text, std::optional<LogKind> /*kind*/) override {
            if (text == "." && ++dots_ == stop_after_) {
                context_.RequestStop();
            }
        }
        void ResetProgress(int /*maximum*/) override {}
        void SetProgress(int /*position*/) override {}

      private:
        LinkContext& context_;
        std::size_t stop_after_;
        std::size_t dots_ = 0;
    };
    for (const std::size_t stop_after : {4u, 512u}) {
        SCOPED_TRACE(stop_after);
        ProcedureBench bench;
        BootLoaderStub stub;
        stub.status = "#.";  // each character differs from the last: every one is shown
        bench.Attach(stub);
        StopAtDot stopper(bench.context, stop_after);
        bench.capture.report.SetSink(&stopper);
        EXPECT_EQ(bench.links.m3_ascii.Program(bench.image.data()), -1);
        const auto writes = bench.port.writes();
        ASSERT_EQ(writes.size(), 7 + 2 * stop_after);
        EXPECT_EQ(writes.back().bytes.size(), 256u) << "no end record";
    }
}

TEST(ProcedureProgram, NoImageLoadedSendsNothing) {
    for (Family family : testing::kAllFamilies) {
        ProcedureBench bench;
        EXPECT_EQ(bench.Link(family).Program(nullptr), -1) << NameOf(family);
        EXPECT_TRUE(bench.port.writes().empty());
    }
}

TEST(ProcedureFamilyLinks, SelectsByModelAndMcuTypeAndNothingOutOfRange) {
    ProcedureBench bench;
    FamilyLinks& links = bench.links;
    EXPECT_EQ(links.Select(1, 1), &links.stm8_ascii);
    EXPECT_EQ(links.Select(1, 2), &links.nec_ascii);
    EXPECT_EQ(links.Select(1, 3), &links.m3_ascii);
    EXPECT_EQ(links.Select(2, 1), &links.stm8_frame);
    EXPECT_EQ(links.Select(2, 2), &links.nec_frame);
    EXPECT_EQ(links.Select(2, 3), &links.m3_frame);
    EXPECT_EQ(links.Plain(1), &links.ascii);
    EXPECT_EQ(links.Plain(2), &links.frame);
    EXPECT_EQ(links.Plain(0), nullptr);
    EXPECT_EQ(links.Plain(3), nullptr);
    for (const auto& [app, mcu] : {std::pair{0, 1}, {3, 1}, {-1, 2}, {1, 0}, {2, 4}, {2, -1}}) {
        EXPECT_EQ(links.Select(app, mcu), nullptr) << app << "/" << mcu;
    }
}

}  // namespace
}  // namespace velkor
