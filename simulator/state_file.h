// Persistence of the parameter memory across runs, the simulator's stand-in
// for the tracker's non-volatile memory.
//
// Layout: "TSIM" magic, version (uint16 LE, 1), bank 0 size and bank 1 size
// (uint16 LE each), then the bytes of bank 0 and bank 1.
#pragma once

#include <optional>
#include <string>

#include "param_memory.h"

namespace sim {

// Returns nothing when the file does not exist. Throws std::runtime_error
// naming the file when it cannot be read or is not a valid state file.
std::optional<ParameterMemory> loadStateFile(const std::string& path);

// Writes a temporary file beside path and renames it over path, so a reader
// never sees a half-written file. Throws std::runtime_error on failure.
void saveStateFile(const std::string& path, const ParameterMemory& memory);

}  // namespace sim
