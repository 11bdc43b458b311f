// The serial devices of a Linux system that a platform can be (USB adapters and USB modems),
// and the one-line explanation of a port that did not open, naming them.
#pragma once

#include <string>
#include <vector>

namespace platform::serial_linux {

struct SerialDevice {
    std::string path;    // how to name it: its stable /dev/serial/by-id link when it has one
    std::string target;  // the device node behind it, e.g. /dev/ttyUSB0
};

// The devices under `devRoot` (normally /dev): each /dev/serial/by-id link, then each
// ttyUSB and ttyACM node that no such link leads to; in name order.
std::vector<SerialDevice> findSerialDevices(const std::string& devRoot = "/dev");

struct OpenAttempt {
    bool byNumber = true;  // a COM number was mapped, rather than a device named
    int portNumber = 0;    // the COM number
    std::string path;      // the path that was opened
    int error = 0;         // errno of the failure
    std::string folder;    // the working folder, absolute
};

// "COM3: /dev/ttyS2 is missing ...; serial devices: ...; make one COM3 with: ln -sf ...":
// the path tried, why it failed, and the devices there are with the command that would
// use one of them.
std::string describeOpenFailure(const OpenAttempt& attempt,
                                const std::vector<SerialDevice>& devices);

}  // namespace platform::serial_linux
