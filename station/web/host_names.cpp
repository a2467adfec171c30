#include "station/web/host_names.h"

#include <algorithm>
#include <cctype>

namespace velkor {
namespace {

bool IsHostCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '.' || c == ':' ||
           c == '_' || c == '%';
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::string_view HostName(std::string_view header) {
    std::string_view host = header;
    if (host.starts_with('[')) {
        const auto end = host.find(']');
        if (end == std::string_view::npos) {
            return {};
        }
        const std::string_view rest = host.substr(end + 1);
        if (!rest.empty() && !rest.starts_with(':')) {
            return {};
        }
        host = host.substr(1, end - 1);
    } else if (const auto colon = host.find(':');
               colon != std::string_view::npos &&
               host.find(':', colon + 1) == std::string_view::npos) {
        host = host.substr(0, colon);
    }
    if (host.ends_with('.')) {
        host.remove_suffix(1);
    }
    if (!std::all_of(host.begin(), host.end(), IsHostCharacter)) {
        return {};
    }
    return host;
}

bool HostAllowed(std::string_view header, const std::vector<std::string>& names,
                 std::string_view local_address) {
    const std::string_view host = HostName(header);
    if (host.empty()) {
        return false;
    }
    return host == local_address || std::any_of(names.begin(), names.end(), [&](const auto& name) {
               return SameName(host, name);
           });
}

}  // namespace velkor
