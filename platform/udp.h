// UDP seam: a datagram socket bound to the loopback interface that sends to
// one loopback port.
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

    // Creates the socket, binds it to 127.0.0.1 on a port the system picks and
    // sets the destination 127.0.0.1:destinationPort. False when that failed;
    // every later send then fails quietly.
    bool open(std::uint16_t destinationPort);
    bool send(const void* data, std::size_t size);
    void close();

private:
    std::intptr_t socket_ = -1;
    // The destination as the platform's IPv4 address record (16 bytes).
    alignas(8) unsigned char destination_[16] = {};
};

}  // namespace platform
