#include "image/hex_image.h"

#include <algorithm>
#include <cstring>

#include "image/hex_digits.h"

namespace velkor {
namespace {

enum HexRecordType : std::uint8_t {
    kHexData = 0x00,
    kHexEndOfFile = 0x01,
    kHexSegmentAddress = 0x02,
    kHexLinearAddress = 0x04,
};

// Fixed characters of a record: ':' count(2) offset(4) type(2) ... checksum(2).
constexpr std::size_t kHexOverhead = 11;

class HexLineParser final : public CFirmwareImage::LineParser {
  public:
    bool ProcessLine(std::string_view line, std::uint8_t* image) override {
        if (line[0] != ':') {
            return true;  // comments and other text are skipped
        }
        std::uint8_t count = 0;
        if (line.size() < kHexOverhead || !DecodeHexBytes(line.substr(1), 1, &count)) {
            return false;
        }
        const std::size_t record_length = kHexOverhead + 2 * std::size_t{count};
        if (line.size() < record_length ||
            !std::all_of(line.begin() + static_cast<std::ptrdiff_t>(record_length), line.end(),
                         IsLineFiller)) {
            return false;
        }
        // count, offset (2), type, data (count), checksum
        std::uint8_t bytes[5 + 255];
        const std::size_t byte_count = std::size_t{count} + 5;
        if (!DecodeHexBytes(line.substr(1), byte_count, bytes)) {
            return false;
        }
        std::uint8_t sum = 0;
        for (std::size_t i = 0; i < byte_count; ++i) {
            sum = static_cast<std::uint8_t>(sum + bytes[i]);
        }
        if (sum != 0) {
            return false;
        }
        const std::uint32_t field16 = (std::uint32_t{bytes[1]} << 8) | bytes[2];
        const std::uint8_t* data = bytes + 4;
        facts_.ends_with_end_record = bytes[3] == kHexEndOfFile;
        switch (bytes[3]) {
            case kHexData: {
                const std::uint64_t address = std::uint64_t{segment_base_} * 16 +
                                              std::uint64_t{linear_base_} * 65536 + field16;
                if (count == 0) {
                    return true;
                }
                if (address + count > kImageSize) {
                    return false;  // no place for it in the image
                }
                std::memcpy(image + address, data, count);
                facts_.data_bytes += count;
                return true;
            }
            case kHexSegmentAddress:
            case kHexLinearAddress: {
                if (count < 2) {
                    return false;
                }
                const auto base = static_cast<std::uint16_t>((data[0] << 8) | data[1]);
                (bytes[3] == kHexSegmentAddress ? segment_base_ : linear_base_) = base;
                return true;
            }
            default:
                // End of file, start addresses and unknown types change nothing; reading goes on.
                return true;
        }
    }

    const RecordFacts& facts() const { return facts_; }

  private:
    RecordFacts facts_;
    std::uint16_t segment_base_ = 0;
    std::uint16_t linear_base_ = 0;
};

}  // namespace

int CHexImage::Load(const std::string& path) {
    HexLineParser parser;
    const int result = LoadLines(path, parser);
    return KeepRecordFacts(result, parser.facts());
}

}  // namespace velkor
