// The private session bus, the tests' StatusNotifierWatcher and a panel's
// calls, all with sd-bus.
#include "tests/platform/linux/session_bus.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string_view>

namespace snitest {

using namespace std::chrono_literals;

namespace {

constexpr const char* kWatcher = "org.kde.StatusNotifierWatcher";
constexpr const char* kItemPath = "/StatusNotifierItem";
constexpr const char* kItem = "org.kde.StatusNotifierItem";

// A session bus that only this test uses: no services to start, anyone may
// own any name.
std::string busConfig(const std::string& socket) {
    return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n"
           "  <type>session</type>\n"
           "  <listen>unix:path=" +
           socket +
           "</listen>\n"
           "  <auth>EXTERNAL</auth>\n"
           "  <policy context=\"default\">\n"
           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
           "    <allow eavesdrop=\"true\"/>\n"
           "    <allow own=\"*\"/>\n"
           "  </policy>\n"
           "</busconfig>\n";
}

}  // namespace

PrivateBus::PrivateBus() {
    const std::string config = dir_.file("bus.conf");
    testsupport::writeFile(config, busConfig(dir_.file("bus")));
    address_ = "unix:path=" + dir_.file("bus");
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(126);
        const int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 1);
        dup2(devnull, 2);
        execlp("dbus-daemon", "dbus-daemon", "--nofork", ("--config-file=" + config).c_str(),
               static_cast<char*>(nullptr));
        _exit(127);
    }
    if (pid_ < 0) return;
    ok_ = testsupport::waitUntil(
        [&] {
            sd_bus* bus = connectTo(address_);
            sd_bus_flush_close_unref(bus);
            return bus != nullptr;
        },
        10s);
    if (ok_) env_.emplace("DBUS_SESSION_BUS_ADDRESS", address_);
}

PrivateBus::~PrivateBus() {
    env_.reset();
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
}

sd_bus* connectTo(const std::string& address) {
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0) return nullptr;
    sd_bus_set_address(bus, address.c_str());
    sd_bus_set_bus_client(bus, 1);
    if (sd_bus_start(bus) < 0 ||
        sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "GetId", nullptr, nullptr, "") < 0) {
        sd_bus_flush_close_unref(bus);
        return nullptr;
    }
    return bus;
}

// The watcher --------------------------------------------------------------

const sd_bus_vtable Watcher::kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("RegisterStatusNotifierItem", "s", "", registerItem, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("IsStatusNotifierHostRegistered", "b", property, 0, 0),
    SD_BUS_PROPERTY("ProtocolVersion", "i", property, 0, 0),
    SD_BUS_SIGNAL("StatusNotifierItemRegistered", "s", 0),
    SD_BUS_SIGNAL("StatusNotifierHostRegistered", "", 0),
    SD_BUS_SIGNAL("StatusNotifierHostUnregistered", "", 0),
    SD_BUS_VTABLE_END};

Watcher::Watcher(const std::string& address) : bus_(connectTo(address)) {
    if (bus_ == nullptr) return;
    if (sd_bus_add_object_vtable(bus_, &slot_, "/StatusNotifierWatcher", kWatcher, kVtable, this) <
            0 ||
        sd_bus_request_name(bus_, kWatcher, 0) < 0) {
        slot_ = sd_bus_slot_unref(slot_);
        bus_ = sd_bus_flush_close_unref(bus_);
        return;
    }
    thread_ = std::thread([this] { serve(); });
}

Watcher::~Watcher() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    slot_ = sd_bus_slot_unref(slot_);
    sd_bus_flush_close_unref(bus_);
}

std::vector<std::string> Watcher::items() {
    std::lock_guard lock(mutex_);
    return items_;
}

