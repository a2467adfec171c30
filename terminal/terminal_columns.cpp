#include "terminal/terminal_columns.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <string_view>

namespace velkor {
namespace {

constexpr std::size_t kDefaultColumns = 80;

std::size_t ColumnsFromEnvironment() {
    const char* text = std::getenv("COLUMNS");
    if (text == nullptr) {
        return 0;
    }
    const std::string_view value(text);
    std::size_t columns = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), columns);
    return error == std::errc() && end == value.data() + value.size() ? columns : 0;
}

TerminalWindow WindowOf(int fd) {
    winsize size{};
    if (::ioctl(fd, TIOCGWINSZ, &size) != 0) {
        return {};
    }
    return {size.ws_col, size.ws_row};
}

}  // namespace

std::size_t TerminalColumns() {
    for (const std::size_t columns : {ColumnsFromEnvironment(), WindowOf(STDOUT_FILENO).columns,
                                      WindowOf(STDERR_FILENO).columns}) {
        if (columns > 0) {
            return columns;
        }
    }
    return kDefaultColumns;
}

TerminalWindow TerminalWindowOf(std::FILE* out) {
    return WindowOf(fileno(out));
}

}  // namespace velkor
