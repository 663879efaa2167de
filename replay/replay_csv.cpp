#include "replay_csv.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <string_view>

#include "text_excerpt.h"

namespace Replay {
namespace {

constexpr double kTicksPerSecond = 10000.0;    // device clock: 100 us per tick
constexpr double kClockTicks = 4294967296.0;   // the 32-bit clock wraps here
constexpr std::size_t kOutputPiece = 1 << 16;  // bytes of rows handed on at once

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

}  // namespace

CsvReader::CsvReader(std::streambuf& in, const std::string& source,
                     const std::vector<std::string>& required,
                     const std::vector<std::string>& optional)
    : lines_(in, source, kMaxLineBytes), source_(source), names_(required) {
    names_.insert(names_.end(), optional.begin(), optional.end());
    // The header is the first non-blank line.
    std::string_view line;
    bool found = false;
    while (lines_.next(line)) {
        if (!blank(line)) {
            found = true;
            break;
        }
    }
    if (!found) throw Error(source_ + ": no header line (the file is empty)");
    std::vector<std::string_view> header;
    split(line, header);
    for (std::string_view& name : header)
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
            name = name.substr(1, name.size() - 2);
    fieldCount_ = header.size();

    fieldOf_.assign(names_.size(), -1);
    for (std::size_t c = 0; c < names_.size(); ++c) {
        for (std::size_t f = 0; f < header.size(); ++f) {
            if (header[f] != names_[c]) continue;
            if (fieldOf_[c] >= 0)
                throw Error(where() + "column '" + names_[c] + "' appears twice in the header");
            fieldOf_[c] = static_cast<long>(f);
        }
        if (fieldOf_[c] < 0 && c < required.size())
            throw Error(where() + "missing column '" + names_[c] + "' in the header");
    }
    values_.assign(names_.size(), std::numeric_limits<double>::quiet_NaN());
    fields_.reserve(fieldCount_);
}

bool CsvReader::next() {
    std::string_view line;
    do {
        if (!lines_.next(line)) return false;
    } while (blank(line));
    split(line, fields_);
    if (fields_.size() != fieldCount_)
        throw Error(where() + std::to_string(fields_.size()) + " fields, but the header has " +
                    std::to_string(fieldCount_));
    for (std::size_t c = 0; c < names_.size(); ++c) {
        if (fieldOf_[c] < 0) continue;
        const std::string_view field = fields_[static_cast<std::size_t>(fieldOf_[c])];
        if (const char* fault = parseNumber(field, values_[c]))
            throw Error(where() + "column '" + names_[c] + "': " + fault + " " + excerpt(field));
    }
    return true;
}

std::string CsvReader::where() const {
    return source_ + ":" + std::to_string(line()) + ": ";
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

SensorSample sensorSample(const CsvReader& row) {
    const double t = row[0];
    if (!std::isfinite(t) || t < 0)
        throw Error(row.where() + "column 't_s': the time must be finite and not negative, not " +
                    std::to_string(t));
    SensorSample s{};
    // ticks = round(t / 100 us) mod 2^32
    const double ticks = std::fmod(std::nearbyint(t * kTicksPerSecond), kClockTicks);
    s.timestamp = static_cast<uint32_t>(ticks);
    for (int k = 0; k < 3; ++k) {
        s.acc[k] = static_cast<float>(row[1 + k]);
        s.gyr[k] = static_cast<float>(row[4 + k]);
        s.mag[k] = static_cast<float>(row[7 + k]);
    }
    return s;
}

void replay(std::vector<SensorSample>& samples, Quorvane::FilterProfile profile) {
    Quorvane::HostFilter filter(profile);
    for (SensorSample& s : samples) {
        const SensorSample in = s;
        filter.update(&in, &s, 1.0);
    }
}

OrientationWriter::OrientationWriter(std::ostream& out) : out_(out) {
    buffer_.reserve(kOutputPiece);
    buffer_ += "t_s,qw,qx,qy,qz\n";
}

void OrientationWriter::write(double seconds, const SensorSample& sample) {
    char number[64];
    auto append = [&](auto value) {
        const auto [end, ec] = std::to_chars(number, number + sizeof number, value);
        (void)ec;  // 64 characters hold any float or double
        buffer_.append(number, end);
    };
    append(seconds);
    for (int k = 0; k < 4; ++k) {
        buffer_ += ',';
        append(sample.quat[k]);
    }
    buffer_ += '\n';
    if (buffer_.size() > kOutputPiece - 256) {
        out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        buffer_.clear();
    }
}

void OrientationWriter::flush() {
    errno = 0;
    out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
    out_.flush();
    if (!out_)
        throw Error(std::string("cannot write the output") +
                    (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string()));
}

}  // namespace Replay
