#include "station/slot_state.h"

namespace velkor {

std::string_view SlotStateWord(SlotState state) {
    switch (state) {
        case SlotState::kWaiting:
            return "waiting";
        case SlotState::kUpdating:
            return "updating";
        case SlotState::kDone:
            return "done";
        case SlotState::kRemoval:
            break;
    }
    return "removal";
}

}  // namespace velkor
