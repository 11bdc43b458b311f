// Pseudo-terminal pair for the serial tests.
#include "tests/support/pty_pair.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>

namespace testsupport {

PtyPair::PtyPair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        throw std::runtime_error("cannot open a pseudo-terminal");
    slave_ = ptsname(master_);
    // Raw on the slave side, so bytes pass unchanged even before the program
    // configures the line.
    int s = ::open(slave_.c_str(), O_RDWR | O_NOCTTY);
    if (s >= 0) {
        termios t{};
        tcgetattr(s, &t);
        cfmakeraw(&t);
        tcsetattr(s, TCSANOW, &t);
        ::close(s);
    }
}

PtyPair::~PtyPair() {
    closeMaster();
}

void PtyPair::write(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n <= 0) throw std::runtime_error("pty write failed");
        done += static_cast<std::size_t>(n);
    }
}

void PtyPair::closeMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

void PtyPair::linkAs(const std::string& linkPath) const {
    ::unlink(linkPath.c_str());
    if (::symlink(slave_.c_str(), linkPath.c_str()) != 0)
        throw std::runtime_error("cannot link " + linkPath);
}

}  // namespace testsupport
