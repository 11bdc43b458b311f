// The process-wide SensorLink record, the port opening and the tare capture.
#include "link/sensor_link.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

#include "analysis/walk_state.h"
#include "link/stream_reader.h"
#include "platform/serial.h"

namespace {

std::string& portDevice() {
    static std::string device;
    return device;
}

}  // namespace

void setSensorPortDevice(std::string devicePath) {
    portDevice() = std::move(devicePath);
}

SensorLink::SensorLink() {
    for (auto& v : rawLoad) v.store(-1.0f, std::memory_order_relaxed);
}

SensorLink::~SensorLink() = default;

SensorLink& SensorLink::instance() {
    // Created on first use and deliberately never destroyed: the reader
    // thread may still be running while static objects are torn down.
    static SensorLink* link = new SensorLink();
    return *link;
}

void SensorLink::reset() {
    // Stopping the reader closes the port it owns.
    readerThread.reset();
    connected = false;
    portNumber = -1;
    portHandle.store(-1, std::memory_order_relaxed);
    for (auto& v : rawLoad) v.store(-1.0f, std::memory_order_relaxed);
    tick.store(0.0f, std::memory_order_relaxed);
    frames.store(0, std::memory_order_relaxed);
    for (float& t : tare) t = 0.0f;
    readerThreadId = 0xFFFFFFFFu;
}

void openSensorPort() {
    SensorLink& link = SensorLink::instance();
    if (link.connected) return;
    const int n = WalkState::instance().comID;
    link.reset();
    link.portNumber = n;

    const std::string& device = portDevice();
    auto port = device.empty() ? std::make_unique<platform::SerialPort>(n)
                               : std::make_unique<platform::SerialPort>(device);
    if (!port->open()) {
        // Once per attempt: the reader's quiet reopens after an unplug do not come here.
        const std::string why = port->openFailure();
        if (!why.empty()) std::fprintf(stderr, "tarvel: %s\n", why.c_str());
        return;
    }
    link.connected = true;

    link.readerThread = std::make_unique<StreamReader>(std::move(port), link);
    link.readerThreadId =
        static_cast<std::uint32_t>(std::hash<std::thread::id>{}(link.readerThread->threadId()));

    // Give the reader time to deliver the first frame, then tare on it.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    captureTare();
}

void captureTare() {
    SensorLink& link = SensorLink::instance();
    if (!link.connected) return;
    for (int i = 0; i < 8; ++i) link.tare[i] = link.load(i);
}

void stopSensorReader() {
    SensorLink::instance().readerThread.reset();
}
