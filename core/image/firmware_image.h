// The memory copy of the MCU's address space that a firmware file is read into.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "report/report.h"

namespace velkor {

// Byte i of the image holds MCU address i.
inline constexpr std::size_t kImageSize = 0x40000;

// Results of CFirmwareImage::Load.
enum LoadResult : int {
    kLoadOk = 0,
    kLoadNoMemory = 1,
    kLoadCannotOpen = 2,
    kLoadFormatError = 3,
};

inline constexpr std::string_view kLogNoMemory = "ERROR:no memory\r\n";
inline constexpr std::string_view kLogCannotOpen = "ERROR:can not open the file\r\n";
inline constexpr std::string_view kLogCannotRead = "ERROR:can not read the file\r\n";
inline constexpr std::string_view kLogFormatError = "ERROR:the file format is not correct\r\n";
inline constexpr std::string_view kLogTooLarge = "ERROR:the file is too large\r\n";

// A firmware file of a 256 KiB MCU, even in one-byte records, stays far below this; a larger
// one is not read into memory but refused (result 3, as a file that is no firmware file).
inline constexpr std::uint64_t kMaxFirmwareFileSize = 64 * 1024 * 1024;
// Warnings after a load that succeeded: the file holds no data record at all, or its last
// record is not its end record.
inline constexpr std::string_view kLogNoData = "WARNING:the file holds no data\r\n";
inline constexpr std::string_view kLogNoEndRecord =
    "WARNING:the file does not end with its end record; it may be cut short\r\n";

// What the records of a loaded file say beyond the bytes they place.
struct RecordFacts {
    // The last record is the format's end record: Intel HEX type 01; S7, S8 or S9, or an S5
    // or S6 count record that counts every S1, S2 and S3 record before it (and no count
    // record of the file disagrees). A file that does not end with one may have been cut
    // short.
    bool ends_with_end_record = false;
    // The data bytes its records placed in the image; none: the file yields no image at all.
    std::uint64_t data_bytes = 0;

    bool operator==(const RecordFacts&) const = default;
    // Whole: ends with its end record and holds data.
    bool Whole() const { return ends_with_end_record && data_bytes > 0; }
};

class CFirmwareImage {
  public:
    // Load reports its progress and its errors to `report`.
    explicit CFirmwareImage(Report& report) : report_(report) {}
    virtual ~CFirmwareImage() = default;
    CFirmwareImage(const CFirmwareImage&) = delete;
    CFirmwareImage& operator=(const CFirmwareImage&) = delete;

    // Reads the file at `path` into the image; returns a LoadResult. The base reads nothing.
    virtual int Load(const std::string& path);

    // kImageSize bytes, or null before the first load.
    const std::uint8_t* Buffer() const { return buffer_.get(); }

    // The bytes of the file the last load read, whole: the very bytes the image came from, so
    // that a record's size and hash describe what was programmed even if the file is replaced
    // afterwards. None when the last load could not read the file to its end.
    const std::optional<std::string>& FileContent() const { return content_; }

    // The errno of the last load that could not open or read its file, or ENOMEM when it
    // found no memory for it; 0 after one that could. A shortage of the process's own
    // (descriptors, memory) says nothing of the file.
    int open_error() const { return open_error_; }

    // What the records of the last successful Load said. A file cut short or without data
    // loads as any other; whoever programs it without a person reading the log refuses it.
    const RecordFacts& record_facts() const { return record_facts_; }

    // The per-line step of a file format.
    class LineParser {
      public:
        virtual ~LineParser() = default;
        // Handles one non-empty line (without its line end); false means a format error.
        virtual bool ProcessLine(std::string_view line, std::uint8_t* image) = 0;
    };

  protected:
    // Longest record line accepted; a longer one is a format error.
    static constexpr std::size_t kMaxLineLength = 255;

    // The load frame shared by both readers: buffer, open, zero fill, line splitting on CR
    // and LF, progress in whole percent, and the result and log line of every outcome.
    int LoadLines(const std::string& path, LineParser& parser);

    // Creates the image buffer; null when memory cannot be had.
    virtual std::unique_ptr<std::uint8_t[]> AllocateBuffer();

    // A reader's Load ends with this: keeps `facts` of a load that ended in `result`.
    int KeepRecordFacts(int result, const RecordFacts& facts) {
        record_facts_ = result == kLoadOk ? facts : RecordFacts{};
        return result;
    }

  private:
    // Reads the whole regular file at `path` into content_; a LoadResult, with its log line.
    int ReadFile(const std::string& path);

    Report& report_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::optional<std::string> content_;
    RecordFacts record_facts_;
    int open_error_ = 0;
};

// True for the filler that may trail a record line: blanks and the end-of-file character 0x1A.
inline bool IsLineFiller(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\x1A';
}

}  // namespace velkor
