// orientation_replay: runs the host orientation filter over a recording.
#include <iostream>
#include <string>
#include <vector>

#include "replay_command.h"

int main(int argc, char** argv) {
    // Unsynchronised standard streams read and write through their own
    // buffers, and a failed read of standard input is reported as such.
    std::ios::sync_with_stdio(false);
    return Replay::runCommand(std::vector<std::string>(argv + 1, argv + argc), *std::cin.rdbuf(),
                              std::cout, std::cerr);
}
