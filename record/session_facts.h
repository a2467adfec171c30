// The facts of a run that its update session holds, taken into the run's record as the run
// gets that far.
#pragma once

#include "procedures/family_options.h"
#include "record/run_record.h"
#include "session/update_session.h"

namespace velkor {

// The version and information texts the MCU reported and the checksum of the last successful
// checksum query. Taken before anything is written, since a verify replaces the texts.
void TakeUnitFacts(const UpdateSession& session, RunRecord& record);

// The firmware file named by the session: path, size, SHA-256, and what the check concluded.
void TakeFileFacts(const UpdateSession& session, RunRecord& record);

// The options in `which` by the option panel's labels (without the colon) and entries; an
// index past its list is given as its number.
NamedOptions NameOptions(const UnitOptions& options, OptionSet which);

}  // namespace velkor
