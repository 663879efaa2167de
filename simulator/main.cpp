// tracker_sim: serves a simulated tracker on a pseudo-terminal until SIGINT
// or SIGTERM. Prints the device path as the first line of standard output.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "program_options.h"
#include "quoted_text.h"
#include "tracker_sim.h"

namespace {

// Points link at target, replacing an existing symbolic link atomically but
// never a regular file or anything else.
void makeLink(const std::string& link, const std::string& target) {
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
        throw std::runtime_error("tracker_sim: refusing to replace " + sim::quotedText(link, 1024) +
                                 ": it exists and is not a symbolic link");
    const std::string temp = link + ".tmp" + std::to_string(::getpid());
    ::unlink(temp.c_str());
    if (::symlink(target.c_str(), temp.c_str()) != 0 || ::rename(temp.c_str(), link.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        throw std::runtime_error("tracker_sim: cannot create link " + sim::quotedText(link, 1024) +
                                 ": " + std::strerror(error));
    }
}

// Removes link only while it still points at target: another simulator may
// have taken it over meanwhile.
void removeLink(const std::string& link, const std::string& target) {
    std::vector<char> buffer(target.size() + 2);
    const ssize_t n = ::readlink(link.c_str(), buffer.data(), buffer.size());
    if (n >= 0 && std::string(buffer.data(), static_cast<std::size_t>(n)) == target)
        ::unlink(link.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    // Blocked from the start in every thread (the serving thread inherits the
    // mask) and taken synchronously once the tracker serves: no signal
    // handler at all. Nothing before that can wait for long (input files are
    // opened without blocking and bounded in size), so a signal that arrives
    // while the files are read ends the simulator as soon as it is up.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    sim::ProgramOptions options;
    try {
        options = sim::parseProgramOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const sim::UsageError& e) {
        std::cerr << "tracker_sim: " << e.what() << "\n"
                  << "Try 'tracker_sim --help' for the options.\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "tracker_sim: " << e.what() << "\n";
        return 1;
    }
    if (options.help) {
        std::cout << sim::kUsage;
        return 0;
    }

    try {
        sim::TrackerSim tracker(options.sim);
        if (!options.link.empty()) makeLink(options.link, tracker.devicePath());
        std::cout << tracker.devicePath() << std::endl;

        int signal = 0;
        while (sigwait(&stopSignals, &signal) != 0) {
        }
        if (!options.link.empty()) removeLink(options.link, tracker.devicePath());
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
    return 0;
}
