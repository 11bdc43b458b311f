// Input injector on Windows: one SendInput record per event, key records handed over with
// their virtual-key code, scan code and flag word as the emulator built them.
#include <windows.h>

#include <cstring>

#include "platform/input_injector.h"

namespace platform {

namespace {

class SendInputInjector final : public InputInjector {
  public:
    void sendKey(const KeyRecord& key) override {
        INPUT input;
        std::memset(&input, 0, sizeof input);
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key.virtualKey;
        input.ki.wScan = key.scanCode;
        input.ki.dwFlags = key.flags;
        input.ki.time = 0;
        input.ki.dwExtraInfo = 0;
        SendInput(1, &input, sizeof(INPUT));
    }

    void sendMouse(const MouseRecord& mouse) override {
        INPUT input;
        std::memset(&input, 0, sizeof input);
        input.type = INPUT_MOUSE;
        input.mi.dx = mouse.dx;
        input.mi.dy = mouse.dy;
        input.mi.mouseData = 0;
        input.mi.dwFlags = mouse.flags;
        SendInput(1, &input, sizeof(INPUT));
    }

    std::uint16_t scanCodeFor(int virtualKey) override {
        return static_cast<std::uint16_t>(
            MapVirtualKeyA(static_cast<UINT>(virtualKey), MAPVK_VK_TO_VSC) & 0xFFFF);
    }
};

}  // namespace

std::unique_ptr<InputInjector> createInputInjector() {
    return std::make_unique<SendInputInjector>();
}

}  // namespace platform
