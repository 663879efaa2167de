// The orientation_replay command: its options, its inputs and its output.
#pragma once

#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace Replay {

// Runs the command with args (without the program name). standardInput is
// the input named "-"; orientations and scores go to out, messages to err.
// Returns the exit status: 0, 1 when a recording cannot be read or scored
// or the output cannot be written, 2 for a usage error.
int runCommand(const std::vector<std::string>& args, std::streambuf& standardInput,
               std::ostream& out, std::ostream& err);

extern const char kUsage[];

}  // namespace Replay
