#include "report/report.h"

#include <gtest/gtest.h>

#include <string>

#include "support/capture_sink.h"

namespace velkor {
namespace {

TEST(LogPrintf, FormatsAndAppends) {
    testing::ScopedCapture capture;
    LogPrintf("******** Update Tool V%s ********\r\n", "2.3");
    LogPrintf("%08X", 0x12AB);
    EXPECT_EQ(capture.log(), "******** Update Tool V2.3 ********\r\n000012AB");
}

TEST(LogPrintf, CutsOverlongTextAtTheBuffer) {
    testing::ScopedCapture capture;
    const std::string long_text(5000, 'x');
    LogPrintf("%s\r\n", long_text.c_str());
    EXPECT_EQ(capture.log(), std::string(kLogPrintfBufferSize - 1, 'x'));
}

TEST(LogPrintf, TreatsEveryByteAsLatin1) {
    testing::ScopedCapture capture;
    LogPrintf("%c%c%c", 'A', 0xE9, 0xFF);
    EXPECT_EQ(capture.log(), "A\xC3\xA9\xC3\xBF");
}

TEST(Report, WithoutSinkNothingHappens) {
    ReportSink* previous = InstallReportSink(nullptr);
    AppendLog("dropped");
    ProgressReset(100);
    ProgressSet(5);
    InstallReportSink(previous);
}

TEST(Report, ScopedSinkRestoresThePrevious) {
    testing::ScopedCapture outer;
    {
        testing::CaptureSink inner;
        ScopedReportSink scope(inner);
        AppendLog("inner");
        ProgressReset(100);
        ProgressSet(42);
        EXPECT_EQ(inner.log(), "inner");
        EXPECT_EQ(inner.progress(), (std::vector<int>{0, 42}));
    }
    AppendLog("outer");
    EXPECT_EQ(outer.log(), "outer");
}

}  // namespace
}  // namespace velkor
