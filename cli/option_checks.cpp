#include "cli/option_checks.h"

#include <charconv>

namespace velkor {
namespace {

std::string Lowered(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

}  // namespace

CLI::Validator OneOfNames(const std::vector<std::pair<std::string, int>>& names) {
    std::string must = "must be ";
    for (std::size_t i = 0; i < names.size(); ++i) {
        must += i == 0 ? "" : (i + 1 == names.size() ? " or " : ", ");
        must += names[i].first;
    }
    return CLI::Validator(
        [names, must](std::string& value) {
            const std::string lowered = Lowered(value);
            for (const auto& [name, number] : names) {
                if (lowered == name) {
                    value = std::to_string(number);
                    return std::string();
                }
            }
            return must;
        },
        "");
}

CLI::Validator WholeNumberFrom(unsigned lowest, unsigned highest, const std::string& unit) {
    const std::string must = "must be a whole number" + (unit.empty() ? "" : " of " + unit) +
                             " from " + std::to_string(lowest) + " to " + std::to_string(highest);
    return CLI::Validator(
        [lowest, highest, must](const std::string& value) {
            unsigned number = 0;
            const char* end = value.data() + value.size();
            const auto [stop, error] = std::from_chars(value.data(), end, number);
            const bool whole = !value.empty() && error == std::errc() && stop == end;
            return whole && number >= lowest && number <= highest ? std::string() : must;
        },
        "");
}

}  // namespace velkor
