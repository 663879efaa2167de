// Reading the simulator's input files (state, motion script) safely: only a
// regular file of bounded size, opened without blocking, so a FIFO, a device
// or a directory named by mistake gets a clear error instead of a hang or an
// endless read.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>

namespace sim {

// Why a file could not be read; the message gives the reason only, for the
// caller to put after the file's name.
class InputFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The whole contents of the regular file at path, or nothing when no file is
// there. Throws InputFileError for a directory, anything but a regular file,
// a file of more than maxBytes and a failed open or read.
std::optional<std::string> readInputFile(const std::string& path, std::size_t maxBytes);

}  // namespace sim
