// The tray icon's menu on D-Bus (com.canonical.dbusmenu), for panels that draw
// a StatusNotifierItem's menu themselves: a root holding the program's items.
#pragma once

#include <systemd/sd-bus.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/window_system.h"

namespace platform::sni {

// A flat menu whose item ids on the bus are the items' command ids (the root
// is 0), so an id stays valid across layout changes.
class DbusMenu {
  public:
    // Called with the command id of an item the user clicks.
    using Clicked = std::function<void(std::uint32_t id)>;

    explicit DbusMenu(Clicked clicked) : clicked_(std::move(clicked)) {}
    ~DbusMenu() { detach(); }
    DbusMenu(const DbusMenu&) = delete;
    DbusMenu& operator=(const DbusMenu&) = delete;

    // Serves the menu at `path` on the bus; false when it cannot.
    bool attach(sd_bus* bus, const std::string& path);
    void detach();
    // Replaces the items; a panel that shows the menu is told to read it anew.
    void setItems(const std::vector<MenuItem>& items);

  private:
    struct Item {
        std::int32_t id;
        std::string label;  // with the mnemonic marker escaped
    };

    const Item* find(std::int32_t id) const;
    // The properties of item `id` (0: the root) that `names` asks for (all
    // when empty), as a{sv}.
    int appendProperties(sd_bus_message* m, std::int32_t id,
                         const std::vector<std::string>& names) const;
    // Item `id` with its children down to `depth` levels (-1: all), as
    // (ia{sv}av).
    int appendLayout(sd_bus_message* m, std::int32_t id, int depth,
                     const std::vector<std::string>& names) const;
    bool event(std::int32_t id, const char* eventId);

    static int getLayout(sd_bus_message* m, void* self, sd_bus_error* error);
    static int getGroupProperties(sd_bus_message* m, void* self, sd_bus_error* error);
    static int getProperty(sd_bus_message* m, void* self, sd_bus_error* error);
    static int onEvent(sd_bus_message* m, void* self, sd_bus_error* error);
    static int onEventGroup(sd_bus_message* m, void* self, sd_bus_error* error);
    static const sd_bus_vtable kVtable[];

    Clicked clicked_;
    std::vector<Item> items_;
    std::uint32_t revision_ = 1;
    sd_bus* bus_ = nullptr;
    sd_bus_slot* slot_ = nullptr;
    std::string path_;
};

}  // namespace platform::sni
