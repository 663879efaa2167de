#include "state_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "input_file.h"
#include "quoted_text.h"

namespace sim {
namespace {

constexpr char kMagic[4] = {'T', 'S', 'I', 'M'};
constexpr std::uint16_t kVersion = 1;
constexpr std::size_t kHeaderSize = 10;

[[noreturn]] void fail(const std::string& path, const std::string& what) {
    throw std::runtime_error("tracker_sim: state file " + quotedText(path, 1024) + ": " + what);
}

void putU16(std::vector<std::uint8_t>& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

unsigned getU16(const std::vector<std::uint8_t>& in, std::size_t at) {
    return in[at] | (in[at + 1] << 8);
}

void writeAll(int fd, const std::vector<std::uint8_t>& bytes, const std::string& path) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail(path, std::strerror(errno));
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

std::optional<ParameterMemory> loadStateFile(const std::string& path) {
    constexpr std::size_t kFileSize = kHeaderSize + kBank0Size + kBank1Size;
    std::optional<std::string> text;
    try {
        text = readInputFile(path, kFileSize);
    } catch (const InputFileError& e) {
        fail(path, e.what());
    }
    if (!text) return std::nullopt;
    const std::vector<std::uint8_t> bytes(text->begin(), text->end());

    if (bytes.size() < kHeaderSize || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
        fail(path, "not a tracker_sim state file");
    if (getU16(bytes, 4) != kVersion)
        fail(path, "unsupported version " + std::to_string(getU16(bytes, 4)));
    if (getU16(bytes, 6) != kBank0Size || getU16(bytes, 8) != kBank1Size)
        fail(path, "bank sizes do not match this device");
    if (bytes.size() != kFileSize)
        fail(path, "size " + std::to_string(bytes.size()) + " bytes, expected " +
                       std::to_string(kFileSize));

    ParameterMemory memory;
    const auto bank0 = bytes.begin() + kHeaderSize;
    const auto bank1 = bank0 + kBank0Size;
    std::copy(bank0, bank1, memory.bank(0).begin());
    std::copy(bank1, bytes.end(), memory.bank(1).begin());
    return memory;
}

void saveStateFile(const std::string& path, const ParameterMemory& memory) {
    std::vector<std::uint8_t> bytes(kMagic, kMagic + sizeof kMagic);
    putU16(bytes, kVersion);
    putU16(bytes, kBank0Size);
    putU16(bytes, kBank1Size);
    bytes.insert(bytes.end(), memory.bank(0).begin(), memory.bank(0).end());
    bytes.insert(bytes.end(), memory.bank(1).begin(), memory.bank(1).end());

    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) fail(path, std::string("cannot create temporary file: ") + std::strerror(errno));
    try {
        ::fchmod(fd, 0644);  // mkstemp creates 0600; the file is no secret
        writeAll(fd, bytes, path);
        if (::fsync(fd) != 0) fail(path, std::strerror(errno));
    } catch (...) {
        ::close(fd);
        ::unlink(temp.c_str());
        throw;
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        fail(path, std::strerror(error));
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        fail(path, std::strerror(error));
    }
}

}  // namespace sim
