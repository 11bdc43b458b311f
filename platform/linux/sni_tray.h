// The tray icon as a StatusNotifierItem on the D-Bus session bus (sd-bus), for
// panels that show such items (KDE Plasma, GNOME with the AppIndicator
// extension, most Wayland panels), with its menu as a DbusMenu.
#pragma once

#include <systemd/sd-bus.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/linux/dbus_menu.h"
#include "platform/window_system.h"

namespace platform::sni {

// Offers the item to the StatusNotifierWatcher whenever one is on the bus
// (again after it restarts), and again after a short wait when a watcher
// refuses it (a new watcher may take its name before it serves). Nothing here
// blocks: the bus is read by process(), which the owner calls when fd() is
// ready or timeoutMs() passes.
class SniTray {
  public:
    // Clicks reach the icon's window through `windows`' message queue;
    // `changed` is called from process() when deciding() or shown() changes.
    SniTray(WindowSystem& windows, std::function<void()> changed);
    ~SniTray();
    SniTray(const SniTray&) = delete;
    SniTray& operator=(const SniTray&) = delete;

    // Connects to the session bus and offers the item; false (nothing
    // offered) when there is no session bus.
    bool start(const TrayIcon& icon, const std::vector<MenuItem>& menu);
    void setMenu(const std::vector<MenuItem>& menu) { menu_.setItems(menu); }
    // Waits at most maxMs for the first answer (see deciding), handling the
    // bus meanwhile.
    void awaitFirstAnswer(int maxMs);

    // The first answer about a watcher has not come yet.
    bool deciding() const { return deciding_; }
    // A watcher holds the item and reports a panel that shows it.
    bool shown() const { return registered_ && hostPresent_; }

    // For the owner's wait: the bus's descriptor (-1: none), the poll events
    // it waits for, and the milliseconds until process() is due anyway (-1:
    // no limit).
    int fd() const;
    short events() const;
    int timeoutMs() const;
    // Handles everything the bus has delivered, without waiting.
    void process();

  private:
    // The watcher's unique name ("" when none) became known.
    void watcherIs(const std::string& owner);
    void registerItem();
    // The watcher refused the item: it is offered again after the back-off.
    void retryLater(const char* reason);
    static std::uint64_t nowUs();
    void queryHost();
    void close();

    static int onWatcherOwner(sd_bus_message* reply, void* self, sd_bus_error*);
    static int onOwnerChanged(sd_bus_message* signal, void* self, sd_bus_error*);
    static int onRegistered(sd_bus_message* reply, void* self, sd_bus_error*);
    static int onHostSignal(sd_bus_message* signal, void* self, sd_bus_error*);
    static int onHostReply(sd_bus_message* reply, void* self, sd_bus_error*);
    static int property(sd_bus*, const char*, const char*, const char* name, sd_bus_message* reply,
                        void* self, sd_bus_error*);
    static int click(sd_bus_message* call, void* self, sd_bus_error*);
    static const sd_bus_vtable kVtable[];

    WindowSystem& windows_;
    std::function<void()> changed_;
    TrayIcon icon_;
    // The icon at the sizes offered, each as (side, ARGB bytes in network
    // order).
    std::vector<std::pair<int, std::vector<std::uint8_t>>> pixmaps_;
    DbusMenu menu_;
    std::string name_;
    std::string watcher_;  // unique name of the watcher the item was offered to
    bool deciding_ = false;
    bool registered_ = false;
    bool hostPresent_ = true;
    // When the item is offered again (0: not planned) and the wait before the
    // next offer after that.
    std::uint64_t retryAtUs_ = 0;
    std::uint64_t retryDelayUs_ = 0;

    sd_bus* bus_ = nullptr;
    sd_bus_slot* itemSlot_ = nullptr;
    sd_bus_slot* ownerMatch_ = nullptr;
    sd_bus_slot* hostMatch_ = nullptr;
    sd_bus_slot* ownerCall_ = nullptr;
    sd_bus_slot* registerCall_ = nullptr;
    sd_bus_slot* hostCall_ = nullptr;
};

}  // namespace platform::sni
