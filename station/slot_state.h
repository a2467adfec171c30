// Where a slot of the station is in its cycle: waiting for a unit, updating it, showing the
// result, waiting for it to be taken away.
#pragma once

#include <string_view>

namespace velkor {

enum class SlotState { kWaiting, kUpdating, kDone, kRemoval };

// "waiting", "updating", "done" or "removal": the word the screen, the page and the metrics use.
std::string_view SlotStateWord(SlotState state);

}  // namespace velkor
