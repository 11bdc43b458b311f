// A private D-Bus session bus (dbus-daemon) for the tray tests, a
// StatusNotifierWatcher of the tests' own on it, and the calls a panel makes
// to a StatusNotifierItem and its menu.
#pragma once

#include <systemd/sd-bus.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/scoped_env.h"
#include "tests/support/support.h"

namespace snitest {

// dbus-daemon listening in a temporary folder; DBUS_SESSION_BUS_ADDRESS names
// it while the object lives. The daemon dies with the test process.
class PrivateBus {
  public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;
    bool ok() const { return ok_; }
    const std::string& address() const { return address_; }

  private:
    testsupport::TempDir dir_;
    int pid_ = -1;
    bool ok_ = false;
    std::string address_;
    std::optional<testsupport::ScopedEnv> env_;
};

// A new connection to the bus (nullptr when it cannot be opened).
sd_bus* connectTo(const std::string& address);

// The watcher that a panel runs: it takes every item offered and tells
// whether a panel shows items. It serves from a thread of its own.
class Watcher {
  public:
    explicit Watcher(const std::string& address);
    // Leaves the bus, so its name goes.
    ~Watcher();
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;
    bool ok() const { return bus_ != nullptr; }
    // The services registered so far, in order.
    std::vector<std::string> items();
    // A panel comes or goes (announced by a signal, as a watcher does).
    void setHost(bool present) { host_ = present; }

  private:
    void serve();
    static int registerItem(sd_bus_message* call, void* self, sd_bus_error*);
    static int property(sd_bus*, const char*, const char*, const char* name, sd_bus_message* reply,
                        void* self, sd_bus_error*);
    static const sd_bus_vtable kVtable[];

    sd_bus* bus_ = nullptr;
    sd_bus_slot* slot_ = nullptr;
    std::mutex mutex_;
    std::vector<std::string> items_;
    std::atomic<bool> host_{true};
    bool announced_ = true;  // the panel state last signalled (serving thread)
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A panel's calls to whichever watcher holds the name (the tests' own or a
// real one): registers the panel as the host that shows items (false when no
// watcher answers), and reads the items registered (empty then).
bool registerHost(sd_bus* bus);
std::vector<std::string> registeredItems(sd_bus* bus);

// What a panel reads of an item.
struct ItemView {
    std::string category, id, title, status, menu, toolTipTitle;
    bool itemIsMenu = true;
    // (width, height, ARGB bytes) of IconPixmap.
    std::vector<std::pair<std::pair<int, int>, std::vector<std::uint8_t>>> pixmaps;
};
std::optional<ItemView> readItem(sd_bus* bus, const std::string& service);

// A left click on the item, as a panel reports it; false on error.
bool activate(sd_bus* bus, const std::string& service);
// The menu's top-level items as (id, label), from GetLayout.
std::vector<std::pair<int, std::string>> menuItems(sd_bus* bus, const std::string& service,
                                                   const std::string& menuPath);
// A click on a menu item, as a panel reports it; false on error.
bool clickMenuItem(sd_bus* bus, const std::string& service, const std::string& menuPath, int id);

}  // namespace snitest
