#include "image/s19_image.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "image/hex_digits.h"

namespace velkor {
namespace {

// Width in bytes of the address field of each record type S0..S9. S4 has none.
constexpr std::array<std::size_t, 10> kAddressBytes = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

// 'S', type, count(2); then count bytes (address, data, checksum) as digit pairs.
constexpr std::size_t kS19Header = 4;

class S19LineParser final : public CFirmwareImage::LineParser {
  public:
    bool ProcessLine(std::string_view line, std::uint8_t* image) override {
        if (line[0] != 'S') {
            return false;
        }
        // A type that is not a digit names no record: the line is ignored, whatever follows.
        const char type = line.size() > 1 ? line[1] : '\0';
        if (type < '0' || type > '9') {
            return true;
        }
        std::uint8_t count = 0;
        if (line.size() < kS19Header || !DecodeHexBytes(line.substr(2), 1, &count)) {
            return false;
        }
        const std::size_t address_bytes = kAddressBytes[static_cast<std::size_t>(type - '0')];
        const std::size_t record_length = kS19Header + 2 * std::size_t{count};
        if (count < address_bytes + 1 || line.size() < record_length ||
            !std::all_of(line.begin() + static_cast<std::ptrdiff_t>(record_length), line.end(),
                         IsLineFiller)) {
            return false;
        }
        std::uint8_t bytes[255];
        if (!DecodeHexBytes(line.substr(kS19Header), count, bytes)) {
            return false;
        }
        // The checksum makes count, address and data add up to 0xFF.
        std::uint8_t sum = count;
        for (std::size_t i = 0; i < count; ++i) {
            sum = static_cast<std::uint8_t>(sum + bytes[i]);
        }
        if (sum != 0xFF) {
            return false;
        }
        std::uint64_t address = 0;
        for (std::size_t i = 0; i < address_bytes; ++i) {
            address = (address << 8) | bytes[i];
        }
        if (type == '5' || type == '6') {
            // A count record ends a whole file as well as a termination record does (SRecord
            // writes none without a start address), and proves more: its count must be the
            // number of data records before it.
            count_disagrees_ = count_disagrees_ || address != data_records_;
            facts_.ends_with_end_record = !count_disagrees_;
            return true;
        }
        facts_.ends_with_end_record = type >= '7' && !count_disagrees_;
        if (type < '1' || type > '3') {
            return true;  // header and termination records carry no data
        }
        ++data_records_;
        const std::size_t data_bytes = count - address_bytes - 1;
        if (data_bytes == 0) {
            return true;
        }
        if (address + data_bytes > kImageSize) {
            return false;  // no place for it in the image
        }
        std::memcpy(image + address, bytes + address_bytes, data_bytes);
        facts_.data_bytes += data_bytes;
        return true;
    }

    const RecordFacts& facts() const { return facts_; }

  private:
    RecordFacts facts_;
    std::uint64_t data_records_ = 0;  // S1, S2 and S3 records so far
    bool count_disagrees_ = false;    // a count record did not match: records went missing
};

}  // namespace

int CS19Image::Load(const std::string& path) {
    S19LineParser parser;
    const int result = LoadLines(path, parser);
    return KeepRecordFacts(result, parser.facts());
}

}  // namespace velkor
