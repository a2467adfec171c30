#include "terminal/text_wrap.h"

#include <algorithm>
#include <vector>

namespace velkor {

std::string HangingLines(std::string_view head, std::string_view text, std::size_t column,
                         std::size_t width) {
    std::vector<std::string> lines = {std::string(head)};
    if (!head.empty() && head.size() >= column && !text.empty()) {
        lines.emplace_back();
    }
    bool fresh = true;  // the last line holds no word of `text` yet
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t end = std::min(text.find_first_of(" \n", at), text.size());
        const std::string_view word = text.substr(at, end - at);
        if (!word.empty()) {
            if (!fresh && lines.back().size() + 1 + word.size() > width) {
                lines.emplace_back();
                fresh = true;
            }
            if (fresh) {
                lines.back().resize(std::max(lines.back().size(), column), ' ');
            } else {
                lines.back() += ' ';
            }
            lines.back() += word;
            fresh = false;
        }
        if (end < text.size() && text[end] == '\n') {
            lines.emplace_back();
            fresh = true;
        }
        at = end + 1;
    }
    std::string out;
    for (const std::string& line : lines) {
        out += line;
        out += '\n';
    }
    return out;
}

}  // namespace velkor
