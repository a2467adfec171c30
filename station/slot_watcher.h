// The serial device links of a folder (such as /dev/serial/by-id) as the slots of a fixture:
// a link that appears and stands for the settle time is a slot, one that goes away ends its
// slot. USB adapters are plugged in and pulled out with their units.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velkor {

struct SlotEvent {
    enum class Kind { kAppeared, kGone };
    Kind kind;
    std::string name;  // the link's name in the folder
    std::string path;  // folder/name
};

class SlotWatcher {
  public:
    // Watches `folder`, and its creation when it does not exist yet, for links whose names
    // match the shell pattern `glob` (empty: every name); hidden names (a leading '.') never
    // match, as udev makes its links under such a name first.
    SlotWatcher(std::string folder, std::string glob, std::uint32_t settle_ms = 200);
    ~SlotWatcher();
    SlotWatcher(const SlotWatcher&) = delete;
    SlotWatcher& operator=(const SlotWatcher&) = delete;

    // False, with the reason in `error`, when the folder cannot be watched.
    bool Start(std::string& error);
    // Waits up to `timeout_ms`, or until Wake(), and returns what happened since the last call:
    // a link counts as appeared once it has stood for the settle time and leads to a character
    // device (the links present at Start too), and as gone when it is removed or no longer
    // leads to one. A link that comes and goes within the settle time is never reported.
    std::vector<SlotEvent> Wait(std::uint32_t timeout_ms);
    // From any thread: ends the Wait under way, or the next one, at once.
    void Wake();

  private:
    struct State;
    State* state_;
};

}  // namespace velkor
