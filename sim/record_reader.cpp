#include "sim/record_reader.h"

#include <algorithm>

namespace velkor::sim {

std::optional<ReceivedRecord> RecordReader::Feed(std::uint8_t byte) {
    held_.push_back(byte);
    while (!held_.empty() && !CouldStart(format_.data_tag) && !CouldStart(format_.end_tag)) {
        held_.erase(held_.begin());
        ++skipped_;
    }
    std::size_t length = 0;
    if (StartsWith(format_.data_tag)) {
        length = format_.data_length();
    } else if (StartsWith(format_.end_tag)) {
        length = format_.end_length;
    }
    if (length == 0 || held_.size() < length) {
        return std::nullopt;
    }
    return Take();
}

bool RecordReader::CouldStart(std::string_view tag) const {
    const std::size_t common = std::min(held_.size(), tag.size());
    return std::equal(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(common),
                      tag.begin(),
                      [](std::uint8_t b, char c) { return b == static_cast<std::uint8_t>(c); });
}

bool RecordReader::StartsWith(std::string_view tag) const {
    return held_.size() >= tag.size() && CouldStart(tag);
}

ReceivedRecord RecordReader::Take() {
    ReceivedRecord record;
    if (StartsWith(format_.data_tag)) {
        auto at = held_.begin() + static_cast<std::ptrdiff_t>(format_.data_tag.size());
        for (std::size_t i = 0; i < format_.address_bytes; ++i, ++at) {
            record.address = (record.address << 8) | *at;
        }
        record.data.assign(at, held_.end());
    } else {
        record.end = true;
    }
    held_.clear();
    return record;
}

}  // namespace velkor::sim
