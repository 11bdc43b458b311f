// A window of the toolkit on the real window system, for looking at: buttons
// and labels laid out like the program's window, a tray icon, and the tray
// menu on a right press. Runs until the menu's exit item or SIGTERM.
#include <csignal>
#include <cstdio>

#include "platform/window_system.h"
#include "ui/ui_widgets.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

class DemoWindow : public UI_Window {
  public:
    UI_Button connect, minus, plus, calibrate, reset;
    UI_Text com, comId, status, heading, value, steps, unit;
    int clicks = 0;

    void build() {
        const auto self = hwnd;
        connect.create(100, "∵", self, self, 0, 20, 2);
        com.create(0, "COM：", self, self, 0, 40, 17);
        minus.create(102, "－", self, self, 0, 20, 2);
        comId.create(0, "3", self, self, 0, 30, 17);
        comId.rightAlign = true;
        plus.create(101, "＋", self, self, 0, 20, 2);
        status.create(0, "・・・未接続", self, self, 0, 95, 17);
        heading.create(0, "各センサ値：", self, self, 0, 85, 17);
        calibrate.create(105, "キャリブレーション", self, self, 0, 130, 5);
        value.create(0, "12.345678", self, self, 0, 37, 17);
        value.textColour = 0xFFFF00;
        steps.create(0, "1234", self, self, 0, 280, 80);
        steps.rightAlign = true;
        reset.create(126, "リセット", self, self, 0, 50, 2);
        unit.create(0, "歩", self, self, 0, 80, 30);
    }
    void onSize() override {
        auto& ws = platform::windowSystem();
        ws.moveWindow(connect.hwnd, 10, 10);
        ws.moveWindow(com.hwnd, 30, 10);
        ws.moveWindow(minus.hwnd, 70, 10);
        ws.moveWindow(comId.hwnd, 90, 10);
        ws.moveWindow(plus.hwnd, 120, 10);
        ws.moveWindow(status.hwnd, 140, 10);
        ws.moveWindow(heading.hwnd, 10, 50);
        ws.moveWindow(calibrate.hwnd, 95, 50);
        ws.moveWindow(value.hwnd, 10, 70);
        ws.moveWindow(steps.hwnd, 80, 330);
        ws.moveWindow(reset.hwnd, 360, 345);
        ws.moveWindow(unit.hwnd, 370, 370);
    }
    void onCommand(platform::WParam w, platform::LParam) override {
        auto& ws = platform::windowSystem();
        const auto command = platform::loWord(w);
        if (command < 100) return;
        std::printf("command %u\n", command);
        std::fflush(stdout);
        if (command == 40004) {
            ws.removeTrayIcon(hwnd, 0);
            ws.destroyWindow(hwnd);
            return;
        }
        if (command == 40003) {
            ws.showWindow(hwnd, platform::kSwShow);
            return;
        }
        steps.text = std::to_string(++clicks);
        ws.invalidate(steps.hwnd, true);
    }
    void onTrayIcon(platform::WParam, platform::LParam l) override {
        auto& ws = platform::windowSystem();
        if (l == platform::kWmLButtonDown) ws.showWindow(hwnd, platform::kSwShow);
        if (l == platform::kWmRButtonDown) {
            platform::PopupMenu menu{102, {{40003, "表示"}, {40004, "終了"}}};
            ws.trackPopupMenu(hwnd, menu, ws.cursorPos());
        }
    }
    void onClose() override {
        auto& ws = platform::windowSystem();
        ws.showWindow(hwnd, ws.trayAvailable() ? platform::kSwHide : platform::kSwMinimize);
    }
};

}  // namespace

int main() {
    auto& ws = platform::windowSystem();
    if (!ws.available()) {
        std::fprintf(stderr, "no display\n");
        return 1;
    }
    std::signal(SIGTERM, [](int) {
        stopRequested = 1;
        platform::windowSystem().wakeUp();
    });
    DemoWindow window;
    const auto screen = ws.screenSize();
    window.createMainWindow(0, 101, platform::kIdcArrow, 0x191919, "win", "Tarvel-Omnix",
                            0x00CA0000, static_cast<int>(screen.cx * 0.5 - 220.0),
                            static_cast<int>(screen.cy * 0.5 - 237.5), 440, 475);
    window.id = 0;
    ws.addTrayIcon({window.hwnd, 0, platform::kWmTrayIcon, 0, 101, "ZendraTarvel-Omnix"});
    window.build();
    window.shown = true;
    ws.showWindow(window.hwnd, platform::kSwShow);
    std::printf("window 0x%lx\n", static_cast<unsigned long>(window.hwnd));
    std::fflush(stdout);
    platform::Message message;
    while (!stopRequested) {
        if (!ws.peekMessage()) {
            ws.waitMessage(-1);
            continue;
        }
        if (!ws.getMessage(message)) return static_cast<int>(message.wParam);
        ws.translateMessage(message);
        ws.dispatchMessage(message);
    }
    return 0;
}
