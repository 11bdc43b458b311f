// The X11 backend's tray on a private session bus and Xvfb: the
// StatusNotifierItem that a watcher takes (its properties, clicks and menu),
// and the XEmbed icon or no tray at all while no watcher shows the item.
// GoogleTest before Xlib: Xlib defines macros such as None and Bool.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
// clang-format on
#include <unistd.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/x11_icon_data.h"
#include "platform/window_system.h"
#include "tests/platform/linux/session_bus.h"
#include "tests/support/x_session.h"
#include "ui/ui_window.h"

using namespace std::chrono_literals;
using platform::Message;

namespace {

constexpr const char* kTip = "ZendraTarvel-Omnix";

class Recorder : public UI_Window {
  public:
    std::vector<Message> seen;
    platform::LResult handleMessage(platform::NativeWindow window, std::uint32_t message,
                                    platform::WParam wParam, platform::LParam lParam) override {
        seen.push_back({window, message, wParam, lParam});
        return UI_Window::handleMessage(window, message, wParam, lParam);
    }
    bool saw(std::uint32_t message, platform::WParam wParam, platform::LParam lParam) const {
        for (const Message& m : seen) {
            if (m.message == message && m.wParam == wParam && m.lParam == lParam) return true;
        }
        return false;
    }
};

class SniTrayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        session = std::make_unique<uitest::XSession>();
        ASSERT_TRUE(session->ok());
        bus = std::make_unique<snitest::PrivateBus>();
        ASSERT_TRUE(bus->ok()) << "no dbus-daemon";
        backend = platform::createNativeWindowSystem();
        ASSERT_TRUE(backend->available());
        previous = platform::setWindowSystem(backend.get());
        window.createMainWindow(0, 101, platform::kIdcArrow, 0x191919, "win", "Tarvel-Omnix",
                                0x00CA0000, 100, 100, 440, 475);
        window.id = 0;
        panel = snitest::connectTo(bus->address());
        ASSERT_NE(panel, nullptr);
    }
    void TearDown() override {
        sd_bus_flush_close_unref(panel);
        platform::setWindowSystem(previous);
        backend.reset();
        bus.reset();
        session.reset();
    }

    platform::WindowSystem& ws() { return *backend; }

    bool addIcon() {
        return ws().addTrayIcon({window.hwnd, 0, platform::kWmTrayIcon, 0, 101, kTip});
    }

    // Runs the message loop until the condition holds.
    template <class F>
    bool runUntil(F condition, std::chrono::milliseconds timeout = 10s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            Message m;
            while (ws().peekMessage() && ws().getMessage(m)) ws().dispatchMessage(m);
            if (condition()) return true;
            if (std::chrono::steady_clock::now() > deadline) return false;
            ws().waitMessage(10);
        }
    }
    // A panel's call, made while the program's loop runs to answer it.
    template <class F>
    auto asPanel(F call) {
        auto result = std::async(std::launch::async, call);
        runUntil([&] { return result.wait_for(0s) == std::future_status::ready; }, 30s);
        return result.get();
    }

    bool xembedIconShown() { return session->viewable(session->findByName(kTip)); }

    std::unique_ptr<uitest::XSession> session;
    std::unique_ptr<snitest::PrivateBus> bus;
    std::unique_ptr<platform::WindowSystem> backend;
    platform::WindowSystem* previous = nullptr;
    Recorder window;
    sd_bus* panel = nullptr;
};

