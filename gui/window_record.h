// The record the window keeps of each update and each APPLY, when its settings file names a
// record file ("RecordFile"): the same JSON line velkor-flash --record appends. The window does
// not verify, so the verify fields stay empty.
#pragma once

#include <cstdint>

#include "session/sequence_view.h"
#include "session/update_session.h"

namespace velkor {

// Appends the record of the write to the MCU that ended with `result` after `took_ms`; a
// record that cannot be written is said in the log. Without "RecordFile" nothing happens.
void RecordWindowRun(UpdateSession& session, McuWriteKind kind, int result, std::uint32_t took_ms);

}  // namespace velkor
