// The one error type of the replay tool.
#pragma once

#include <stdexcept>

namespace Replay {

// A recording that cannot be read or scored; the message names the file and,
// where there is one, the line and the column.
class Error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace Replay
