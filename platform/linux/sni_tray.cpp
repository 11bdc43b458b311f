// The StatusNotifierItem: the item's object and properties, its registration
// with the watcher (followed across restarts of the watcher), and the item's
// clicks turned into the tray icon's callback messages.
#include "platform/linux/sni_tray.h"

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <string_view>

#include "platform/linux/x11_icon_data.h"

namespace platform::sni {

namespace {

constexpr const char* kItemPath = "/StatusNotifierItem";
constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";
constexpr const char* kMenuPath = "/MenuBar";
constexpr const char* kWatcher = "org.kde.StatusNotifierWatcher";
constexpr const char* kWatcherPath = "/StatusNotifierWatcher";
constexpr const char* kItemId = "tarvel";
constexpr const char* kItemTitle = "Tarvel-Omnix";
// Panels pick the size that suits them; larger ones are scaled down.
constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64};
// The bus daemon answers at once; a watcher may be busy (a panel starting).
constexpr std::uint64_t kBusTimeoutUs = 2'000'000;
constexpr std::uint64_t kWatcherTimeoutUs = 5'000'000;
// A refused offer is made again after 50 ms, then after twice as long each
// time, up to once a second.
constexpr std::uint64_t kFirstRetryUs = 50'000;
constexpr std::uint64_t kLongestRetryUs = 1'000'000;

const char* const kOwnerRule =
    "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
    "interface='org.freedesktop.DBus',member='NameOwnerChanged',"
    "arg0='org.kde.StatusNotifierWatcher'";
const char* const kHostRule = "type='signal',interface='org.kde.StatusNotifierWatcher'";

// Sends a method call; its reply, or its failure after `timeoutUs`, goes to
// `callback`.
template <class... Args>
int callAsync(sd_bus* bus, sd_bus_slot** slot, const char* destination, const char* path,
              const char* interface, const char* member, sd_bus_message_handler_t callback,
              void* self, std::uint64_t timeoutUs, const char* types, Args... args) {
    sd_bus_message* call = nullptr;
    int r = sd_bus_message_new_method_call(bus, &call, destination, path, interface, member);
    if (r >= 0) r = sd_bus_message_append(call, types, args...);
    if (r >= 0) r = sd_bus_call_async(bus, slot, call, callback, self, timeoutUs);
    sd_bus_message_unref(call);
    return r;
}

int appendPixmaps(sd_bus_message* m,
                  const std::vector<std::pair<int, std::vector<std::uint8_t>>>& pixmaps) {
    int r = sd_bus_message_open_container(m, 'a', "(iiay)");
    for (const auto& [side, bytes] : pixmaps) {
        if (r >= 0) r = sd_bus_message_open_container(m, 'r', "iiay");
        if (r >= 0) r = sd_bus_message_append(m, "ii", side, side);
        if (r >= 0) r = sd_bus_message_append_array(m, 'y', bytes.data(), bytes.size());
        if (r >= 0) r = sd_bus_message_close_container(m);
    }
    if (r >= 0) r = sd_bus_message_close_container(m);
    return r;
}

}  // namespace

