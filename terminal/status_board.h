// One line per port on a terminal, redrawn in place, while several units are updated at once.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace velkor {

// The board's lines on a terminal of `columns` x `rows` (0: not known): no more lines than
// rows - 1, so that none scrolls off and is left behind in the scrollback, and none wider than
// columns - 1, so that none wraps. When not every port fits, the last line counts the rest by
// state: "... and 3 more (2 updating, 1 waiting)". A name too long is cut at its start, where
// /dev/serial/by-id/ names are alike, never the state; only a terminal too narrow for the
// state beside the shortest name cuts the state too.
std::vector<std::string> BoardLines(const std::vector<std::string>& ports,
                                    const std::vector<std::string>& stages, std::size_t columns,
                                    std::size_t rows);

class StatusBoard {
  public:
    // A line for each port, in this order; drawn below the cursor from Start() on.
    StatusBoard(std::FILE* out, const std::vector<std::string>& ports);
    // Leaves the cursor below the board.
    ~StatusBoard() = default;
    StatusBoard(const StatusBoard&) = delete;
    StatusBoard& operator=(const StatusBoard&) = delete;

    void Start();
    // Shows `stage` on the line of port number `row`; callable from any thread.
    void Show(std::size_t row, std::string_view stage);

  private:
    void Redraw();

    std::mutex mutex_;
    std::FILE* out_;
    std::vector<std::string> ports_;  // as shown: control characters escaped
    std::vector<std::string> stages_;
    std::size_t drawn_lines_ = 0;
    bool started_ = false;
};

}  // namespace velkor
