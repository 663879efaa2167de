#include "replay_csv.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>

namespace Replay {
namespace {

constexpr double kTicksPerSecond = 10000.0;   // device clock: 100 us per tick
constexpr double kClockTicks = 4294967296.0;  // the 32-bit clock wraps here

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Splits one line at the commas into fields; reuses the vector's storage.
void split(std::string_view line, std::vector<std::string_view>& fields) {
    fields.clear();
    for (;;) {
        const std::size_t comma = line.find(',');
        fields.push_back(trim(line.substr(0, comma)));
        if (comma == std::string_view::npos) return;
        line.remove_prefix(comma + 1);
    }
}

// The next line of text from pos on (without its line break); false at the end.
bool nextLine(const std::string& text, std::size_t& pos, std::string_view& line) {
    if (pos >= text.size()) return false;
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    line = std::string_view(text).substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    pos = end + 1;
    return true;
}

bool blank(std::string_view line) {
    return trim(line).empty();
}

// A whole field as a double: decimal or exponent notation, "nan", "inf",
// with an optional sign. Returns what is wrong with the field, or nullptr.
const char* parseNumber(std::string_view field, double& value) {
    if (!field.empty() && field.front() == '+') field.remove_prefix(1);
    if (field.empty()) return "empty field";
    const char* end = field.data() + field.size();
    const auto [ptr, ec] = std::from_chars(field.data(), end, value);
    // Beyond the range of double: better refused than silently clamped.
    if (ec == std::errc::result_out_of_range) return "number out of range";
    if (ec != std::errc() || ptr != end) return "malformed number";
    return nullptr;
}

std::string where(const std::string& source, std::size_t line) {
    return source + ":" + std::to_string(line) + ": ";
}

}  // namespace

Columns readColumns(const std::string& text, const std::string& source,
                    const std::vector<std::string>& required,
                    const std::vector<std::string>& optional) {
    std::size_t pos = 0;
    std::size_t lineNumber = 0;
    std::string_view line;
    // The header is the first non-blank line.
    bool found = false;
    while (nextLine(text, pos, line)) {
        ++lineNumber;
        if (!blank(line)) {
            found = true;
            break;
        }
    }
    if (!found) throw Error(source + ": no header line (the file is empty)");
    const std::size_t headerLine = lineNumber;
    std::vector<std::string_view> header;
    split(line, header);
    for (std::string_view& name : header)
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
            name = name.substr(1, name.size() - 2);

    // Field index of every requested column; -1 for an absent optional one.
    std::vector<std::string> names = required;
    names.insert(names.end(), optional.begin(), optional.end());
    std::vector<long> index(names.size(), -1);
    for (std::size_t c = 0; c < names.size(); ++c) {
        for (std::size_t f = 0; f < header.size(); ++f) {
            if (header[f] != names[c]) continue;
            if (index[c] >= 0)
                throw Error(where(source, headerLine) + "column '" + names[c] +
                            "' appears twice in the header");
            index[c] = static_cast<long>(f);
        }
        if (index[c] < 0 && c < required.size())
            throw Error(where(source, headerLine) + "missing column '" + names[c] +
                        "' in the header");
    }

    Columns columns;
    columns.values.resize(names.size());
    const std::size_t expectedRows = text.size() / (header.size() * 8 + 1) + 1;
    for (std::size_t c = 0; c < names.size(); ++c)
        if (index[c] >= 0) columns.values[c].reserve(expectedRows);
    columns.lines.reserve(expectedRows);

    std::vector<std::string_view> fields;
    fields.reserve(header.size());
    while (nextLine(text, pos, line)) {
        ++lineNumber;
        if (blank(line)) continue;
        split(line, fields);
        if (fields.size() != header.size())
            throw Error(where(source, lineNumber) + std::to_string(fields.size()) +
                        " fields, but the header has " + std::to_string(header.size()));
        for (std::size_t c = 0; c < names.size(); ++c) {
            if (index[c] < 0) continue;
            const std::string_view field = fields[static_cast<std::size_t>(index[c])];
            double value;
            if (const char* fault = parseNumber(field, value))
                throw Error(where(source, lineNumber) + "column '" + names[c] + "': " + fault +
                            " '" + std::string(field) + "'");
            columns.values[c].push_back(value);
        }
        columns.lines.push_back(lineNumber);
    }
    return columns;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Error(path + ": cannot open: " + std::strerror(errno));
    std::ostringstream text;
    text << in.rdbuf();
    // rdbuf() of an empty file sets failbit without a read error; only badbit
    // is a failure to read.
    if (in.bad()) throw Error(path + ": read error: " + std::strerror(errno));
    return text.str();
}

const std::vector<std::string>& sensorColumns() {
    static const std::vector<std::string> names = {"t_s",   "acc_x", "acc_y", "acc_z", "gyr_x",
                                                   "gyr_y", "gyr_z", "mag_x", "mag_y", "mag_z"};
    return names;
}

Recording recordingFrom(const Columns& columns, const std::string& source) {
    if (columns.values.size() < sensorColumns().size())
        throw Error(source + ": the sensor columns were not read");
    const auto& v = columns.values;
    Recording r;
    r.seconds = v[0];
    r.samples.resize(columns.rows());
    for (std::size_t i = 0; i < columns.rows(); ++i) {
        const double t = v[0][i];
        if (!std::isfinite(t) || t < 0)
            throw Error(where(source, columns.lines[i]) +
                        "column 't_s': the time must be finite and not negative, not " +
                        std::to_string(t));
        SensorSample& s = r.samples[i];
        s = SensorSample{};
        // ticks = round(t / 100 us) mod 2^32
        const double ticks = std::fmod(std::nearbyint(t * kTicksPerSecond), kClockTicks);
        s.timestamp = static_cast<uint32_t>(ticks);
        for (int k = 0; k < 3; ++k) {
            s.acc[k] = static_cast<float>(v[1 + k][i]);
            s.gyr[k] = static_cast<float>(v[4 + k][i]);
            s.mag[k] = static_cast<float>(v[7 + k][i]);
        }
    }
    return r;
}

void replay(std::vector<SensorSample>& samples, Quorvane::FilterProfile profile) {
    Quorvane::HostFilter filter(profile);
    for (SensorSample& s : samples) {
        const SensorSample in = s;
        filter.update(&in, &s, 1.0);
    }
}

void writeOrientations(std::ostream& out, const Recording& recording) {
    // Rows are formatted into one buffer that is written in large pieces.
    std::string buffer;
    buffer.reserve(1 << 16);
    buffer += "t_s,qw,qx,qy,qz\n";
    char number[64];
    auto append = [&](auto value) {
        const auto [end, ec] = std::to_chars(number, number + sizeof number, value);
        (void)ec;  // 64 characters hold any float or double
        buffer.append(number, end);
    };
    for (std::size_t i = 0; i < recording.samples.size(); ++i) {
        append(recording.seconds[i]);
        for (int k = 0; k < 4; ++k) {
            buffer += ',';
            append(recording.samples[i].quat[k]);
        }
        buffer += '\n';
        if (buffer.size() > (1 << 16) - 256) {
            out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            buffer.clear();
        }
    }
    out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
}

}  // namespace Replay