TEST_F(SniTrayTest, TheWatcherGetsTheItemWithItsPictureTipClicksAndMenu) {
    snitest::Watcher watcher(bus->address());
    ASSERT_TRUE(watcher.ok());
    ws().setTrayMenu(window.hwnd, 0, {102, {{40003, "表示"}, {40004, "終了"}}});
    ASSERT_TRUE(addIcon());
    // Known as soon as the icon is added (a start in the tray asks at once).
    ASSERT_TRUE(ws().trayAvailable());
    const std::string service = "org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-1";
    EXPECT_EQ(watcher.items(), std::vector<std::string>{service});
    // One icon only: no XEmbed window besides the item.
    EXPECT_EQ(session->findByName(kTip), static_cast<Window>(None));

    const auto item = asPanel([&] { return snitest::readItem(panel, service); });
    ASSERT_TRUE(item.has_value());
    EXPECT_EQ(item->category, "ApplicationStatus");
    EXPECT_EQ(item->id, "tarvel");
    EXPECT_EQ(item->title, "Tarvel-Omnix");
    EXPECT_EQ(item->status, "Active");
    EXPECT_EQ(item->toolTipTitle, kTip);
    EXPECT_FALSE(item->itemIsMenu);
    std::vector<int> sides;
    for (const auto& [size, bytes] : item->pixmaps) {
        EXPECT_EQ(size.first, size.second);
        sides.push_back(size.first);
        // ARGB, most significant byte first.
        std::vector<std::uint8_t> expected;
        for (std::uint32_t p : platform::x11::programIcon(size.first)) {
            expected.insert(expected.end(),
                            {static_cast<std::uint8_t>(p >> 24), static_cast<std::uint8_t>(p >> 16),
                             static_cast<std::uint8_t>(p >> 8), static_cast<std::uint8_t>(p)});
        }
        EXPECT_TRUE(bytes == expected) << "the " << size.first << " px picture differs";
    }
    EXPECT_EQ(sides, (std::vector<int>{16, 22, 24, 32, 48, 64}));

    // A left click is the icon's left press.
    ASSERT_TRUE(asPanel([&] { return snitest::activate(panel, service); }));
    EXPECT_TRUE(
        runUntil([&] { return window.saw(platform::kWmTrayIcon, 0, platform::kWmLButtonDown); }));

    // The menu as the panel draws it; a click on an item is its command.
    using Items = std::vector<std::pair<int, std::string>>;
    EXPECT_EQ(asPanel([&] { return snitest::menuItems(panel, service, item->menu); }),
              (Items{{40003, "表示"}, {40004, "終了"}}));
    ASSERT_TRUE(asPanel([&] { return snitest::clickMenuItem(panel, service, item->menu, 40004); }));
    EXPECT_TRUE(runUntil([&] { return window.saw(platform::kWmCommand, 40004, 0); }));
    // Items added later show in their place.
    ws().setTrayMenu(window.hwnd, 0, {102, {{40003, "表示"}, {40005, "グ_ラフ"}, {40004, "終了"}}});
    EXPECT_EQ(asPanel([&] { return snitest::menuItems(panel, service, item->menu); }),
              (Items{{40003, "表示"}, {40005, "グ__ラフ"}, {40004, "終了"}}));

    // Removed: the item leaves the bus.
    ws().removeTrayIcon(window.hwnd, 0);
    EXPECT_FALSE(ws().trayAvailable());
    EXPECT_FALSE(asPanel([&] { return snitest::readItem(panel, service).has_value(); }));
}

TEST_F(SniTrayTest, WithoutAWatcherTheXembedIconOrNoTrayServes) {
    session->startTrayHost();
    ASSERT_TRUE(addIcon());
    ASSERT_TRUE(runUntil([&] { return ws().trayAvailable() && xembedIconShown(); }));

    // A panel with a watcher starts: the item replaces the XEmbed icon.
    auto watcher = std::make_unique<snitest::Watcher>(bus->address());
    ASSERT_TRUE(watcher->ok());
    ASSERT_TRUE(runUntil([&] { return watcher->items().size() == 1 && !xembedIconShown(); }));
    session->stopTrayHost();
    EXPECT_TRUE(ws().trayAvailable());

    // The watcher goes, and with no XEmbed host there is no tray.
    watcher.reset();
    EXPECT_TRUE(runUntil([&] { return !ws().trayAvailable(); }));
    // It comes back: the item is offered again.
    watcher = std::make_unique<snitest::Watcher>(bus->address());
    ASSERT_TRUE(runUntil([&] { return ws().trayAvailable(); }));
    EXPECT_EQ(watcher->items().size(), 1u);
    // A watcher without a panel to show the item is no tray either.
    watcher->setHost(false);
    EXPECT_TRUE(runUntil([&] { return !ws().trayAvailable(); }));
    watcher->setHost(true);
    EXPECT_TRUE(runUntil([&] { return ws().trayAvailable(); }));
}

}  // namespace
