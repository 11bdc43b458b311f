// UDP seam: a datagram socket that sends to one IPv4 address and port, bound to the loopback
// interface unless its destination lies off this machine.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

class UdpSender {
  public:
    UdpSender() = default;
    ~UdpSender();
    UdpSender(const UdpSender&) = delete;
    UdpSender& operator=(const UdpSender&) = delete;

    // 127.0.0.1 in host byte order.
    static constexpr std::uint32_t kLoopback = 0x7F000001;

    // Creates the socket and sets the destination destinationAddress:destinationPort (the
    // address in host byte order). The socket is bound, on a port the system picks, to
    // 127.0.0.1 when the destination is a loopback address (127.0.0.0/8), so nothing off this
    // machine can reach it; only for another destination (a device on the LAN) is it bound to
    // every local address. It is connected to the destination, so that the system drops every
    // datagram that comes from anywhere else; a destination without a route yet (the network
    // is still coming up) is connected at a later send. False when the socket could not be
    // made; every later send then fails quietly.
    bool open(std::uint16_t destinationPort, std::uint32_t destinationAddress = kLoopback);
    bool send(const void* data, std::size_t size);
    void close();

  private:
    // Connects the socket to destination_ when it is not yet; false when that fails.
    bool ensureConnected();

    std::intptr_t socket_ = -1;
    bool connected_ = false;
    // The destination as the platform's IPv4 address record (16 bytes).
    alignas(8) unsigned char destination_[16] = {};
};

}  // namespace platform
