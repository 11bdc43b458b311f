// The built program with a StatusNotifierItem tray (a private session bus and
// the tests' own watcher, Xvfb with openbox): it starts in the item when asked,
// a click on the item shows the window, closing hides it into the item, and
// the item's menu ends the program with its exit save.
// GoogleTest before Xlib, whose None macro would break it.
// clang-format off
#include <gtest/gtest.h>
// clang-format on

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/platform/linux/session_bus.h"
#include "tests/support/support.h"
#include "tests/support/x_session.h"

using namespace std::chrono_literals;
using testsupport::readFile;
using testsupport::waitUntil;

namespace {

constexpr long kIconicState = 3;

// The window manager's WM_STATE of a window (-1 when it has none).
long wmState(Display* display, Window window) {
    const Atom wmState = XInternAtom(display, "WM_STATE", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    long state = -1;
    if (XGetWindowProperty(display, window, wmState, 0, 2, False, wmState, &type, &format, &count,
                           &after, &data) == Success &&
        data != nullptr && count > 0 && format == 32) {
        state = reinterpret_cast<long*>(data)[0];
    }
    if (data != nullptr) XFree(data);
    return state;
}

TEST(SniProgramTest, StartsInTheItemShowsOnItsClickHidesIntoItAndExitsFromItsMenu) {
    uitest::XSession session(/*windowManager=*/true);
    ASSERT_TRUE(session.ok());
    snitest::PrivateBus bus;
    ASSERT_TRUE(bus.ok()) << "no dbus-daemon";
    snitest::Watcher watcher(bus.address());
    ASSERT_TRUE(watcher.ok());
    sd_bus* panel = snitest::connectTo(bus.address());
    ASSERT_NE(panel, nullptr);

    testsupport::TempDir dir;
    testsupport::ChildProcess program({testsupport::programBinary(), "--hidden"}, dir.path(),
                                      dir.file("tarvel.log"));
    ASSERT_TRUE(waitUntil([&] { return watcher.items().size() == 1; }, 10s))
        << readFile(dir.file("tarvel.log"));
    const std::string service = watcher.items().front();
    const auto item = snitest::readItem(panel, service);
    ASSERT_TRUE(item.has_value());
    // The menu as the panel shows it, once the program has built it.
    using Items = std::vector<std::pair<int, std::string>>;
    EXPECT_TRUE(waitUntil(
        [&] {
            return snitest::menuItems(panel, service, item->menu) ==
                   Items{{40003, "表示"}, {40005, "グラフ"}, {40004, "終了"}};
        },
        10s));
    EXPECT_EQ(session.findByName("ZendraTarvel-Omnix"), static_cast<Window>(None))
        << "an XEmbed icon besides the item";

    // Started in the tray: the window shows only on a click on the item.
    Window main = None;
    ASSERT_TRUE(waitUntil(
        [&] {
            const std::vector<Window> found = session.findAllByName("Tarvel-Omnix", 440);
            main = found.empty() ? None : found.front();
            return main != None;
        },
        10s));
    EXPECT_FALSE(session.viewable(main));
    ASSERT_TRUE(snitest::activate(panel, service));
    ASSERT_TRUE(waitUntil([&] { return session.viewable(main); }, 5s));

    // Closing hides the window (it is not minimised: the item brings it back).
    session.requestClose(main);
    ASSERT_TRUE(waitUntil([&] { return !session.viewable(main); }, 5s));
    EXPECT_NE(wmState(session.observer(), main), kIconicState);

    // The menu's "グラフ" opens the graph window, its "終了" ends the program.
    EXPECT_TRUE(snitest::clickMenuItem(panel, service, item->menu, 40005));
    EXPECT_TRUE(
        waitUntil([&] { return session.viewable(session.findByName("Tarvel-Omnix グラフ")); }, 5s));
    EXPECT_TRUE(snitest::clickMenuItem(panel, service, item->menu, 40004));
    const auto code = program.wait(10s);
    ASSERT_TRUE(code.has_value()) << "still running";
    EXPECT_EQ(*code, 0) << readFile(dir.file("tarvel.log"));
    EXPECT_NE(readFile(dir.file("tarvel.ini")).find("[param]"), std::string::npos);
    sd_bus_flush_close_unref(panel);
}

// A panel's real watcher, restarted again and again: each new one gets the item, however soon
// after taking its name it is asked; when none comes back, the hidden window shows.
TEST(SniProgramTest, EveryRestartedWatcherGetsTheItemAndWithoutOneTheWindowShows) {
    if (!testsupport::onPath("status-notifier-watcher")) GTEST_SKIP() << "no watcher installed";
    uitest::XSession session(/*windowManager=*/true);
    ASSERT_TRUE(session.ok());
    snitest::PrivateBus bus;
    ASSERT_TRUE(bus.ok()) << "no dbus-daemon";
    sd_bus* panel = snitest::connectTo(bus.address());
    ASSERT_NE(panel, nullptr);
    testsupport::TempDir dir;
    auto startWatcher = [&] {
        auto watcher = std::make_unique<testsupport::ChildProcess>(
            std::vector<std::string>{"status-notifier-watcher"}, dir.path(), dir.file("w.log"));
        EXPECT_TRUE(waitUntil([&] { return snitest::registerHost(panel); }, 10s));
        return watcher;
    };
    auto watcher = startWatcher();
    testsupport::ChildProcess program({testsupport::programBinary(), "--hidden"}, dir.path(),
                                      dir.file("tarvel.log"));
    for (int restart = 0; restart <= 20; ++restart) {
        if (restart > 0) {
            watcher->signal(SIGTERM);
            ASSERT_TRUE(watcher->wait(10s).has_value());
            watcher = startWatcher();
        }
        ASSERT_TRUE(waitUntil([&] { return snitest::registeredItems(panel).size() == 1; }, 10s))
            << "restart " << restart << ": " << readFile(dir.file("tarvel.log"));
    }

    // Hidden in the item (a restart that took long may have shown it), then no watcher at all.
    const Window main = session.findAllByName("Tarvel-Omnix", 440).at(0);
    if (session.viewable(main)) session.requestClose(main);
    ASSERT_TRUE(waitUntil([&] { return !session.viewable(main); }, 5s));
    watcher.reset();
    EXPECT_TRUE(waitUntil([&] { return session.viewable(main); }, 10s));
    program.signal(SIGTERM);
    EXPECT_EQ(program.wait(10s), std::optional<int>(0));
    sd_bus_flush_close_unref(panel);
}

}  // namespace
