#include "program_options.h"

#include <cerrno>
#include <cstdlib>

#include "identification.h"

namespace sim {

const char* const kUsage =
    "usage: tracker_sim [--link PATH] [--id ID] [--firmware MAJOR.MINOR] [--state FILE]\n"
    "                   [--fault-no-id] [--fault-short-id] [--fault-wrong-id]\n"
    "                   [--fault-bad-checksum] [--fault-status N] [--reply-delay MS]\n"
    "\n"
    "Simulates a motion tracker on a pseudo-terminal. The first line of output is\n"
    "the terminal's device path. Serves until SIGINT or SIGTERM.\n"
    "\n"
    "  --link PATH            also make PATH a symbolic link to the device\n"
    "  --id ID                identification, 1 to 7 characters (default QV00001)\n"
    "  --firmware MAJOR.MINOR firmware version (default 1.4)\n"
    "  --state FILE           parameter memory saved by the '9' command and loaded\n"
    "                         at start (factory state when FILE does not exist)\n"
    "  --fault-no-id          do not answer identification\n"
    "  --fault-short-id       answer identification with 24 bytes only\n"
    "  --fault-wrong-id       answer identification with a text that does not match\n"
    "  --fault-bad-checksum   send a wrong checksum in read replies\n"
    "  --fault-status N       status N (1..255) in every R/W/S/C reply; W/S/C not applied\n"
    "  --reply-delay MS       send every reply MS milliseconds late (0..60000)\n"
    "  --help                 show this text\n";

namespace {

unsigned long parseNumber(const std::string& option, const std::string& text, unsigned long min,
                          unsigned long max) {
    errno = 0;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || text[0] < '0' || text[0] > '9' || *end != '\0' || errno != 0 ||
        value < min || value > max)
        throw UsageError(option + " expects a number from " + std::to_string(min) + " to " +
                         std::to_string(max) + ", got '" + text + "'");
    return value;
}

}  // namespace

ProgramOptions parseProgramOptions(const std::vector<std::string>& args) {
    ProgramOptions result;
    Options& o = result.sim;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string option = args[i];
        std::string value;
        bool hasValue = false;
        if (const auto eq = option.find('=');
            option.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = option.substr(eq + 1);
            option.resize(eq);
            hasValue = true;
        }
        auto takeValue = [&]() -> std::string {
            if (hasValue) return value;
            if (i + 1 >= args.size()) throw UsageError(option + " needs a value");
            return args[++i];
        };
        auto noValue = [&] {
            if (hasValue) throw UsageError(option + " takes no value");
        };

        if (option == "--help" || option == "-h") {
            noValue();
            result.help = true;
        } else if (option == "--link") {
            result.link = takeValue();
            if (result.link.empty()) throw UsageError("--link needs a path");
        } else if (option == "--id") {
            o.id = takeValue();
            try {
                validateIdentity(Identity{o.id, 0, 0});
            } catch (const std::invalid_argument& e) {
                throw UsageError(e.what());
            }
        } else if (option == "--firmware") {
            const std::string text = takeValue();
            const auto dot = text.find('.');
            if (dot == std::string::npos)
                throw UsageError("--firmware expects MAJOR.MINOR, got '" + text + "'");
            o.firmwareMajor =
                static_cast<std::uint16_t>(parseNumber(option, text.substr(0, dot), 0, 65535));
            o.firmwareMinor =
                static_cast<std::uint16_t>(parseNumber(option, text.substr(dot + 1), 0, 65535));
        } else if (option == "--state") {
            o.stateFile = takeValue();
            if (o.stateFile.empty()) throw UsageError("--state needs a file name");
        } else if (option == "--fault-no-id") {
            noValue();
            o.faults.noId = true;
        } else if (option == "--fault-short-id") {
            noValue();
            o.faults.shortId = true;
        } else if (option == "--fault-wrong-id") {
            noValue();
            o.faults.wrongId = true;
        } else if (option == "--fault-bad-checksum") {
            noValue();
            o.faults.badChecksum = true;
        } else if (option == "--fault-status") {
            o.faults.status = static_cast<std::uint8_t>(parseNumber(option, takeValue(), 1, 255));
        } else if (option == "--reply-delay") {
            o.faults.replyDelayMs =
                static_cast<unsigned>(parseNumber(option, takeValue(), 0, 60000));
        } else {
            throw UsageError("unknown option '" + args[i] + "'");
        }
    }
    return result;
}

}  // namespace sim
