// Pseudo-terminal of the simulator: posix_openpt, raw slave, link by rename.
#include "tools/sim/pty_port.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {

namespace {

std::string errnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

std::string readLink(const std::string& path) {
    char buf[4096];
    ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    if (n < 0) return {};
    return std::string(buf, static_cast<std::size_t>(n));
}

}  // namespace

PtyPort::PtyPort(std::string linkPath) : link_(std::move(linkPath)) {}

PtyPort::~PtyPort() {
    close();
}

bool PtyPort::open(std::string& error) {
    replacedNote_.clear();

    // Only a symbolic link may be replaced: never clobber a user's file.
    struct stat st;
    if (::lstat(link_.c_str(), &st) == 0 && !linkIsOurs()) {
        if (!S_ISLNK(st.st_mode)) {
            error = link_ + " exists and is not a symbolic link; not replacing it";
            return false;
        }
        const std::string target = readLink(link_);
        struct stat targetStat;
        replacedNote_ = ::stat(link_.c_str(), &targetStat) == 0
                            ? "replaced link " + link_ + " -> " + target + " (a device that exists)"
                            : "replaced stale link " + link_ + " -> " + target;
    }

    int m = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m < 0) {
        error = errnoText("posix_openpt");
        return false;
    }
    char name[128];
    if (::grantpt(m) != 0 || ::unlockpt(m) != 0 || ::ptsname_r(m, name, sizeof name) != 0) {
        error = errnoText("pty setup");
        ::close(m);
        return false;
    }

    // Raw mode on the slave: no line editing, no CR/LF translation, no echo,
    // so the frames reach the reader byte for byte. Opening and closing the
    // slave once also makes the master report a hang-up until a reader opens
    // it (a pty that was never opened reports none).
    int s = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (s < 0) {
        error = errnoText(std::string("open ") + name);
        ::close(m);
        return false;
    }
    termios tio{};
    if (::tcgetattr(s, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B115200);
        ::cfsetospeed(&tio, B115200);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
        ::tcsetattr(s, TCSANOW, &tio);
    }
    ::close(s);

    // Point the link at the device: a temporary link renamed over the old
    // one, so that the name always resolves to a device.
    const std::string temp = link_ + ".tmp." + std::to_string(::getpid());
    ::unlink(temp.c_str());
    if (::symlink(name, temp.c_str()) != 0) {
        error = errnoText("symlink " + temp);
        ::close(m);
        return false;
    }
    if (::rename(temp.c_str(), link_.c_str()) != 0) {
        error = errnoText("rename " + temp + " to " + link_);
        ::unlink(temp.c_str());
        ::close(m);
        return false;
    }
    // The link now names the new device; the old one (if any) goes away
    // without a moment in which the name resolves to nothing.
    if (master_ >= 0) ::close(master_);
    master_ = m;
    device_ = name;
    return true;
}

bool PtyPort::linkIsOurs() const {
    return !device_.empty() && readLink(link_) == device_;
}

void PtyPort::close() {
    if (master_ < 0) return;
    // Remove the link first, so that nobody opens a device about to vanish.
    if (linkIsOurs()) ::unlink(link_.c_str());
    ::close(master_);
    master_ = -1;
    device_.clear();
}

bool PtyPort::readerAttached() const {
    if (master_ < 0) return false;
    pollfd p{master_, POLLOUT, 0};
    if (::poll(&p, 1, 0) < 0) return false;
    return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
}

void PtyPort::drainInput() {
    if (master_ < 0) return;
    char buf[4096];
    while (::read(master_, buf, sizeof buf) > 0) {
    }
}

PtyPort::WriteResult PtyPort::write(const std::string& bytes) {
    if (master_ < 0) return WriteResult::Failed;
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return WriteResult::Failed;
        break;  // the line is full: drop the rest
    }
    if (done == bytes.size()) return WriteResult::Complete;
    return done == 0 ? WriteResult::Dropped : WriteResult::Partial;
}

}  // namespace sim
