#include "sim/firmware_file.h"

#include <algorithm>
#include <fstream>
#include <string_view>

namespace velkor::sim {
namespace {

constexpr std::uint32_t kBytesPerRecord = 32;
constexpr std::uint32_t kHexSegment = 0x10000;

// Builds one record line: the digit pairs of its bytes, and a running byte sum.
class RecordLine {
  public:
    explicit RecordLine(std::string_view start) : text_(start) {}

    void Add(std::uint8_t byte) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        text_ += kDigits[byte >> 4];
        text_ += kDigits[byte & 0x0F];
        sum_ = static_cast<std::uint8_t>(sum_ + byte);
    }
    void AddAll(std::span<const std::uint8_t> bytes) {
        for (std::uint8_t byte : bytes) {
            Add(byte);
        }
    }
    std::uint8_t sum() const { return sum_; }
    std::string Finish(std::uint8_t check) {
        Add(check);
        return text_ + "\r\n";
    }

  private:
    std::string text_;
    std::uint8_t sum_ = 0;
};

std::string HexRecord(std::uint8_t type, std::uint16_t offset, std::span<const std::uint8_t> data) {
    RecordLine line(":");
    line.Add(static_cast<std::uint8_t>(data.size()));
    line.Add(static_cast<std::uint8_t>(offset >> 8));
    line.Add(static_cast<std::uint8_t>(offset));
    line.Add(type);
    line.AddAll(data);
    // All bytes of the record, check included, add up to zero.
    return line.Finish(static_cast<std::uint8_t>(0x100 - line.sum()));
}

std::string SRecord(char type, std::uint32_t address, std::span<const std::uint8_t> data) {
    // S0 carries a 16-bit address, S2 and S8 a 24-bit one.
    const int address_bytes = type == '0' ? 2 : 3;
    RecordLine line(std::string{'S', type});
    line.Add(static_cast<std::uint8_t>(address_bytes + data.size() + 1));
    for (int shift = 8 * (address_bytes - 1); shift >= 0; shift -= 8) {
        line.Add(static_cast<std::uint8_t>(address >> shift));
    }
    line.AddAll(data);
    // Count, address and data add up to 0xFF with the check.
    return line.Finish(static_cast<std::uint8_t>(~line.sum()));
}

std::span<const std::uint8_t> Chunk(std::span<const std::uint8_t> image, std::uint32_t address,
                                    std::uint32_t end) {
    return image.subspan(address, std::min(kBytesPerRecord, end - address));
}

}  // namespace

std::string IntelHexText(std::span<const std::uint8_t> image, FlashRange range) {
    std::string text;
    const std::uint32_t end = std::min<std::uint32_t>(range.end, image.size());
    for (std::uint32_t address = range.begin; address < end; address += kBytesPerRecord) {
        if (address == range.begin || address % kHexSegment == 0) {
            const std::uint8_t upper[] = {static_cast<std::uint8_t>(address >> 24),
                                          static_cast<std::uint8_t>(address >> 16)};
            text += HexRecord(0x04, 0, upper);
        }
        // Records never cross a segment: the ranges start on a multiple of 32.
        text += HexRecord(0x00, static_cast<std::uint16_t>(address), Chunk(image, address, end));
    }
    return text + HexRecord(0x01, 0, {});
}

std::string SRecordText(std::span<const std::uint8_t> image, FlashRange range) {
    static constexpr std::uint8_t kHeader[] = {'V', 'E', 'L', 'K', 'O', 'R'};
    std::string text = SRecord('0', 0, kHeader);
    const std::uint32_t end = std::min<std::uint32_t>(range.end, image.size());
    for (std::uint32_t address = range.begin; address < end; address += kBytesPerRecord) {
        text += SRecord('2', address, Chunk(image, address, end));
    }
    return text + SRecord('8', range.begin, {});
}

bool WriteFirmwareFile(const std::filesystem::path& file, McuType family,
                       std::span<const std::uint8_t> image, FlashRange range, std::string& error) {
    const std::string text =
        family == kMcuTypeStm8 ? SRecordText(image, range) : IntelHexText(image, range);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
        error = "cannot write " + file.string();
        return false;
    }
    return true;
}

}  // namespace velkor::sim
