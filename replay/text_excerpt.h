// Text from a file or the command line, made safe to quote in a message.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Replay {

// text in single quotes, at most maxBytes of it: a longer text is cut and its
// size added ('12345...' (10485760 bytes)). Bytes outside printable ASCII, the
// quote and the backslash are written as \xNN, so nothing in the text can
// steer the terminal or pass for the end of the quote.
std::string excerpt(std::string_view text, std::size_t maxBytes = 40);

// A name such as a file's path as it is when it is printable ASCII and of a
// path's length, otherwise excerpt() with room for a long path.
std::string printable(std::string_view name);

}  // namespace Replay
