// What velkor-flash draws on a terminal, as tables: the progress line for a stream's position,
// and the board of several ports for a terminal's size.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "terminal/progress_line.h"
#include "terminal/status_board.h"

namespace velkor {
namespace {

std::string Bar(std::size_t filled, std::size_t width) {
    return "[" + std::string(filled, '#') + std::string(width - filled, '.') + "]";
}

struct ProgressCase {
    std::optional<StreamProgress> stream;  // none: a progress without figures
    int percent;                           // of a progress without figures
    std::uint64_t elapsed_ms;
    std::size_t columns;
    std::string terminal;
    std::string piped;  // of a stream
};

TEST(ProgressLine, ShowsWhatIsKnownAndFitsTheTerminal) {
    const StreamProgress start{0, 512, 0, 131072};
    const StreamProgress midway{240, 510, 61440, 130560};
    const StreamProgress done{512, 512, 131072, 131072};
    const std::vector<ProgressCase> cases = {
        {std::nullopt, 47, 0, 120, Bar(18, 40) + "  47%", ""},
        {std::nullopt, 100, 0, 20, Bar(12, 12) + " 100%", ""},
        // Before the first record: no rate, nothing left to forecast from.
        {start, 0, 0, 120, Bar(0, 40) + "   0%  0/131,072 B  0.0 s",
         "Progress: 0%  0/131,072 B  0.0 s"},
        {midway, 0, 16200, 120,
         Bar(18, 40) + "  47%  61,440/130,560 B  16.2 s  3.8 KB/s  19 s left",
         "Progress: 47%  61,440/130,560 B  16.2 s  3.8 KB/s"},
        // Narrower: the bar first, then the figures from the last; never the last column.
        {midway, 0, 16200, 80, Bar(11, 25) + "  47%  61,440/130,560 B  16.2 s  3.8 KB/s  19 s left",
         "Progress: 47%  61,440/130,560 B  16.2 s  3.8 KB/s"},
        {midway, 0, 16200, 50, Bar(7, 16) + "  47%  61,440/130,560 B  16.2 s",
         "Progress: 47%  61,440/130,560 B  16.2 s  3.8 KB/s"},
        {midway, 0, 16200, 10, Bar(0, 2) + "  47%",
         "Progress: 47%  61,440/130,560 B  16.2 s  3.8 KB/s"},
        {done, 0, 34900, 120, Bar(40, 40) + " 100%  131,072/131,072 B  34.9 s  3.8 KB/s",
         "Progress: 100%  131,072/131,072 B  34.9 s  3.8 KB/s"},
    };
    for (const ProgressCase& test : cases) {
        SCOPED_TRACE(test.terminal);
        if (test.stream) {
            EXPECT_EQ(StreamProgressLine(*test.stream, test.elapsed_ms, test.columns),
                      test.terminal);
            EXPECT_EQ(StreamLogLine(*test.stream, test.elapsed_ms), test.piped);
        } else {
            EXPECT_EQ(PlainProgressLine(test.percent, test.columns), test.terminal);
        }
    }
}

struct BoardCase {
    std::vector<std::string> ports;
    std::vector<std::string> stages;
    std::size_t columns, rows;  // 0: not known
    std::vector<std::string> lines;
};

TEST(StatusBoardLines, KeepToTheTerminalCuttingNamesNotStates) {
    const std::string by_id = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285B";
    const std::string i = by_id + "I-if00-port0";
    const std::string j = by_id + "J-if00-port0";
    const std::string failed = "failed: the MCU did not answer the version query";
    const std::vector<std::string> five = {"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2",
                                           "/dev/ttyUSB3", "/dev/ttyUSB4"};
    const std::vector<BoardCase> cases = {
        {{"/dev/ttyUSB0", "/dev/ttyUSB10"},
         {"programming 42%", "waiting"},
         0,
         0,
         {"/dev/ttyUSB0   programming 42%", "/dev/ttyUSB10  waiting"}},
        // Cut at the start, where by-id names are alike.
        {{i, j},
         {"verifying", "programming 100%"},
         60,
         24,
         {"\u2026FTDI_FT232R_USB_UART_A50285BI-if00-port0  verifying",
          "\u2026FTDI_FT232R_USB_UART_A50285BJ-if00-port0  programming 100%"}},
        // A long state shortens its own name, down to the serial number and the tail.
        {{i, j},
         {failed, "programming 42%"},
         60,
         24,
         {"\u2026A50285BI-if00-port0  failed: the MCU did not answer the ve",
          "\u2026FTDI_FT232R_USB_UART_A50285BJ-if00-port0  programming 42%"}},
        {five,
         {"done", "programming 42%", "waiting", "failed: the port could not be opened",
          "programming 7%"},
         80,
         4,
         {"/dev/ttyUSB0  done", "/dev/ttyUSB1  programming 42%",
          "... and 3 more (1 updating, 1 waiting, 1 failed)"}},
        {five,
         std::vector<std::string>(5, "waiting"),
         80,
         6,
         {"/dev/ttyUSB0  waiting", "/dev/ttyUSB1  waiting", "/dev/ttyUSB2  waiting",
          "/dev/ttyUSB3  waiting", "/dev/ttyUSB4  waiting"}},
        {{"/dev/ttyUSB0"}, {"waiting"}, 12, 24, {"/dev/ttyUSB"}},
    };
    for (const BoardCase& test : cases) {
        SCOPED_TRACE(test.lines.front());
        EXPECT_EQ(BoardLines(test.ports, test.stages, test.columns, test.rows), test.lines);
    }
}

}  // namespace
}  // namespace velkor
