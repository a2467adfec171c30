#include "sim/firmware_description.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "image/firmware_image.h"

namespace velkor::sim {
namespace {

constexpr std::uint8_t kDescriptionMarker = '$';
constexpr std::string_view kBuildDate = "20240601";
// J5 firmware states its version in four characters.
constexpr std::size_t kShortVersionLength = 4;

// `length` bytes of `text` from `offset`, zero where the text ends first.
std::string BytesOf(std::string_view text, std::size_t offset, std::size_t length) {
    std::string bytes(length, '\0');
    if (offset < text.size()) {
        text.substr(offset, length).copy(bytes.data(), length);
    }
    return bytes;
}

// Another unit's identity: one character differs.
std::string Identity(const FirmwareIdentity& identity, std::string bytes) {
    if (identity.mismatch && !bytes.empty()) {
        char& changed = bytes[std::min<std::size_t>(bytes.size(), 7) - 1];
        changed = changed == 'X' ? 'Y' : 'X';
    }
    return bytes;
}

std::string ShortVersion(const FirmwareIdentity& identity, std::string_view source,
                         std::size_t offset) {
    std::string version = identity.file_version ? *identity.file_version
                                                : BytesOf(source, offset, kShortVersionLength);
    version.resize(kShortVersionLength, ' ');
    std::replace(version.begin(), version.end(), '\0', ' ');
    return version;
}

class Block {
  public:
    explicit Block(std::span<std::uint8_t> image) : image_(image) {}

    void Put(std::size_t offset, std::string_view bytes) {
        std::copy(bytes.begin(), bytes.end(), image_.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    // A zero-terminated text in at most `room` bytes, terminator included.
    void PutText(std::size_t offset, std::string_view text, std::size_t room) {
        const std::string_view fitting = text.substr(0, room - 1);
        Put(offset, fitting);
        image_[offset + fitting.size()] = 0;
    }
    void Clear(std::size_t offset, std::size_t length) {
        std::fill_n(image_.begin() + static_cast<std::ptrdiff_t>(offset), length, 0);
    }

  private:
    std::span<std::uint8_t> image_;
};

// R3360 units: '$', a family letter, the file's version text, its build date, and the seven
// identity characters the unit reports at 10-16 of its information text.
void WriteR3360(const FirmwareIdentity& identity, Block& block) {
    struct Layout {
        std::size_t start, date, identity;
        char letter;
        std::string_view name;
    };
    const Layout layout = identity.family == kMcuTypeStm8  ? Layout{0x8100, 0x20, 0x2A, 'S', "STM8"}
                          : identity.family == kMcuTypeNec ? Layout{0x2000, 0x13, 0x1D, 'N', "NEC"}
                                                           : Layout{0x2000, 0x13, 0x1D, 'M', "M3"};
    std::string version;
    if (identity.file_version) {
        version = *identity.file_version;
    } else {
        // The unit's version number, its first character the major version.
        const std::string_view text = identity.version_text;
        version = text.substr(0, text.find_first_of("_ "));
    }
    block.Clear(layout.start, layout.identity + 7);
    block.Put(layout.start, std::string{static_cast<char>(kDescriptionMarker), layout.letter});
    block.PutText(layout.start + 2, version + " R3360-" + std::string(layout.name),
                  layout.date - 2);
    block.PutText(layout.start + layout.date, kBuildDate, layout.identity - layout.date);
    block.Put(layout.start + layout.identity,
              Identity(identity, BytesOf(identity.information_text, 10, 7)));
}

// J5 M3 units: the identity of the version text's first five characters, then text up to the
// 'V' at 0x1F60F and the four-character version.
void WriteJ5M3(const FirmwareIdentity& identity, Block& block) {
    constexpr std::size_t kStart = 0x1F600;
    block.Clear(kStart, 0x20);
    block.Put(kStart, Identity(identity, BytesOf(identity.version_text, 0, 5)));
    block.Put(kStart + 5, " FIRMWARE V");
    block.PutText(kStart + 0x10, ShortVersion(identity, identity.version_text, 16), 5);
}

// J5 NEC units: '$', version at 0x2002, and the eight identity bytes the unit reports at 24-31
// of its information text at 0x2018.
void WriteJ5Nec(const FirmwareIdentity& identity, Block& block) {
    constexpr std::size_t kStart = 0x2000;
    block.Clear(kStart, 0x20);
    block.Put(kStart, "$N");
    block.PutText(kStart + 2, ShortVersion(identity, identity.information_text, 2) + " J5-NEC",
                  0x16);
    block.Put(kStart + 0x18, Identity(identity, BytesOf(identity.information_text, 24, 8)));
}

// J5 STM8 units: '$', the five identity characters and the version, as the unit reports them
// at 2-10 of its information text.
void WriteJ5Stm8(const FirmwareIdentity& identity, Block& block) {
    constexpr std::size_t kStart = 0x8100;
    block.Clear(kStart, 0x20);
    block.Put(kStart, "$S");
    block.Put(kStart + 2, Identity(identity, BytesOf(identity.information_text, 2, 5)));
    block.PutText(kStart + 7, ShortVersion(identity, identity.information_text, 7) + " J5-STM8",
                  0x19);
}

}  // namespace

bool WriteDescription(const FirmwareIdentity& identity, std::span<std::uint8_t> image) {
    if (image.size() < kImageSize || identity.family < kMcuTypeStm8 ||
        identity.family > kMcuTypeM3) {
        return false;
    }
    Block block(image);
    if (identity.model == kAppTypeR3360) {
        WriteR3360(identity, block);
        return true;
    }
    if (identity.model != kAppTypeJ5) {
        return false;
    }
    switch (identity.family) {
        case kMcuTypeM3:
            WriteJ5M3(identity, block);
            break;
        case kMcuTypeNec:
            WriteJ5Nec(identity, block);
            break;
        default:
            WriteJ5Stm8(identity, block);
            break;
    }
    return true;
}

}  // namespace velkor::sim
