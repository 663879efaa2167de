#include "input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {
namespace {

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

}  // namespace

std::optional<std::string> readInputFile(const std::string& path, std::size_t maxBytes) {
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT) return std::nullopt;
        throw InputFileError(std::string("cannot open: ") + std::strerror(errno));
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        throw InputFileError(std::string("cannot examine: ") + std::strerror(errno));
    if (S_ISDIR(st.st_mode)) throw InputFileError("is a directory");
    if (!S_ISREG(st.st_mode)) throw InputFileError("is not a regular file");
    const std::string tooLarge = "larger than " + std::to_string(maxBytes) + " bytes";
    if (static_cast<unsigned long long>(st.st_size) > maxBytes) throw InputFileError(tooLarge);

    // One byte more than allowed tells a file that grew since fstat.
    std::string text(maxBytes + 1, '\0');
    std::size_t used = 0;
    while (used < text.size()) {
        const ssize_t n = ::read(fd.get(), text.data() + used, text.size() - used);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw InputFileError(std::string("read error: ") + std::strerror(errno));
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    if (used > maxBytes) throw InputFileError(tooLarge);
    text.resize(used);
    return text;
}

}  // namespace sim
