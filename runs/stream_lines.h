// The lines velkor-flash ends a programming with: how much went over in how long, and where
// and why the stream broke off.
#pragma once

#include <string>

#include "procedures/stream_outcome.h"

namespace velkor {

// "Programmed 512 records (131,072 bytes) in 34.9 s (3.7 KB/s)"; of a stream that broke off,
// "Programmed 240 of 512 records (61,440 of 131,072 bytes) in ...". No line end.
std::string ProgrammedLine(const StreamOutcome& stream);

// "Record 241 of 512 (address 0x0F000): no acknowledgement within 10 s (waited 10,002 ms)";
// no line end. The stream must have a failure.
std::string FailureLine(const StreamOutcome& stream);

}  // namespace velkor
