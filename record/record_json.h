// A run's record as one JSON object: the line velkor-flash --record appends, the object --json
// prints, and the line the window appends.
#pragma once

#include <chrono>
#include <string>

#include <nlohmann/json.hpp>

#include "record/run_record.h"

namespace velkor {

// Every field is there, null where the run has nothing to say; texts of the MCU are Latin-1
// turned into UTF-8, checksums eight upper-case hexadecimal digits as the log shows them.
nlohmann::ordered_json RecordJson(const RunRecord& record);

// The object on one line, ending in "\n", with every control character written as a \u
// escape (EscapeJsonControls); never throws.
std::string RecordLine(const nlohmann::ordered_json& object);

// `dumped`, the UTF-8 text of a JSON dump, with DEL and each C1 control (U+0080 to U+009F),
// which nlohmann-json writes as they are, written as \u007f and \u0080 to \u009f: the same
// JSON, but a terminal that shows the line no longer acts on them.
std::string EscapeJsonControls(std::string_view dumped);

// ISO 8601 local time with milliseconds and the offset from UTC, for example
// "2024-05-03T14:07:21.034+02:00".
std::string IsoLocalTime(std::chrono::system_clock::time_point time);

}  // namespace velkor
