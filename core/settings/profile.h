// Access to the INI-style settings file. Every call opens the file, works on it and closes
// it again; nothing is cached.
//
// The file is UTF-8 text read as lines of at most kProfileLineCapacity characters (code
// points, the line feed included; a longer physical line arrives as several lines). A leading
// byte order mark is skipped on reading and kept on writing. A carriage
// return right before a line feed belongs to the line end. Empty lines and lines starting with
// ';' are skipped. Only the first "[section]" header counts; the section runs up to the next
// line starting with '['. An entry is a line starting with exactly "key=" (case-sensitive);
// the first one wins and its value is the rest of the line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace velkor {

// Characters per line read, the line feed included.
inline constexpr std::size_t kProfileLineCapacity = 259;

// Places the entry's value, or `default_text` when the file, the section or the entry is
// missing, into `out`, cut to at most `capacity` characters on a character boundary. Returns
// the number of characters placed.
std::size_t ProfileReadString(std::string_view section, std::string_view key,
                              std::string_view default_text, std::string& out, std::size_t capacity,
                              const std::filesystem::path& file);

// The entry's value as a base-10 number (leading white space and an optional sign accepted,
// conversion stops at the first non-digit, no digits give 0, saturated to 32 bits), or
// `default_value` when the file, the section or the entry is missing.
std::int32_t ProfileReadInt(std::string_view section, std::string_view key,
                            std::int32_t default_value, const std::filesystem::path& file);

// With key and value: sets the entry. With a key and no value: deletes the entry's line.
// Without a key: deletes the section, header included, up to the next section header.
// Without a section: does nothing. Returns 1 when the change is made or there is nothing to
// do, 0 on failure (file unreadable or not creatable, a line break in a name or value); a
// failed call leaves the file as it was. The file is replaced as a whole, never torn, through
// a temporary file beside it (".<name>.tmp", one per settings file; writers in one folder take
// turns). Where that cannot be done faithfully (a folder we may not write to, a file with
// several names, an owner we cannot give the new file, no room for a second copy) the file is
// rewritten in place from the first changed byte and synced before the call returns.
int ProfileWriteString(std::optional<std::string_view> section, std::optional<std::string_view> key,
                       std::optional<std::string_view> value, const std::filesystem::path& file);

}  // namespace velkor