void Watcher::serve() {
    while (!stop_) {
        while (sd_bus_process(bus_, nullptr) > 0) {
        }
        if (host_ != announced_) {
            announced_ = host_;
            sd_bus_emit_signal(
                bus_, "/StatusNotifierWatcher", kWatcher,
                announced_ ? "StatusNotifierHostRegistered" : "StatusNotifierHostUnregistered", "");
        }
        sd_bus_wait(bus_, 20'000);
    }
}

int Watcher::registerItem(sd_bus_message* call, void* self, sd_bus_error*) {
    auto& watcher = *static_cast<Watcher*>(self);
    const char* service = nullptr;
    const int r = sd_bus_message_read(call, "s", &service);
    if (r < 0) return r;
    {
        std::lock_guard lock(watcher.mutex_);
        watcher.items_.emplace_back(service);
    }
    sd_bus_emit_signal(watcher.bus_, "/StatusNotifierWatcher", kWatcher,
                       "StatusNotifierItemRegistered", "s", service);
    return sd_bus_reply_method_return(call, "");
}

int Watcher::property(sd_bus*, const char*, const char*, const char* name, sd_bus_message* reply,
                      void* self, sd_bus_error*) {
    auto& watcher = *static_cast<Watcher*>(self);
    if (std::string_view(name) == "ProtocolVersion") return sd_bus_message_append(reply, "i", 0);
    return sd_bus_message_append(reply, "b", watcher.announced_ ? 1 : 0);
}

// A panel's calls ----------------------------------------------------------

namespace {

std::string stringProperty(sd_bus* bus, const std::string& service, const char* name) {
    char* value = nullptr;
    if (sd_bus_get_property_string(bus, service.c_str(), kItemPath, kItem, name, nullptr, &value) <
        0) {
        return "<error>";
    }
    std::string text = value;
    free(value);
    return text;
}

// Reads a(iiay) from the message.
bool readPixmaps(sd_bus_message* m, ItemView& view) {
    if (sd_bus_message_enter_container(m, 'a', "(iiay)") < 0) return false;
    while (sd_bus_message_enter_container(m, 'r', "iiay") > 0) {
        int w = 0, h = 0;
        const void* data = nullptr;
        std::size_t size = 0;
        if (sd_bus_message_read(m, "ii", &w, &h) < 0 ||
            sd_bus_message_read_array(m, 'y', &data, &size) < 0) {
            return false;
        }
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        view.pixmaps.push_back({{w, h}, std::vector<std::uint8_t>(bytes, bytes + size)});
        sd_bus_message_exit_container(m);
    }
    return sd_bus_message_exit_container(m) >= 0;
}

}  // namespace

bool registerHost(sd_bus* bus) {
    const char* name = nullptr;
    return sd_bus_get_unique_name(bus, &name) >= 0 &&
           sd_bus_call_method(bus, kWatcher, "/StatusNotifierWatcher", kWatcher,
                              "RegisterStatusNotifierHost", nullptr, nullptr, "s", name) >= 0;
}

std::vector<std::string> registeredItems(sd_bus* bus) {
    std::vector<std::string> items;
    sd_bus_message* reply = nullptr;
    const char* item = nullptr;
    if (sd_bus_get_property(bus, kWatcher, "/StatusNotifierWatcher", kWatcher,
                            "RegisteredStatusNotifierItems", nullptr, &reply, "as") >= 0 &&
        sd_bus_message_enter_container(reply, 'a', "s") >= 0) {
        while (sd_bus_message_read(reply, "s", &item) > 0) items.push_back(item);
    }
    sd_bus_message_unref(reply);
    return items;
}

std::optional<ItemView> readItem(sd_bus* bus, const std::string& service) {
    ItemView view;
    view.category = stringProperty(bus, service, "Category");
    view.id = stringProperty(bus, service, "Id");
    view.title = stringProperty(bus, service, "Title");
    view.status = stringProperty(bus, service, "Status");
    sd_bus_message* reply = nullptr;
    bool ok = sd_bus_get_property(bus, service.c_str(), kItemPath, kItem, "Menu", nullptr, &reply,
                                  "o") >= 0;
    const char* path = nullptr;
    ok = ok && sd_bus_message_read(reply, "o", &path) >= 0;
    if (ok) view.menu = path;
    reply = sd_bus_message_unref(reply);

    int isMenu = 1;
    ok = ok && sd_bus_get_property_trivial(bus, service.c_str(), kItemPath, kItem, "ItemIsMenu",
                                           nullptr, 'b', &isMenu) >= 0;
    view.itemIsMenu = isMenu != 0;

    ok = ok && sd_bus_get_property(bus, service.c_str(), kItemPath, kItem, "IconPixmap", nullptr,
                                   &reply, "a(iiay)") >= 0;
    ok = ok && readPixmaps(reply, view);
    reply = sd_bus_message_unref(reply);

    ok = ok && sd_bus_get_property(bus, service.c_str(), kItemPath, kItem, "ToolTip", nullptr,
                                   &reply, "(sa(iiay)ss)") >= 0;
    const char* iconName = nullptr;
    const char* title = nullptr;
    const char* text = nullptr;
    ItemView tipIcons;
    ok = ok && sd_bus_message_enter_container(reply, 'r', "sa(iiay)ss") >= 0 &&
         sd_bus_message_read(reply, "s", &iconName) >= 0 && readPixmaps(reply, tipIcons) &&
         sd_bus_message_read(reply, "ss", &title, &text) >= 0;
    if (ok) view.toolTipTitle = title;
    sd_bus_message_unref(reply);
    return ok ? std::optional<ItemView>(view) : std::nullopt;
}

bool activate(sd_bus* bus, const std::string& service) {
    return sd_bus_call_method(bus, service.c_str(), kItemPath, kItem, "Activate", nullptr, nullptr,
                              "ii", 10, 10) >= 0;
}

std::vector<std::pair<int, std::string>> menuItems(sd_bus* bus, const std::string& service,
                                                   const std::string& menuPath) {
    std::vector<std::pair<int, std::string>> items;
    sd_bus_message* reply = nullptr;
    if (sd_bus_call_method(bus, service.c_str(), menuPath.c_str(), "com.canonical.dbusmenu",
                           "GetLayout", nullptr, &reply, "iias", 0, -1, 0) < 0) {
        return items;
    }
    std::uint32_t revision = 0;
    std::int32_t rootId = 0;
    sd_bus_message_read(reply, "u", &revision);
    sd_bus_message_enter_container(reply, 'r', "ia{sv}av");
    sd_bus_message_read(reply, "i", &rootId);
    sd_bus_message_skip(reply, "a{sv}");
    sd_bus_message_enter_container(reply, 'a', "v");
    while (sd_bus_message_enter_container(reply, 'v', "(ia{sv}av)") > 0) {
        std::int32_t id = 0;
        std::string label;
        sd_bus_message_enter_container(reply, 'r', "ia{sv}av");
        sd_bus_message_read(reply, "i", &id);
        sd_bus_message_enter_container(reply, 'a', "{sv}");
        while (sd_bus_message_enter_container(reply, 'e', "sv") > 0) {
            const char* name = nullptr;
            sd_bus_message_read(reply, "s", &name);
            if (std::string_view(name) == "label") {
                const char* value = nullptr;
                sd_bus_message_read(reply, "v", "s", &value);
                label = value;
            } else {
                sd_bus_message_skip(reply, "v");
            }
            sd_bus_message_exit_container(reply);
        }
        sd_bus_message_exit_container(reply);
        sd_bus_message_skip(reply, "av");
        sd_bus_message_exit_container(reply);
        sd_bus_message_exit_container(reply);
        items.emplace_back(id, label);
    }
    sd_bus_message_unref(reply);
    return items;
}

bool clickMenuItem(sd_bus* bus, const std::string& service, const std::string& menuPath, int id) {
    return sd_bus_call_method(bus, service.c_str(), menuPath.c_str(), "com.canonical.dbusmenu",
                              "Event", nullptr, nullptr, "isvu", id, "clicked", "s", "", 0) >= 0;
}

}  // namespace snitest
