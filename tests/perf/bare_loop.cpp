// The floor of the main loop's pacing: one 256-byte datagram to
// 127.0.0.1:12345 and a 1 ms sleep, over and over, with nothing else.
// measure-cpu.sh runs it beside the program and compares their CPU.
//   usage: tarvel_bare_loop   (runs until stopped)
#include <chrono>
#include <thread>

#include "output/telemetry.h"
#include "platform/udp.h"

int main() {
    platform::UdpSender socket;
    socket.open(kTelemetryPort);
    unsigned char record[kTelemetryRecordSize] = {};
    for (;;) {
        socket.send(record, sizeof record);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
