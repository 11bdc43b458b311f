// Serial port on Linux: termios, exclusive open (TIOCEXCL plus flock), raw
// 115200 8N1, and reads of all that is waiting, with a poll() wait that a
// wake-up pipe can interrupt.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "platform/linux/owned_path.h"
#include "platform/linux/serial_devices.h"
#include "platform/serial.h"

namespace platform {

struct SerialPort::Impl {
    int portNumber = 0;
    std::string givenPath;   // the device named instead of a number, if any
    std::string openedPath;  // the device first opened; reopens use it again
    // The path and errno of the last failed open(); failedErrno 0 after a success.
    std::string failedPath;
    int failedErrno = 0;
    // Why the last open was refused: another user's ./COM<n>, link or device.
    std::string refusal;
    int fd = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    // The last read left nothing behind (it returned less than it asked
    // for): the next one waits in poll() first instead of failing with EAGAIN.
    bool drained = false;
    // The open device is neither a terminal nor a pipe or socket: nothing is read from it.
    bool notSerial = false;
    std::atomic<bool> interrupted{false};
};

namespace {

// COM n is ./COM<n> in the working directory when that exists (normally a
// link to the device), otherwise the n-th serial device /dev/ttyS<n-1>.
std::string devicePathFor(int n) {
    std::string local = "./COM" + std::to_string(n);
    struct stat st;
    if (lstat(local.c_str(), &st) == 0) return local;
    // Widened first: the lowest port number a settings file can give has no predecessor in int.
    return "/dev/ttyS" + std::to_string(static_cast<long long>(n) - 1);
}

constexpr int kOpenFlags = O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;

// A port chosen by number may be ./COM<n> in a working folder that others can write to (/tmp):
// the link, every link and folder on the way and the device itself must be the user's own or
// root's, or another user would choose what the program reads. -1 with errno, or with the
// reason in `refusal`.
int openOwnDevice(const std::string& path, std::string& refusal) {
    owned_path::Rule rule;
    rule.ownFolders = true;
    owned_path::Folder folder;
    bool refused = false;
    if (!owned_path::openFolderOf(path, rule, folder, refusal, &refused)) {
        if (refused) {
            errno = EPERM;
        } else {
            refusal.clear();
        }
        return -1;
    }
    const int fd = ::openat(folder.fd, folder.name.empty() ? "." : folder.name.c_str(),
                            kOpenFlags | O_NOFOLLOW);
    if (fd < 0) return -1;
    struct stat st {};
    if (fstat(fd, &st) == 0 && !owned_path::trustedOwner(st.st_uid)) {
        refusal = owned_path::otherOwnerText(st.st_uid);
        ::close(fd);
        errno = EPERM;
        return -1;
    }
    return fd;
}

bool configureLine(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return false;
    cfmakeraw(&tio);
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

}  // namespace

SerialPort::SerialPort(std::string devicePath) : SerialPort(0) {
    impl_->givenPath = std::move(devicePath);
}

SerialPort::SerialPort(int portNumber) : impl_(std::make_unique<Impl>()) {
    impl_->portNumber = portNumber;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        impl_->wakeRead = fds[0];
        impl_->wakeWrite = fds[1];
    }
}

SerialPort::~SerialPort() {
    close();
    if (impl_->wakeRead >= 0) ::close(impl_->wakeRead);
    if (impl_->wakeWrite >= 0) ::close(impl_->wakeWrite);
}

std::string SerialPort::deviceName() const {
    if (!impl_->openedPath.empty()) return impl_->openedPath;
    return impl_->givenPath.empty() ? devicePathFor(impl_->portNumber) : impl_->givenPath;
}

std::string SerialPort::openFailure() const {
    if (impl_->failedErrno == 0) return {};
    if (!impl_->refusal.empty()) {
        return "COM" + std::to_string(impl_->portNumber) + ": " + impl_->failedPath +
               " is not opened: " + impl_->refusal;
    }
    serial_linux::OpenAttempt attempt;
    attempt.byNumber = impl_->givenPath.empty();
    attempt.portNumber = impl_->portNumber;
    attempt.path = impl_->failedPath;
    attempt.error = impl_->failedErrno;
    char folder[4096];
    attempt.folder = getcwd(folder, sizeof folder) ? folder : ".";
    return serial_linux::describeOpenFailure(attempt, serial_linux::findSerialDevices());
}

bool SerialPort::open() {
    close();
    // Without its wake-up pipe a blocked read could never be interrupted, and
    // stopping the reader would hang; such a port is not worth opening.
    if (impl_->wakeRead < 0) return false;
    const std::string path = deviceName();
    auto fail = [this, &path](int error) {
        impl_->failedPath = path;
        impl_->failedErrno = error;
        return false;
    };
    impl_->refusal.clear();
    int fd = impl_->givenPath.empty() ? openOwnDevice(path, impl_->refusal)
                                      : ::open(path.c_str(), kOpenFlags);
    if (fd < 0) return fail(errno);
    // Exclusive: TIOCEXCL keeps other (non-root) openers out, the lock keeps
    // out another copy of this program even when it runs as root.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return fail(error);
    }
    ioctl(fd, TIOCEXCL);
    // Not a terminal (a plain file, say): the port still counts as open, like one that refuses
    // its line settings, but what a file or /dev/null holds is not a stream from the platform.
    // A pipe or a socket carries a stream that some tool forwards, and is read.
    struct stat st;
    impl_->notSerial =
        !configureLine(fd) && fstat(fd, &st) == 0 && !S_ISFIFO(st.st_mode) && !S_ISSOCK(st.st_mode);
    // Hold DTR and RTS off. A pseudo-terminal refuses this (ENOTTY): fine.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd, TIOCMBIC, &lines);
    impl_->fd = fd;
    impl_->openedPath = path;
    impl_->failedErrno = 0;
    impl_->drained = false;
    return true;
}

