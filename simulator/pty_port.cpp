#include "pty_port.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace sim {
namespace {

[[noreturn]] void fail(const char* what) {
    throw std::runtime_error(std::string("tracker_sim: ") + what + ": " + std::strerror(errno));
}

}  // namespace

PtyPort::PtyPort() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) fail("posix_openpt");
    try {
        if (::grantpt(master_) != 0) fail("grantpt");
        if (::unlockpt(master_) != 0) fail("unlockpt");
        char name[128];
        if (::ptsname_r(master_, name, sizeof name) != 0) fail("ptsname");
        slavePath_ = name;

        slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave_ < 0) fail("open pty slave");
        // Raw before any host sees the line: no echo of replies back into
        // the command stream, no CR/LF translation, no flow-control bytes.
        termios tio{};
        if (::tcgetattr(slave_, &tio) != 0) fail("tcgetattr");
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B115200);
        ::cfsetospeed(&tio, B115200);
        tio.c_cflag |= CSTOPB | CLOCAL | CREAD;
        if (::tcsetattr(slave_, TCSANOW, &tio) != 0) fail("tcsetattr");

        const int flags = ::fcntl(master_, F_GETFL);
        if (flags < 0 || ::fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0)
            fail("fcntl O_NONBLOCK");
    } catch (...) {
        if (slave_ >= 0) ::close(slave_);
        ::close(master_);
        throw;
    }
}

PtyPort::~PtyPort() {
    close();
}

void PtyPort::close() {
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
    slave_ = master_ = -1;
}

}  // namespace sim
