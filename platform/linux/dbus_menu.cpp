// The dbusmenu interface of the tray icon's menu: layout and properties for
// the panel, and the panel's click events turned into the items' commands.
#include "platform/linux/dbus_menu.h"

#include <algorithm>
#include <climits>

namespace platform::sni {

namespace {

constexpr const char* kInterface = "com.canonical.dbusmenu";

// Reads an array of strings (as) into `out`.
int readStrings(sd_bus_message* m, std::vector<std::string>& out) {
    int r = sd_bus_message_enter_container(m, 'a', "s");
    if (r < 0) return r;
    const char* s = nullptr;
    while ((r = sd_bus_message_read(m, "s", &s)) > 0) out.emplace_back(s);
    if (r < 0) return r;
    return sd_bus_message_exit_container(m);
}

bool wanted(const std::vector<std::string>& names, const char* name) {
    return names.empty() || std::find(names.begin(), names.end(), name) != names.end();
}

int fixedProperty(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply,
                  void*, sd_bus_error*) {
    const std::string_view name = property;
    if (name == "Version") return sd_bus_message_append(reply, "u", 3u);
    if (name == "TextDirection") return sd_bus_message_append(reply, "s", "ltr");
    if (name == "Status") return sd_bus_message_append(reply, "s", "normal");
    return sd_bus_message_append(reply, "as", 0);  // IconThemePath
}

int aboutToShow(sd_bus_message* m, void*, sd_bus_error*) {
    // The items never change on opening: nothing to update.
    return sd_bus_reply_method_return(m, "b", 0);
}

int aboutToShowGroup(sd_bus_message* m, void*, sd_bus_error*) {
    return sd_bus_reply_method_return(m, "aiai", 0, 0);
}

}  // namespace

const sd_bus_vtable DbusMenu::kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("GetLayout", "iias", "u(ia{sv}av)", getLayout, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("GetGroupProperties", "aias", "a(ia{sv})", getGroupProperties,
                  SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("GetProperty", "is", "v", getProperty, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Event", "isvu", "", onEvent, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("EventGroup", "a(isvu)", "ai", onEventGroup, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("AboutToShow", "i", "b", aboutToShow, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("AboutToShowGroup", "ai", "aiai", aboutToShowGroup, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("Version", "u", fixedProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("TextDirection", "s", fixedProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Status", "s", fixedProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("IconThemePath", "as", fixedProperty, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_SIGNAL("ItemsPropertiesUpdated", "a(ia{sv})a(ias)", 0),
    SD_BUS_SIGNAL("LayoutUpdated", "ui", 0),
    SD_BUS_SIGNAL("ItemActivationRequested", "iu", 0),
    SD_BUS_VTABLE_END};

bool DbusMenu::attach(sd_bus* bus, const std::string& path) {
    detach();
    if (sd_bus_add_object_vtable(bus, &slot_, path.c_str(), kInterface, kVtable, this) < 0) {
        return false;
    }
    bus_ = bus;
    path_ = path;
    return true;
}

void DbusMenu::detach() {
    slot_ = sd_bus_slot_unref(slot_);
    bus_ = nullptr;
}

void DbusMenu::setItems(const std::vector<MenuItem>& items) {
    items_.clear();
    for (const MenuItem& item : items) {
        // 0 is the root's id; the bus's ids are signed.
        if (item.id == 0 || item.id > INT_MAX) continue;
        std::string label;
        for (char c : item.text) {
            // An underscore marks a mnemonic; a plain one is written twice.
            if (c == '_') label += '_';
            label += c;
        }
        items_.push_back({static_cast<std::int32_t>(item.id), std::move(label)});
    }
    ++revision_;
    if (bus_ != nullptr) {
        sd_bus_emit_signal(bus_, path_.c_str(), kInterface, "LayoutUpdated", "ui", revision_, 0);
    }
}

const DbusMenu::Item* DbusMenu::find(std::int32_t id) const {
    for (const Item& item : items_) {
        if (item.id == id) return &item;
    }
    return nullptr;
}

int DbusMenu::appendProperties(sd_bus_message* m, std::int32_t id,
                               const std::vector<std::string>& names) const {
    int r = sd_bus_message_open_container(m, 'a', "{sv}");
    if (r < 0) return r;
    if (id == 0) {
        if (wanted(names, "children-display")) {
            r = sd_bus_message_append(m, "{sv}", "children-display", "s", "submenu");
        }
    } else if (const Item* item = find(id); item != nullptr && wanted(names, "label")) {
        r = sd_bus_message_append(m, "{sv}", "label", "s", item->label.c_str());
    }
    if (r < 0) return r;
    return sd_bus_message_close_container(m);
}

int DbusMenu::appendLayout(sd_bus_message* m, std::int32_t id, int depth,
                           const std::vector<std::string>& names) const {
    int r = sd_bus_message_open_container(m, 'r', "ia{sv}av");
    if (r >= 0) r = sd_bus_message_append(m, "i", id);
    if (r >= 0) r = appendProperties(m, id, names);
    if (r >= 0) r = sd_bus_message_open_container(m, 'a', "v");
    if (id == 0 && depth != 0) {
        for (const Item& item : items_) {
            if (r >= 0) r = sd_bus_message_open_container(m, 'v', "(ia{sv}av)");
            if (r >= 0) r = appendLayout(m, item.id, depth - 1, names);
            if (r >= 0) r = sd_bus_message_close_container(m);
        }
    }
    if (r >= 0) r = sd_bus_message_close_container(m);
    if (r >= 0) r = sd_bus_message_close_container(m);
    return r;
}

bool DbusMenu::event(std::int32_t id, const char* eventId) {
    if (id != 0 && find(id) == nullptr) return false;
    if (id != 0 && std::string_view(eventId) == "clicked") {
        clicked_(static_cast<std::uint32_t>(id));
    }
    return true;
}

int DbusMenu::getLayout(sd_bus_message* m, void* self, sd_bus_error* error) {
    const auto& menu = *static_cast<const DbusMenu*>(self);
    std::int32_t parent = 0;
    std::int32_t depth = 0;
    std::vector<std::string> names;
    int r = sd_bus_message_read(m, "ii", &parent, &depth);
    if (r >= 0) r = readStrings(m, names);
    if (r < 0) return r;
    if (parent != 0 && menu.find(parent) == nullptr) {
        return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS, "no menu item %d", parent);
    }
    sd_bus_message* reply = nullptr;
    r = sd_bus_message_new_method_return(m, &reply);
    if (r >= 0) r = sd_bus_message_append(reply, "u", menu.revision_);
    if (r >= 0) r = menu.appendLayout(reply, parent, depth < 0 ? -1 : depth, names);
    if (r >= 0) r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return r;
}

int DbusMenu::getGroupProperties(sd_bus_message* m, void* self, sd_bus_error*) {
    const auto& menu = *static_cast<const DbusMenu*>(self);
    const void* data = nullptr;
    std::size_t size = 0;
    std::vector<std::string> names;
    int r = sd_bus_message_read_array(m, 'i', &data, &size);
    if (r >= 0) r = readStrings(m, names);
    if (r < 0) return r;
    std::vector<std::int32_t> ids(size / sizeof(std::int32_t));
    std::copy_n(static_cast<const char*>(data), ids.size() * sizeof(std::int32_t),
                reinterpret_cast<char*>(ids.data()));
    // No ids: every item, the root included.
    if (ids.empty()) {
        ids.push_back(0);
        for (const Item& item : menu.items_) ids.push_back(item.id);
    }
    sd_bus_message* reply = nullptr;
    r = sd_bus_message_new_method_return(m, &reply);
    if (r >= 0) r = sd_bus_message_open_container(reply, 'a', "(ia{sv})");
    for (std::int32_t id : ids) {
        if (id != 0 && menu.find(id) == nullptr) continue;
        if (r >= 0) r = sd_bus_message_open_container(reply, 'r', "ia{sv}");
        if (r >= 0) r = sd_bus_message_append(reply, "i", id);
        if (r >= 0) r = menu.appendProperties(reply, id, names);
        if (r >= 0) r = sd_bus_message_close_container(reply);
    }
    if (r >= 0) r = sd_bus_message_close_container(reply);
    if (r >= 0) r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return r;
}

int DbusMenu::getProperty(sd_bus_message* m, void* self, sd_bus_error* error) {
    const auto& menu = *static_cast<const DbusMenu*>(self);
    std::int32_t id = 0;
    const char* name = nullptr;
    const int r = sd_bus_message_read(m, "is", &id, &name);
    if (r < 0) return r;
    const std::string_view property = name;
    if (id == 0 && property == "children-display") {
        return sd_bus_reply_method_return(m, "v", "s", "submenu");
    }
    const Item* item = id != 0 ? menu.find(id) : nullptr;
    if (item != nullptr && property == "label") {
        return sd_bus_reply_method_return(m, "v", "s", item->label.c_str());
    }
    return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS, "no property %s of item %d", name,
                             id);
}

int DbusMenu::onEvent(sd_bus_message* m, void* self, sd_bus_error* error) {
    std::int32_t id = 0;
    const char* eventId = nullptr;
    const int r = sd_bus_message_read(m, "is", &id, &eventId);
    if (r < 0) return r;
    if (!static_cast<DbusMenu*>(self)->event(id, eventId)) {
        return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS, "no menu item %d", id);
    }
    return sd_bus_reply_method_return(m, "");
}

int DbusMenu::onEventGroup(sd_bus_message* m, void* self, sd_bus_error*) {
    auto& menu = *static_cast<DbusMenu*>(self);
    std::vector<std::int32_t> unknown;
    int r = sd_bus_message_enter_container(m, 'a', "(isvu)");
    while (r >= 0 && (r = sd_bus_message_enter_container(m, 'r', "isvu")) > 0) {
        std::int32_t id = 0;
        const char* eventId = nullptr;
        r = sd_bus_message_read(m, "is", &id, &eventId);
        if (r >= 0) r = sd_bus_message_skip(m, "vu");
        if (r >= 0) r = sd_bus_message_exit_container(m);
        if (r >= 0 && !menu.event(id, eventId)) unknown.push_back(id);
    }
    if (r < 0) return r;
    sd_bus_message* reply = nullptr;
    r = sd_bus_message_new_method_return(m, &reply);
    if (r >= 0) {
        r = sd_bus_message_append_array(reply, 'i', unknown.data(),
                                        unknown.size() * sizeof(std::int32_t));
    }
    if (r >= 0) r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return r;
}

}  // namespace platform::sni
