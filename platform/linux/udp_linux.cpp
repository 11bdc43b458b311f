// UDP sender on Linux: a datagram socket bound to 127.0.0.1 for a loopback destination, so
// nothing off this machine can reach it, and to every address only for a LAN destination.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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
    return true;
}

bool UdpSender::send(const void* data, std::size_t size) {
    if (socket_ < 0) return false;
    ssize_t n = ::sendto(static_cast<int>(socket_), data, size, MSG_DONTWAIT,
                         reinterpret_cast<const sockaddr*>(destination_), sizeof(sockaddr_in));
    return n == static_cast<ssize_t>(size);
}

void UdpSender::close() {
    if (socket_ >= 0) {
        ::close(static_cast<int>(socket_));
        socket_ = -1;
    }
}

}  // namespace platform