const sd_bus_vtable SniTray::kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_PROPERTY("Category", "s", property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Id", "s", property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Title", "s", property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Status", "s", property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("WindowId", "i", property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("IconName", "s", property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("IconThemePath", "s", property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("IconPixmap", "a(iiay)", property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("OverlayIconName", "s", property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("OverlayIconPixmap", "a(iiay)", property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("AttentionIconName", "s", property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("AttentionIconPixmap", "a(iiay)", property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("AttentionMovieName", "s", property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("ToolTip", "(sa(iiay)ss)", property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("ItemIsMenu", "b", property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_PROPERTY("Menu", "o", property, 0, SD_BUS_VTABLE_PROPERTY_CONST),
    SD_BUS_METHOD("ContextMenu", "ii", "", click, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Activate", "ii", "", click, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("SecondaryActivate", "ii", "", click, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Scroll", "is", "", click, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL("NewTitle", "", 0),
    SD_BUS_SIGNAL("NewIcon", "", 0),
    SD_BUS_SIGNAL("NewAttentionIcon", "", 0),
    SD_BUS_SIGNAL("NewOverlayIcon", "", 0),
    SD_BUS_SIGNAL("NewToolTip", "", 0),
    SD_BUS_SIGNAL("NewStatus", "s", 0),
    SD_BUS_VTABLE_END};

SniTray::SniTray(WindowSystem& windows, std::function<void()> changed)
    : windows_(windows),
      changed_(std::move(changed)),
      menu_([this](std::uint32_t id) { windows_.postMessage(icon_.window, kWmCommand, id, 0); }) {}

SniTray::~SniTray() {
    close();
}

bool SniTray::start(const TrayIcon& icon, const std::vector<MenuItem>& menu) {
    close();
    // No session bus (no address, or nothing listening there): no item.
    if (sd_bus_open_user(&bus_) < 0) {
        bus_ = nullptr;
        return false;
    }
    icon_ = icon;
    pixmaps_.clear();
    for (int side : kIconSizes) {
        std::vector<std::uint8_t> bytes;
        for (std::uint32_t argb : x11::programIcon(side)) {
            for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back((argb >> shift) & 0xFF);
        }
        pixmaps_.emplace_back(side, std::move(bytes));
    }
    menu_.setItems(menu);
    name_ = "org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-1";
    int r = sd_bus_add_object_vtable(bus_, &itemSlot_, kItemPath, kItemInterface, kVtable, this);
    if (r >= 0 && !menu_.attach(bus_, kMenuPath)) r = -1;
    // The bus handles these in order: the name is ours before the watcher
    // hears of the item, and no change of the watcher's owner after the
    // question below goes unseen.
    if (r >= 0) r = sd_bus_request_name_async(bus_, nullptr, name_.c_str(), 0, nullptr, nullptr);
    if (r >= 0) {
        r = sd_bus_add_match_async(bus_, &ownerMatch_, kOwnerRule, onOwnerChanged, nullptr, this);
    }
    if (r >= 0) {
        r = sd_bus_add_match_async(bus_, &hostMatch_, kHostRule, onHostSignal, nullptr, this);
    }
    if (r >= 0) {
        r = callAsync(bus_, &ownerCall_, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                      "org.freedesktop.DBus", "GetNameOwner", onWatcherOwner, this, kBusTimeoutUs,
                      "s", kWatcher);
    }
    if (r < 0) {
        close();
        return false;
    }
    deciding_ = true;
    return true;
}

void SniTray::close() {
    for (sd_bus_slot** slot :
         {&itemSlot_, &ownerMatch_, &hostMatch_, &ownerCall_, &registerCall_, &hostCall_}) {
        *slot = sd_bus_slot_unref(*slot);
    }
    menu_.detach();
    // Without waiting for unsent messages: the bus drops the item's name
    // when the connection closes, and the watcher the item with it.
    bus_ = sd_bus_close_unref(bus_);
    watcher_.clear();
    deciding_ = registered_ = false;
    hostPresent_ = true;
    retryAtUs_ = 0;
}

int SniTray::fd() const {
    return bus_ != nullptr ? sd_bus_get_fd(bus_) : -1;
}

short SniTray::events() const {
    const int events = bus_ != nullptr ? sd_bus_get_events(bus_) : 0;
    return static_cast<short>(events > 0 ? events : 0);
}

std::uint64_t SniTray::nowUs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000 +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000;
}

int SniTray::timeoutMs() const {
    std::uint64_t due = 0;
    if (bus_ == nullptr || sd_bus_get_timeout(bus_, &due) < 0) return -1;
    if (retryAtUs_ != 0 && retryAtUs_ < due) due = retryAtUs_;
    if (due == UINT64_MAX) return -1;
    const std::uint64_t now = nowUs();
    if (due <= now) return 0;
    const std::uint64_t ms = (due - now + 999) / 1000;
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

void SniTray::process() {
    if (bus_ == nullptr) return;
    const bool wasDeciding = deciding(), wasShown = shown();
    int r = 0;
    while ((r = sd_bus_process(bus_, nullptr)) > 0) {
    }
    // The bus went away (the session ends): its descriptor would keep
    // polling ready, so the connection goes too.
    if (r < 0) close();
    if (retryAtUs_ != 0 && nowUs() >= retryAtUs_) {
        retryAtUs_ = 0;
        registerItem();
    }
    if (deciding() != wasDeciding || shown() != wasShown) changed_();
}

void SniTray::awaitFirstAnswer(int maxMs) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(maxMs);
    process();
    while (bus_ != nullptr && deciding_) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) return;
        int wait = timeoutMs();
        if (wait < 0 || wait > left) wait = static_cast<int>(left);
        pollfd bus{fd(), events(), 0};
        poll(&bus, 1, wait);
        process();
    }
}

void SniTray::watcherIs(const std::string& owner) {
    if (owner.empty()) deciding_ = false;
    if (owner == watcher_) return;
    watcher_ = owner;
    registered_ = false;
    hostPresent_ = true;
    registerCall_ = sd_bus_slot_unref(registerCall_);
    hostCall_ = sd_bus_slot_unref(hostCall_);
    retryAtUs_ = 0;
    retryDelayUs_ = kFirstRetryUs;
    if (!owner.empty()) registerItem();
}

void SniTray::registerItem() {
    const int r = callAsync(bus_, &registerCall_, watcher_.c_str(), kWatcherPath, kWatcher,
                            "RegisterStatusNotifierItem", onRegistered, this, kWatcherTimeoutUs,
                            "s", name_.c_str());
    if (r < 0) deciding_ = false;
}

void SniTray::retryLater(const char* reason) {
    // Said once per watcher, not at every offer.
    if (retryDelayUs_ == kFirstRetryUs) {
        std::fprintf(stderr,
                     "tarvel: the status notifier watcher did not take the tray icon (%s); "
                     "offering it again\n",
                     reason);
    }
    retryAtUs_ = nowUs() + retryDelayUs_;
    retryDelayUs_ = std::min(retryDelayUs_ * 2, kLongestRetryUs);
}

