// The Host header of a request to the station's web server, against the names it answers to.
// Input: the header's value, then a zero byte and one name the station was given (none when
// the input has no zero byte). A header allowed must name that name, localhost or the address
// reached, and its name is always a part of the header.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "station/web/host_names.h"

namespace {

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto zero = input.find('\0');
    const std::string_view header = input.substr(0, zero);
    const std::vector<std::string> names = {
        "localhost", std::string(zero == std::string_view::npos ? "" : input.substr(zero + 1))};
    constexpr std::string_view kLocal = "127.0.0.1";

    const std::string_view host = velkor::HostName(header);
    if (!host.empty() && header.find(host) == std::string_view::npos) {
        std::abort();  // a name the header does not hold
    }
    if (velkor::HostAllowed(header, names, kLocal) &&
        (host.empty() ||
         !(host == kLocal || SameName(host, names[0]) || SameName(host, names[1])))) {
        std::abort();  // allowed, yet naming none of the station's names
    }
    return 0;
}
