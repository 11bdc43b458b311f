// An input injector for tests: records every key and mouse record it is
// given, in order, and answers scan codes from the portable US table.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "platform/input_injector.h"
#include "tests/support/us_scan_codes.h"

namespace testsupport {

class RecordingInjector : public platform::InputInjector {
  public:
    struct Event {
        bool isKey = false;
        platform::KeyRecord key;
        platform::MouseRecord mouse;
    };

    void sendKey(const platform::KeyRecord& key) override {
        Event e;
        e.isKey = true;
        e.key = key;
        events.push_back(e);
    }

    void sendMouse(const platform::MouseRecord& mouse) override {
        Event e;
        e.mouse = mouse;
        events.push_back(e);
    }

    std::uint16_t scanCodeFor(int virtualKey) override {
        scanCodeQueries.push_back(virtualKey);
        auto it = scanCodeOverrides.find(virtualKey);
        if (it != scanCodeOverrides.end()) return it->second;
        return usScanCode(virtualKey);
    }

    // The events as short texts: "press W", "release A", "button down",
    // "button up", "turn 3"; keys other than letters by their hex code ("press 0x25").
    // Anything the emulator should never send shows as "?" plus its flags.
    std::vector<std::string> describe() const {
        std::vector<std::string> out;
        for (const Event& e : events) out.push_back(describe(e));
        return out;
    }

    // The texts of the events recorded since the last call.
    std::vector<std::string> take() {
        std::vector<std::string> out = describe();
        events.clear();
        return out;
    }

    static std::string describe(const Event& e) {
        char buf[64];
        if (e.isKey) {
            const std::uint32_t flags = e.key.flags & ~platform::kKeyEventExtendedKey;
            const char* what = nullptr;
            if (flags == platform::kKeyEventScanCode || flags == 0) what = "press";
            if (flags == (platform::kKeyEventScanCode | platform::kKeyEventKeyUp) ||
                flags == platform::kKeyEventKeyUp) {
                what = "release";
            }
            if (what == nullptr) {
                std::snprintf(buf, sizeof buf, "? key flags %u", unsigned(e.key.flags));
            } else if (e.key.virtualKey >= 'A' && e.key.virtualKey <= 'Z') {
                std::snprintf(buf, sizeof buf, "%s %c", what, char(e.key.virtualKey));
            } else {
                std::snprintf(buf, sizeof buf, "%s 0x%X", what, unsigned(e.key.virtualKey));
            }
        } else if (e.mouse.flags == platform::kMouseEventLeftDown && e.mouse.dx == 0 &&
                   e.mouse.dy == 0) {
            std::snprintf(buf, sizeof buf, "button down");
        } else if (e.mouse.flags == platform::kMouseEventLeftUp && e.mouse.dx == 0 &&
                   e.mouse.dy == 0) {
            std::snprintf(buf, sizeof buf, "button up");
        } else if (e.mouse.flags == platform::kMouseEventMove && e.mouse.dy == 0) {
            std::snprintf(buf, sizeof buf, "turn %d", int(e.mouse.dx));
        } else {
            std::snprintf(buf, sizeof buf, "? mouse flags %u dx %d dy %d", unsigned(e.mouse.flags),
                          int(e.mouse.dx), int(e.mouse.dy));
        }
        return buf;
    }

    std::vector<Event> events;
    std::vector<int> scanCodeQueries;
    std::map<int, std::uint16_t> scanCodeOverrides;
};

}  // namespace testsupport
