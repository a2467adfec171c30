// One line per port on a terminal, redrawn in place, while several units are updated at once.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace velkor {

class StatusBoard {
  public:
    // A line for each port, in this order; drawn below the cursor from Start() on.
    StatusBoard(std::FILE* out, std::vector<std::string> ports);
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
    std::vector<std::string> ports_;
    std::vector<std::string> stages_;
    std::size_t port_width_ = 0;
    bool started_ = false;
    bool drawn_ = false;
};

}  // namespace velkor
