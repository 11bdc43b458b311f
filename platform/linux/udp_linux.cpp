// UDP sender on Linux: a datagram socket bound to 127.0.0.1, so nothing off
// this machine can reach it, sending to a loopback port.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "platform/udp.h"

namespace platform {

UdpSender::~UdpSender() { close(); }

bool UdpSender::open(std::uint16_t destinationPort) {
    close();
    static_assert(sizeof(sockaddr_in) == sizeof destination_);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(destinationPort);
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    std::memcpy(destination_, &to, sizeof to);
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = 0;
    inet_pton(AF_INET, "127.0.0.1", &local.sin_addr);
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
