#include "report/report.h"

#include <gtest/gtest.h>

#include <string>

#include "support/capture_sink.h"

namespace velkor {
namespace {

TEST(LogPrintf, FormatsAndAppends) {
    testing::CaptureSink capture;
    capture.report.LogPrintf("******** Update Tool V%s ********\r\n", "2.3");
    capture.report.LogPrintf("%08X", 0x12AB);
    EXPECT_EQ(capture.log(), "******** Update Tool V2.3 ********\r\n000012AB");
}

TEST(LogPrintf, CutsOverlongTextAtTheBuffer) {
    testing::CaptureSink capture;
    const std::string long_text(5000, 'x');
    capture.report.LogPrintf("%s\r\n", long_text.c_str());
    EXPECT_EQ(capture.log(), std::string(kLogPrintfBufferSize - 1, 'x'));
}

TEST(LogPrintf, TreatsEveryByteAsLatin1) {
    testing::CaptureSink capture;
    capture.report.LogPrintf("%c%c%c", 'A', 0xE9, 0xFF);
    EXPECT_EQ(capture.log(), "A\xC3\xA9\xC3\xBF");
}

TEST(Report, WithoutSinkNothingHappens) {
    Report report;
    report.AppendLog("dropped");
    report.ProgressReset(100);
    report.ProgressSet(5);
}

TEST(Report, EachReportWritesToItsOwnSink) {
    testing::CaptureSink first;
    testing::CaptureSink second;
    first.report.AppendLog("first");
    second.report.ProgressReset(100);
    second.report.ProgressSet(42);
    EXPECT_EQ(first.log(), "first");
    EXPECT_EQ(first.progress(), std::vector<int>{});
    EXPECT_EQ(second.log(), "");
    EXPECT_EQ(second.progress(), (std::vector<int>{0, 42}));
    // A sink put in front of another is taken out again.
    EXPECT_EQ(first.report.SetSink(&second), &first);
    first.report.AppendLog(" to the second");
    EXPECT_EQ(first.report.SetSink(&first), &second);
    EXPECT_EQ(second.log(), " to the second");
}

}  // namespace
}  // namespace velkor
