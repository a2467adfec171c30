// Settings file reader and writer on arbitrary file content: no crash, no sanitizer report,
// and an entry that was set reads back as written.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "settings/profile.h"
#include "settings/settings_keys.h"

namespace {

using namespace velkor;

class FuzzFolder {
  public:
    FuzzFolder() {
        // Memory-backed when possible: every write syncs to disk, which would dominate a run.
        std::error_code error;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / "velkor-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        path_ = pattern;
    }
    ~FuzzFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::filesystem::path File() const { return path_ / "tool.ini"; }

  private:
    std::filesystem::path path_;
};

void Put(const std::filesystem::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Get(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "settings fuzz check failed: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const FuzzFolder folder;
    const std::filesystem::path file = folder.File();
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // A value taken from the input's end, short enough to stay on one line.
    std::string value(input.substr(input.size() - std::min<std::size_t>(input.size(), 40)));
    for (char& c : value) {
        c = c == '\n' ? '_' : c;
    }

    Put(file, input);
    std::string text;
    ProfileReadString(kUpdateConfigSection, kFireFileKey, "", text, kFireFileCapacity, file);
    ProfileReadInt(kUpdateConfigSection, kMcuTypeKey, 0, file);
    ProfileReadInt(kUpdateConfigSection, kAppTypeKey, 0, file);

    Check(ProfileWriteString(kUpdateConfigSection, kMcuTypeKey, "7", file) == 1, "set number");
    Check(ProfileReadInt(kUpdateConfigSection, kMcuTypeKey, 0, file) == 7, "number reads back");
    Check(ProfileWriteString(kUpdateConfigSection, kFireFileKey, value, file) == 1, "set text");
    ProfileReadString(kUpdateConfigSection, kFireFileKey, "", text, 1000, file);
    Check(text == value, "text reads back");

    const std::string before = Get(file);
    Check(ProfileWriteString(kUpdateConfigSection, kFireFileKey, "a\nb", file) == 0, "line feed");
    Check(ProfileWriteString(std::nullopt, kFireFileKey, "x", file) == 1, "no section");
    Check(Get(file) == before, "refused writes leave the file");

    Check(ProfileWriteString(kUpdateConfigSection, kMcuSlaveKey, std::nullopt, file) == 1,
          "delete entry");
    Check(ProfileWriteString(kUpdateConfigSection, std::nullopt, std::nullopt, file) == 1,
          "delete section");

    // The same modes on the raw input with the section and key it names itself.
    const std::size_t split = input.find('\n');
    const std::string_view name = input.substr(0, std::min<std::size_t>(split, 16));
    Put(file, input);
    ProfileWriteString(name, name, std::nullopt, file);
    ProfileWriteString(name, std::nullopt, std::nullopt, file);
    ProfileWriteString(name, name, name, file);
    ProfileReadString(name, name, name, text, 3, file);
    return 0;
}
