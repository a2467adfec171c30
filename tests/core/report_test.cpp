#include "report/report.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"
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

TEST(Report, TextFromTheUnitReachesAPlainSinkAsLatin1Text) {
    testing::CaptureSink capture;
    capture.report.AppendForeign(std::string("V1\x1B\x9B\xE9\r\n", 7));
    capture.report.AppendForeign("!", LogKind::kError);
    EXPECT_EQ(capture.log(), "V1\x1B\xC2\x9B\xC3\xA9\r\n!") << "a window shows it as it came";
}

TEST(EscapeControls, ShowsControlCharactersAsEscapesAndPrintableTextAsItIs) {
    struct Case {
        std::string text;
        std::string shown;
    };
    const Case cases[] = {
        {"J5M3A-H8--N8N_V_3.10", "J5M3A-H8--N8N_V_3.10"},
        {"\x1B]0;x\x07\x1B[2J", "\\x1b]0;x\\x07\\x1b[2J"},
        {"a\r\nUpdate complete", "a\\r\\nUpdate complete"},
        {"tab\there", "tab\\there"},
        {std::string("nul\0", 4), "nul\\x00"},
        {"del\x7F", "del\\x7f"},
        {"back\\slash", "back\\\\slash"},
        // C1 controls, which a terminal may take as CSI and the like, as the unit's byte value
        {Latin1ToUtf8("\x80\x9B\x9F"), "\\x80\\x9b\\x9f"},
        // Latin-1 letters and signs print: they stay
        {Latin1ToUtf8("\xA0\xB0\xE9\xFF"), "\xC2\xA0\xC2\xB0\xC3\xA9\xC3\xBF"},
        {"\xE2\x82\xAC", "\xE2\x82\xAC"},  // the euro sign, beyond Latin-1
        // bidirectional and format characters, which would show another name than there is
        {"usb-\xE2\x80\xAEgol.A", "usb-\\u202egol.A"},
        {"\xE2\x81\xA6x\xE2\x81\xA9\xE2\x80\x8F\xEF\xBB\xBF", "\\u2066x\\u2069\\u200f\\ufeff"},
        // bytes that are no UTF-8 (a process name, say) as their values
        {"\x9B[2J", "\\x9b[2J"},
        {"\xC3", "\\xc3"},
        {"\xC0\xAF", "\\xc0\\xaf"},           // an overlong '/'
        {"\xED\xA0\x80", "\\xed\\xa0\\x80"},  // a surrogate
        {"", ""},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.shown);
        EXPECT_EQ(EscapeControls(test.text), test.shown);
    }
}

}  // namespace
}  // namespace velkor
