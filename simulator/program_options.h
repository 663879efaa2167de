// Command line of the tracker_sim program.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "tracker_sim.h"

namespace sim {

struct ProgramOptions {
    Options sim;
    std::string link;  // symbolic link to the device path, empty for none
    bool help = false;
};

// Thrown for an option that is unknown, lacks its value or has a bad value.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// args excludes the program name.
ProgramOptions parseProgramOptions(const std::vector<std::string>& args);

extern const char* const kUsage;

}  // namespace sim
