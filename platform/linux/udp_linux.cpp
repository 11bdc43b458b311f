// UDP sender on Linux: a datagram socket bound to 127.0.0.1 for a loopback destination, so
// nothing off this machine can reach it, and to every address only for a LAN destination;
// connected to its destination, so that no one else's datagram is ever queued on it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/udp.h"
#include "text/ipv4_text.h"

namespace platform {

UdpSender::~UdpSender() {
    close();
}

bool UdpSender::open(std::uint16_t destinationPort, std::uint32_t destinationAddress) {
    close();
    static_assert(sizeof(sockaddr_in) == sizeof destination_);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(destinationPort);
    to.sin_addr.s_addr = htonl(destinationAddress);
    std::memcpy(destination_, &to, sizeof to);
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = 0;
    local.sin_addr.s_addr =
        htonl(text::isLoopbackIPv4(destinationAddress) ? kLoopback : INADDR_ANY);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return false;
    }
    socket_ = fd;
    ensureConnected();
    return true;
}

bool UdpSender::ensureConnected() {
    if (!connected_) {
        connected_ =
            ::connect(static_cast<int>(socket_), reinterpret_cast<const sockaddr*>(destination_),
                      sizeof(sockaddr_in)) == 0;
    }
    return connected_;
}

bool UdpSender::send(const void* data, std::size_t size) {
    if (socket_ < 0 || !ensureConnected()) return false;
    const int fd = static_cast<int>(socket_);
    ssize_t n = ::send(fd, data, size, MSG_DONTWAIT);
    // A connected socket hears that nobody listened to an earlier datagram through the next
    // send, which then sends nothing: send this one again.
    if (n < 0 && errno == ECONNREFUSED) n = ::send(fd, data, size, MSG_DONTWAIT);
    return n == static_cast<ssize_t>(size);
}

void UdpSender::close() {
    if (socket_ >= 0) {
        ::close(static_cast<int>(socket_));
        socket_ = -1;
        connected_ = false;
    }
}

}  // namespace platform
