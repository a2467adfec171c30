#include "picker/mount_table.h"

#include <sys/sysmacros.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>

namespace velkor {
namespace {

// The kernel writes a blank, tab, line feed or backslash in a path as a backslash and three
// octal digits.
std::string Unescape(std::string_view field) {
    std::string text;
    text.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const auto octal = [&](std::size_t at) { return field[at] >= '0' && field[at] <= '7'; };
            if (octal(i + 1) && octal(i + 2) && octal(i + 3)) {
                text += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                          (field[i + 3] - '0'));
                i += 3;
                continue;
            }
        }
        text += field[i];
    }
    return text;
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t end = std::min(line.find(' ', at), line.size());
        if (end > at) {
            fields.push_back(line.substr(at, end - at));
        }
        at = end + 1;
    }
    return fields;
}

bool ParseNumber(std::string_view text, unsigned& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// One line: id, parent id, major:minor, root, mount point, options, optional fields up to a
// lone "-", then file-system type, source and super-block options.
bool ParseLine(std::string_view line, MountEntry& entry) {
    const std::vector<std::string_view> fields = Fields(line);
    if (fields.size() < 6) {
        return false;
    }
    const std::size_t colon = fields[2].find(':');
    unsigned major = 0;
    unsigned minor = 0;
    if (colon == std::string_view::npos || !ParseNumber(fields[2].substr(0, colon), major) ||
        !ParseNumber(fields[2].substr(colon + 1), minor)) {
        return false;
    }
    std::size_t separator = 6;
    while (separator < fields.size() && fields[separator] != "-") {
        ++separator;
    }
    if (separator + 1 >= fields.size()) {
        return false;
    }
    entry.device = makedev(major, minor);
    entry.device_major = major;
    entry.root = Unescape(fields[3]);
    entry.mount_point = Unescape(fields[4]);
    entry.fs_type = Unescape(fields[separator + 1]);
    entry.source = separator + 2 < fields.size() ? Unescape(fields[separator + 2]) : "";
    return true;
}

}  // namespace

MountTable MountTable::Parse(std::string_view text) {
    MountTable table;
    table.known_ = true;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        MountEntry entry;
        if (ParseLine(text.substr(at, end - at), entry)) {
            table.entries_.push_back(std::move(entry));
        }
        at = end + 1;
    }
    return table;
}

MountTable MountTable::Read(const std::string& path) {
    std::ifstream file(path);
    if (!file) {
        return {};
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) {
        return {};
    }
    return Parse(text.str());
}

const MountEntry* MountTable::Find(const std::string& mount_point, std::uint64_t device) const {
    const MountEntry* on_device = nullptr;
    for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry) {
        if (entry->mount_point == mount_point) {
            return &*entry;
        }
        if (on_device == nullptr && entry->device == device) {
            on_device = &*entry;
        }
    }
    return on_device;
}

}  // namespace velkor
