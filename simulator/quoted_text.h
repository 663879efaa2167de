// Text from the command line or a file, made safe to quote in a message.
#pragma once

#include <cstddef>
#include <string>

namespace sim {

// text in single quotes, at most maxBytes of it (a longer text is cut and its
// size added); bytes outside printable ASCII, the quote and the backslash as
// \xNN, so no text reaches the terminal as a control sequence.
std::string quotedText(const std::string& text, std::size_t maxBytes = 60);

}  // namespace sim
