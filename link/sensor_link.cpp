// The process-wide SensorLink record, the port opening and the tare capture.
#include "link/sensor_link.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "link/stream_reader.h"
#include "platform/serial.h"

namespace {

// How long an opening waits before it takes the first tare: the controller sends a frame every
// 10 ms once it is powered, and a controller that was just plugged in needs a moment to start,
// so half a second lets a whole frame arrive before its loads become the baseline.
constexpr auto kFirstFrameWait = std::chrono::milliseconds(500);

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
    for (auto& v : rawLoad) v.store(-1.0f, std::memory_order_relaxed);
    tick.store(0.0f, std::memory_order_relaxed);
    {
        const std::lock_guard<std::mutex> lock(latestMutex_);
        latest_ = SensorFrame{{-1, -1, -1, -1, -1, -1, -1, -1}, 0.0f, false, {}};
    }
    frames.clear();
    strayText.clear();
    deviceName.clear();
    for (float& t : tare) t = 0.0f;
}

void openSensorPort(int portNumber) {
    SensorLink& link = SensorLink::instance();
    if (link.connected) return;
    link.reset();

    const std::string& device = portDevice();
    auto port = device.empty() ? std::make_unique<platform::SerialPort>(portNumber)
                               : std::make_unique<platform::SerialPort>(device);
    if (!port->open()) {
        // Once per attempt: the reader's quiet reopens after an unplug do not come here.
        const std::string why = port->openFailure();
        if (!why.empty()) std::fprintf(stderr, "tarvel: %s\n", why.c_str());
        return;
    }
    link.connected = true;
    link.deviceName = port->deviceName();
    // Connected all the same, like a port whose line settings are refused, but it shows no data.
    const std::string notSerial = port->lineFailure();
    if (!notSerial.empty()) std::fprintf(stderr, "tarvel: %s\n", notSerial.c_str());

    link.readerThread = std::make_unique<StreamReader>(std::move(port), link);
    std::this_thread::sleep_for(kFirstFrameWait);
    captureTare();
    // The frames of the wait made the tare; the passes begin with the frames after it.
    SensorFrame before;
    while (link.frames.pop(before)) {
    }
}

void captureTare() {
    SensorLink& link = SensorLink::instance();
    if (!link.connected) return;
    // One frame's loads: values of two frames would tare each sensor against another moment.
    link.latestLoads(link.tare);
}

void stopSensorReader() {
    SensorLink::instance().readerThread.reset();
}
