#include "program_options.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "identification.h"
#include "input_file.h"
#include "quoted_text.h"
#include "real_text.h"

namespace sim {

const char* const kUsage =
    "usage: tracker_sim [--link PATH] [--id ID] [--firmware MAJOR.MINOR] [--state FILE]\n"
    "                   [motion options] [sensor options] [stream options] [fault options]\n"
    "\n"
    "Simulates a motion tracker on a pseudo-terminal. The first line of output is\n"
    "the terminal's device path. Serves until SIGINT or SIGTERM.\n"
    "\n"
    "  --link PATH            also make PATH a symbolic link to the device\n"
    "  --id ID                identification, 1 to 7 characters (default QV00001)\n"
    "  --firmware MAJOR.MINOR firmware version (default 1.4)\n"
    "  --state FILE           parameter memory saved by the '9' command and loaded\n"
    "                         at start (factory state when FILE does not exist)\n"
    "  --help                 show this text\n"
    "\n"
    "Motion (world frame: z up, x towards magnetic north; Q_SW maps world vectors\n"
    "into the sensor frame):\n"
    "  --motion KIND          still or random (default random: smooth seeded\n"
    "                         trajectory with rests, slow and fast rotations about\n"
    "                         every axis and phases of linear acceleration)\n"
    "  --seed N               seed of the random trajectory (default 1)\n"
    "  --script FILE          scripted motion, repeated when it ends; one segment a\n"
    "                         line: DURATION_S WX WY WZ [AX AY AZ], angular velocity\n"
    "                         in deg/s about the sensor axes, linear acceleration in\n"
    "                         m/s^2 along the world axes; '#' starts a comment\n"
    "  --orientation W,X,Y,Z  Q_SW at power-up (default 1,0,0,0; normalised)\n"
    "  --truth FILE           CSV of the true Q_SW of every packet sent, header\n"
    "                         timestamp,qw,qx,qy,qz (w >= 0)\n"
    "\n"
    "Sensors:\n"
    "  --field UT,DEG         earth field strength and downward inclination\n"
    "                         (default 48,64)\n"
    "  --soft-iron 9 VALUES   soft-iron matrix row by row, comma-separated\n"
    "                         (default 1.04,0.02,-0.01,0.02,0.97,0.03,-0.01,0.03,1.01)\n"
    "  --hard-iron X,Y,Z      hard-iron offset in uT (default 6,-4,9)\n"
    "  --gyro-bias X,Y,Z      gyroscope bias in rad/s left after calibration\n"
    "                         (default 0.002,-0.0015,0.001)\n"
    "  --noise F              scale of all sensor noise, 0 for none (default 1:\n"
    "                         0.02 m/s^2, 0.002 rad/s, 0.15 uT, 0.02 deg C)\n"
    "  --noise-seed N         seed of the noise and of the stream faults (default 1)\n"
    "\n"
    "Stream (one packet per period of the configured frequency after '0'):\n"
    "  --clock-start N        device timestamp at power-up, 100 us units, 0 to\n"
    "                         4294967295 (default 0); the clock wraps at 2^32\n"
    "  --transmit-fifo N      transmitter FIFO in bytes, 16..4096 (default 64)\n"
    "  Values: float mode sends calibrated values (m/s^2, rad/s, uT, deg C): the\n"
    "  stored calibration record applied to the raw readings. RAW mode sends int16\n"
    "  readings: accelerometer 16384 counts/g, gyroscope 16.384 counts per deg/s,\n"
    "  magnetometer 38 counts/uT times divider/4096 (divider 2^(magDivider+5)),\n"
    "  temperature 100 counts per deg C, orientation 16384 counts per unit. The\n"
    "  factory record undoes the chips' imperfections; the soft and hard iron are\n"
    "  the environment's and stay until the host calibrates the magnetometer.\n"
    "  Channel bit 10 adds w, x, y of the true Q_SW (w >= 0). The matrices Ka, Kg,\n"
    "  Km and their flags are stored but not applied. ASCII output is not\n"
    "  simulated: with the ascii flag the device streams nothing.\n"
    "  Pacing: bytes leave at 115200 baud, 8N2 (10472.7 bytes/s), replies too. A\n"
    "  sample whose packet does not fit into the transmitter FIFO with the bytes\n"
    "  still waiting is skipped; timestamps keep the measuring times (gaps).\n"
    "\n"
    "Faults:\n"
    "  --fault-no-id          do not answer identification\n"
    "  --fault-short-id       answer identification with 24 bytes only\n"
    "  --fault-wrong-id       answer identification with a text that does not match\n"
    "  --fault-bad-checksum   send a wrong checksum in read replies\n"
    "  --fault-status N       status N (1..255) in every R/W/S/C reply; W/S/C not applied\n"
    "  --reply-delay MS       send every reply MS milliseconds late (0..60000)\n"
    "  --fault-garbage-every N     1..8 garbage bytes (never 'A') after every Nth packet\n"
    "  --fault-wrong-end-every N   every Nth packet ends in 0x5B instead of 'Z'\n"
    "  --fault-drop-byte-every N   every Nth packet loses one value byte\n"
    "  --fault-pause-every N       pause the stream after every Nth packet ...\n"
    "  --fault-pause-ms MS         ... for MS milliseconds (default 500)\n"
    "  --fault-unplug-after N      unplug after N packets: the terminal disappears\n";

namespace {

constexpr unsigned kDefaultPauseMs = 500;  // pause of --fault-pause-every without --fault-pause-ms
// A motion script of a thousand segments takes some 50 kB; this leaves room
// for comments and keeps a wrong file from being read for long.
constexpr std::size_t kMaxScriptBytes = 1 << 20;

unsigned long parseNumber(const std::string& option, const std::string& text, unsigned long min,
                          unsigned long max) {
    errno = 0;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || text[0] < '0' || text[0] > '9' || *end != '\0' || errno != 0 ||
        value < min || value > max)
        throw UsageError(option + " expects a number from " + std::to_string(min) + " to " +
                         std::to_string(max) + ", got " + quotedText(text));
    return value;
}

double parseReal(const std::string& option, const std::string& text) {
    const std::optional<double> value = finiteReal(text);
    if (!value) throw UsageError(option + " expects a number, got " + quotedText(text));
    return *value;
}

// count comma-separated numbers.
std::vector<double> parseReals(const std::string& option, const std::string& text,
                               std::size_t count) {
    std::vector<double> values;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = text.find(',', from);
        values.push_back(parseReal(option, text.substr(from, comma - from)));
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    if (values.size() != count)
        throw UsageError(option + " expects " + std::to_string(count) +
                         " comma-separated numbers, got " + quotedText(text));
    return values;
}

Vec3 parseVec3(const std::string& option, const std::string& text) {
    const auto v = parseReals(option, text, 3);
    return {v[0], v[1], v[2]};
}

std::vector<MotionSegment> readMotionScript(const std::string& path) {
    const std::string name = "--script " + quotedText(path, 1024) + ": ";
    std::optional<std::string> text;
    try {
        text = readInputFile(path, kMaxScriptBytes);
    } catch (const InputFileError& e) {
        throw UsageError(name + e.what());
    }
    if (!text) throw UsageError(name + "no such file");
    try {
        return parseMotionScript(*text);
    } catch (const std::invalid_argument& e) {
        throw UsageError(name + e.what());
    }
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
            o.identity.id = takeValue();
            try {
                validateIdentity(o.identity);
            } catch (const std::invalid_argument& e) {
                throw UsageError(e.what());
            }
        } else if (option == "--firmware") {
            const std::string text = takeValue();
            const auto dot = text.find('.');
            if (dot == std::string::npos)
                throw UsageError("--firmware expects MAJOR.MINOR, got " + quotedText(text));
            o.identity.firmwareMajor =
                static_cast<std::uint16_t>(parseNumber(option, text.substr(0, dot), 0, 65535));
            o.identity.firmwareMinor =
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
        } else if (option == "--motion") {
            const std::string kind = takeValue();
            if (kind == "still")
                o.motion.kind = Motion::Kind::Still;
            else if (kind == "random")
                o.motion.kind = Motion::Kind::Random;
            else
                throw UsageError("--motion expects still or random, got " + quotedText(kind));
        } else if (option == "--seed") {
            o.motion.seed = parseNumber(option, takeValue(), 0, ULONG_MAX);
        } else if (option == "--script") {
            o.motion.script = readMotionScript(takeValue());
            o.motion.kind = Motion::Kind::Scripted;
        } else if (option == "--orientation") {
            const auto v = parseReals(option, takeValue(), 4);
            if (std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2] + v[3] * v[3]) < 1e-6)
                throw UsageError("--orientation needs a non-zero quaternion");
            o.motion.initial = {v[0], v[1], v[2], v[3]};
        } else if (option == "--truth") {
            o.truthFile = takeValue();
            if (o.truthFile.empty()) throw UsageError("--truth needs a file name");
        } else if (option == "--field") {
            const auto v = parseReals(option, takeValue(), 2);
            o.environment.field = inclinedField(v[0], v[1]);
        } else if (option == "--soft-iron") {
            const auto v = parseReals(option, takeValue(), 9);
            o.environment.softIron = {{{v[0], v[1], v[2]}, {v[3], v[4], v[5]}, {v[6], v[7], v[8]}}};
        } else if (option == "--hard-iron") {
            o.environment.hardIron = parseVec3(option, takeValue());
        } else if (option == "--gyro-bias") {
            o.environment.gyroBias = parseVec3(option, takeValue());
        } else if (option == "--noise") {
            o.environment.noiseScale = parseReal(option, takeValue());
            if (o.environment.noiseScale < 0) throw UsageError("--noise must not be negative");
        } else if (option == "--noise-seed") {
            o.environment.noiseSeed = parseNumber(option, takeValue(), 0, ULONG_MAX);
        } else if (option == "--clock-start") {
            o.clockStart =
                static_cast<std::uint32_t>(parseNumber(option, takeValue(), 0, 4294967295UL));
        } else if (option == "--transmit-fifo") {
            o.transmitFifo = parseNumber(option, takeValue(), 16, 4096);
        } else if (option == "--fault-garbage-every") {
            o.faults.garbageEvery =
                static_cast<unsigned>(parseNumber(option, takeValue(), 1, 1000000));
        } else if (option == "--fault-wrong-end-every") {
            o.faults.wrongEndEvery =
                static_cast<unsigned>(parseNumber(option, takeValue(), 1, 1000000));
        } else if (option == "--fault-drop-byte-every") {
            o.faults.dropByteEvery =
                static_cast<unsigned>(parseNumber(option, takeValue(), 1, 1000000));
        } else if (option == "--fault-pause-every") {
            o.faults.pauseEvery =
                static_cast<unsigned>(parseNumber(option, takeValue(), 1, 1000000));
            if (o.faults.pauseMs == 0) o.faults.pauseMs = kDefaultPauseMs;
        } else if (option == "--fault-pause-ms") {
            o.faults.pauseMs = static_cast<unsigned>(parseNumber(option, takeValue(), 1, 600000));
        } else if (option == "--fault-unplug-after") {
            o.faults.unplugAfter = parseNumber(option, takeValue(), 1, ULONG_MAX);
        } else {
            throw UsageError("unknown option " + quotedText(args[i]));
        }
    }
    return result;
}

}  // namespace sim
