// UDP sender on Windows: Winsock 2.0, a datagram socket bound to 127.0.0.1 so nothing off
// this machine can reach it, sending to a loopback port.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

#include "platform/udp.h"

namespace platform {

static_assert(sizeof(sockaddr_in) == 16, "the IPv4 address record is 16 bytes");

UdpSender::~UdpSender() {
    close();
}

bool UdpSender::open(std::uint16_t destinationPort) {
    close();
    sockaddr_in to;
    std::memset(&to, 0, sizeof to);
    to.sin_family = AF_INET;
    to.sin_port = htons(destinationPort);
    inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    std::memcpy(destination_, &to, sizeof to);

    WSADATA data;
    if (WSAStartup(0x0002, &data) != 0) return false;
    // From here on socket_ is valid exactly while the Winsock start-up is held.
    SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) {
        WSACleanup();
        return false;
    }
    sockaddr_in local;
    std::memset(&local, 0, sizeof local);
    local.sin_family = AF_INET;
    local.sin_port = 0;
    inet_pton(AF_INET, "127.0.0.1", &local.sin_addr);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        closesocket(s);
        WSACleanup();
        return false;
    }
    // A full send buffer drops the datagram instead of stalling the main loop.
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    socket_ = static_cast<std::intptr_t>(s);
    return true;
}

bool UdpSender::send(const void* data, std::size_t size) {
    if (socket_ == -1) return false;
    const int n = ::sendto(static_cast<SOCKET>(socket_), static_cast<const char*>(data),
                           static_cast<int>(size), 0,
                           reinterpret_cast<const sockaddr*>(destination_), sizeof(sockaddr_in));
    return n == static_cast<int>(size);
}

void UdpSender::close() {
    if (socket_ != -1) {
        closesocket(static_cast<SOCKET>(socket_));
        WSACleanup();
        socket_ = -1;
    }
}

}  // namespace platform