void SniTray::queryHost() {
    hostCall_ = sd_bus_slot_unref(hostCall_);
    callAsync(bus_, &hostCall_, watcher_.c_str(), kWatcherPath, "org.freedesktop.DBus.Properties",
              "Get", onHostReply, this, kWatcherTimeoutUs, "ss", kWatcher,
              "IsStatusNotifierHostRegistered");
}

int SniTray::onWatcherOwner(sd_bus_message* reply, void* self, sd_bus_error*) {
    auto& tray = *static_cast<SniTray*>(self);
    tray.ownerCall_ = sd_bus_slot_unref(tray.ownerCall_);
    const char* owner = nullptr;
    // An error says the name has no owner.
    if (sd_bus_message_is_method_error(reply, nullptr) ||
        sd_bus_message_read(reply, "s", &owner) < 0) {
        owner = "";
    }
    tray.watcherIs(owner);
    return 0;
}

int SniTray::onOwnerChanged(sd_bus_message* signal, void* self, sd_bus_error*) {
    const char* name = nullptr;
    const char* before = nullptr;
    const char* after = nullptr;
    if (sd_bus_message_read(signal, "sss", &name, &before, &after) < 0) return 0;
    if (std::string_view(name) == kWatcher) static_cast<SniTray*>(self)->watcherIs(after);
    return 0;
}

int SniTray::onRegistered(sd_bus_message* reply, void* self, sd_bus_error*) {
    auto& tray = *static_cast<SniTray*>(self);
    tray.registerCall_ = sd_bus_slot_unref(tray.registerCall_);
    tray.deciding_ = false;
    if (const sd_bus_error* error = sd_bus_message_get_error(reply)) {
        tray.retryLater(error->message != nullptr ? error->message : error->name);
        return 0;
    }
    tray.registered_ = true;
    tray.queryHost();
    return 0;
}

int SniTray::onHostSignal(sd_bus_message* signal, void* self, sd_bus_error*) {
    auto& tray = *static_cast<SniTray*>(self);
    const std::string_view member = sd_bus_message_get_member(signal);
    // A panel came or went; others may remain, so the watcher is asked.
    if (member.starts_with("StatusNotifierHost") && tray.registered_) tray.queryHost();
    return 0;
}

int SniTray::onHostReply(sd_bus_message* reply, void* self, sd_bus_error*) {
    auto& tray = *static_cast<SniTray*>(self);
    tray.hostCall_ = sd_bus_slot_unref(tray.hostCall_);
    int present = 1;
    // A watcher that cannot say is taken to have a panel.
    if (!sd_bus_message_is_method_error(reply, nullptr) &&
        sd_bus_message_read(reply, "v", "b", &present) >= 0) {
        tray.hostPresent_ = present != 0;
    }
    return 0;
}

int SniTray::property(sd_bus*, const char*, const char*, const char* name, sd_bus_message* reply,
                      void* self, sd_bus_error*) {
    const auto& tray = *static_cast<const SniTray*>(self);
    const std::string_view property = name;
    if (property == "Category") return sd_bus_message_append(reply, "s", "ApplicationStatus");
    if (property == "Id") return sd_bus_message_append(reply, "s", kItemId);
    if (property == "Title") return sd_bus_message_append(reply, "s", kItemTitle);
    if (property == "Status") return sd_bus_message_append(reply, "s", "Active");
    if (property == "WindowId") return sd_bus_message_append(reply, "i", 0);
    if (property == "IconPixmap") return appendPixmaps(reply, tray.pixmaps_);
    if (property.ends_with("Pixmap")) return appendPixmaps(reply, {});
    if (property == "ItemIsMenu") return sd_bus_message_append(reply, "b", 0);
    if (property == "Menu") return sd_bus_message_append(reply, "o", kMenuPath);
    if (property == "ToolTip") {
        int r = sd_bus_message_open_container(reply, 'r', "sa(iiay)ss");
        if (r >= 0) r = sd_bus_message_append(reply, "s", "");
        if (r >= 0) r = appendPixmaps(reply, {});
        if (r >= 0) r = sd_bus_message_append(reply, "ss", tray.icon_.tip.c_str(), "");
        if (r >= 0) r = sd_bus_message_close_container(reply);
        return r;
    }
    // The icon names: the pixmaps stand for every icon.
    return sd_bus_message_append(reply, "s", "");
}

int SniTray::click(sd_bus_message* call, void* self, sd_bus_error*) {
    auto& tray = *static_cast<SniTray*>(self);
    const std::string_view member = sd_bus_message_get_member(call);
    const TrayIcon& icon = tray.icon_;
    // As a press and release on the icon: the left button shows the window,
    // the right one opens the program's own menu (for panels that do not
    // draw the item's menu themselves).
    auto post = [&](std::uint32_t mouse) {
        tray.windows_.postMessage(icon.window, icon.callbackMessage, icon.id, mouse);
    };
    if (member == "Activate") {
        post(kWmLButtonDown);
        post(kWmLButtonUp);
    } else if (member == "ContextMenu") {
        post(kWmRButtonDown);
        post(kWmRButtonUp);
    }
    return sd_bus_reply_method_return(call, "");
}

}  // namespace platform::sni
