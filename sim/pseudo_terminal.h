// The simulator's end of a pseudo-terminal pair. The tool opens the slave device as its
// serial port; the simulator reads and writes the master.
#pragma once

#include <string>

namespace velkor::sim {

class PseudoTerminal {
  public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Creates the pair with the master non-blocking and the line raw, so that every byte
    // passes untouched and nothing is echoed back before the tool sets the line up itself.
    // Returns 0, or the errno of the step that failed.
    int Open();
    bool IsOpen() const { return master_ >= 0; }

    int master_fd() const { return master_; }
    // The slave device, for example /dev/pts/3.
    const std::string& device_path() const { return device_path_; }

    // Ends the line as a pulled cable would: the tool's reads fail from now on.
    void Hangup();

  private:
    int master_ = -1;
    // Held open so that the master never sees a hang-up while no tool has the device open,
    // and the pair lives on from one tool session to the next.
    int held_slave_ = -1;
    std::string device_path_;
};

}  // namespace velkor::sim
