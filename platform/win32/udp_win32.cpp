// UDP sender on Windows: Winsock 2.0, a datagram socket bound to 127.0.0.1 for a loopback
// destination, so nothing off this machine can reach it, and to every address only for a LAN
// destination; connected to its destination, so that no one else's datagram is queued on it.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

#include "platform/udp.h"
#include "text/ipv4_text.h"

namespace platform {

static_assert(sizeof(sockaddr_in) == 16, "the IPv4 address record is 16 bytes");

UdpSender::~UdpSender() {
    close();
}

bool UdpSender::open(std::uint16_t destinationPort, std::uint32_t destinationAddress) {
    close();
    sockaddr_in to;
    std::memset(&to, 0, sizeof to);
    to.sin_family = AF_INET;
    to.sin_port = htons(destinationPort);
    to.sin_addr.s_addr = htonl(destinationAddress);
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
    local.sin_addr.s_addr =
        htonl(text::isLoopbackIPv4(destinationAddress) ? kLoopback : INADDR_ANY);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        closesocket(s);
        WSACleanup();
        return false;
    }
    // A full send buffer drops the datagram instead of stalling the main loop.
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    socket_ = static_cast<std::intptr_t>(s);
    ensureConnected();
    return true;
}

bool UdpSender::ensureConnected() {
    if (!connected_) {
        connected_ =
            ::connect(static_cast<SOCKET>(socket_), reinterpret_cast<const sockaddr*>(destination_),
                      sizeof(sockaddr_in)) == 0;
    }
    return connected_;
}

bool UdpSender::send(const void* data, std::size_t size) {
    if (socket_ == -1 || !ensureConnected()) return false;
    const SOCKET s = static_cast<SOCKET>(socket_);
    int n = ::send(s, static_cast<const char*>(data), static_cast<int>(size), 0);
    // The report that nobody listened to an earlier datagram may come with this send instead.
    if (n == SOCKET_ERROR && WSAGetLastError() == WSAECONNRESET) {
        n = ::send(s, static_cast<const char*>(data), static_cast<int>(size), 0);
    }
    return n == static_cast<int>(size);
}

void UdpSender::close() {
    if (socket_ != -1) {
        closesocket(static_cast<SOCKET>(socket_));
        WSACleanup();
        socket_ = -1;
        connected_ = false;
    }
}

}  // namespace platform