std::string SerialPort::lineFailure() const {
    if (!isOpen() || !impl_->notSerial) return {};
    return impl_->openedPath +
           " is not a serial port (no terminal device): nothing is read from it";
}

void SerialPort::close() {
    if (impl_->fd >= 0) {
        ::close(impl_->fd);
        impl_->fd = -1;
    }
}

bool SerialPort::isOpen() const {
    return impl_->fd >= 0;
}

std::intptr_t SerialPort::nativeHandle() const {
    return impl_->fd;
}

SerialRead SerialPort::read(std::span<std::uint8_t> buffer, std::size_t& count) {
    count = 0;
    if (impl_->interrupted.load(std::memory_order_relaxed)) return SerialRead::Interrupted;
    if (impl_->fd < 0) return SerialRead::Gone;
    if (impl_->notSerial) {
        pollfd wake = {impl_->wakeRead, POLLIN, 0};
        while (poll(&wake, 1, -1) < 0 && errno == EINTR) {
        }
        return SerialRead::Interrupted;
    }
    // One read() takes everything that is waiting. After a read that emptied
    // the line, wait in poll() first (it also watches the wake-up pipe), so a
    // frame costs a poll() and a read() and no read() that fails with EAGAIN.
    for (;;) {
        if (impl_->drained) {
            pollfd fds[2] = {{impl_->fd, POLLIN, 0}, {impl_->wakeRead, POLLIN, 0}};
            int r = poll(fds, 2, -1);
            if (r < 0) return errno == EINTR ? SerialRead::Empty : SerialRead::Gone;
            if (fds[1].revents) return SerialRead::Interrupted;
            // Readable, hung up or failed: the read() below tells which.
            if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) {
                return SerialRead::Empty;
            }
        }
        ssize_t n = ::read(impl_->fd, buffer.data(), buffer.size());
        if (n > 0) {
            count = static_cast<std::size_t>(n);
            impl_->drained = count < buffer.size();
            return SerialRead::Data;
        }
        if (n == 0) return SerialRead::Gone;  // end of file: the device has gone
        if (errno == EINTR) return SerialRead::Empty;
        if (errno != EAGAIN) return SerialRead::Gone;  // EIO and the like
        impl_->drained = true;
    }
}

void SerialPort::interrupt() {
    impl_->interrupted.store(true, std::memory_order_relaxed);
    if (impl_->wakeWrite >= 0) {
        const char c = 1;
        [[maybe_unused]] ssize_t n = ::write(impl_->wakeWrite, &c, 1);
    }
}

}  // namespace platform
