// Synthetic input seam: key strokes, left-button presses and releases and
// relative mouse moves injected into the desktop as if they came from the user's devices.
#pragma once

#include <cstdint>
#include <memory>

namespace platform {

// Flag words of a key record, with the values of the Windows SendInput call.
inline constexpr std::uint32_t kKeyEventExtendedKey = 0x0001;  // scan code takes the E0 prefix
inline constexpr std::uint32_t kKeyEventKeyUp = 0x0002;
inline constexpr std::uint32_t kKeyEventUnicode = 0x0004;   // types a character, no key stroke
inline constexpr std::uint32_t kKeyEventScanCode = 0x0008;  // the stroke of the scan code's key

// Flag words of a mouse record.
inline constexpr std::uint32_t kMouseEventMove = 0x0001;  // relative move by dx, dy
inline constexpr std::uint32_t kMouseEventLeftDown = 0x0002;
inline constexpr std::uint32_t kMouseEventLeftUp = 0x0004;

// One key stroke: the virtual-key code, the key's scan code and the flags
// that say press or release and how the key is named. The Windows backend
// hands it over unchanged; other backends find the key from virtualKey.
struct KeyRecord {
    std::uint16_t virtualKey = 0;
    std::uint16_t scanCode = 0;
    std::uint32_t flags = 0;
};

// One mouse event: a relative move and/or a button transition.
struct MouseRecord {
    std::int32_t dx = 0;
    std::int32_t dy = 0;
    std::uint32_t flags = 0;
};

class InputInjector {
  public:
    virtual ~InputInjector() = default;

    // Each call delivers one event; failures are not reported.
    virtual void sendKey(const KeyRecord& key) = 0;
    virtual void sendMouse(const MouseRecord& mouse) = 0;

    // The scan code of a virtual key in the current layout, 0 if it has none
    // or the backend finds keys by their virtual-key code alone.
    virtual std::uint16_t scanCodeFor(int virtualKey) = 0;
};

// The platform's real injector. It reaches the desktop lazily, on the first
// event; without one, events are dropped.
std::unique_ptr<InputInjector> createInputInjector();

}  // namespace platform
