// The thumbstick bindings of each interaction profile, and the table of actions that the frame
// path looks up: open addressing over a power-of-two array, rebuilt after each suggestion.
#include "xrlayer/bindings.h"

#include <cstddef>
#include <string_view>

namespace xrlayer {

namespace {

struct Parsed {
    int hand = -1;
    bool thumbstick = false;  // any part of the hand's thumbstick, click and touch included
    bool trackpad = false;
    Use use = Use::None;
};

// "/user/hand/<left|right>/input/<thumbstick|trackpad>[/x|/y]"; other paths use nothing.
Parsed parse(std::string_view path) {
    Parsed p;
    for (const auto& [prefix, hand] :
         {std::pair<std::string_view, int>{"/user/hand/left/input/", kLeft},
          {"/user/hand/right/input/", kRight}}) {
        if (path.substr(0, prefix.size()) == prefix) {
            p.hand = hand;
            path.remove_prefix(prefix.size());
        }
    }
    if (p.hand < 0) return p;
    for (const std::string_view component : {"thumbstick", "trackpad"}) {
        if (path.substr(0, component.size()) != component) continue;
        const std::string_view rest = path.substr(component.size());
        (component == "thumbstick" ? p.thumbstick : p.trackpad) = rest.empty() || rest[0] == '/';
        if (rest.empty()) p.use = Use::Stick;
        if (rest == "/x") p.use = Use::X;
        if (rest == "/y") p.use = Use::Y;
    }
    if (!p.thumbstick && !p.trackpad) p.use = Use::None;
    return p;
}

std::size_t slotOf(XrAction action, std::size_t mask) {
    auto key = reinterpret_cast<std::uintptr_t>(action);
    key ^= key >> 17;
    key *= 0x9E3779B97F4A7C15ull;
    return static_cast<std::size_t>(key >> 32) & mask;
}

}  // namespace

struct BindingTable::Profile {
    XrPath path;
    struct Entry {
        XrAction action;
        int hand;
        Use use;
    };
    std::vector<Entry> entries;
};

struct BindingTable::Snapshot {
    std::vector<ActionUse> slots;  // a power of two, at most half full
    std::size_t mask = 0;
};

BindingTable::BindingTable() = default;
BindingTable::~BindingTable() = default;

void BindingTable::learn(XrPath profile, const std::vector<SuggestedBinding>& bindings) {
    Profile learnt{profile, {}};
    bool thumbstick[2] = {false, false};
    for (const SuggestedBinding& b : bindings) {
        const Parsed p = parse(b.path);
        if (p.hand >= 0 && p.thumbstick) thumbstick[p.hand] = true;
    }
    for (const SuggestedBinding& b : bindings) {
        const Parsed p = parse(b.path);
        // A trackpad carries the walk only in a profile that binds no thumbstick of that hand.
        if (p.use == Use::None || (p.trackpad && thumbstick[p.hand])) continue;
        learnt.entries.push_back({b.action, p.hand, p.use});
    }
    std::lock_guard lock(mutex_);
    std::erase_if(profiles_, [profile](const Profile& q) { return q.path == profile; });
    profiles_.push_back(std::move(learnt));
    publish();
}

void BindingTable::publish() {
    std::size_t count = 0;
    for (const Profile& p : profiles_) count += p.entries.size();
    auto snapshot = std::make_unique<Snapshot>();
    std::size_t size = 8;
    while (size < 2 * count) size *= 2;
    snapshot->slots.resize(size);
    snapshot->mask = size - 1;
    const auto slot = [&](XrAction action) -> ActionUse& {
        std::size_t i = slotOf(action, snapshot->mask);
        while (snapshot->slots[i].action != XR_NULL_HANDLE && snapshot->slots[i].action != action) {
            i = (i + 1) & snapshot->mask;
        }
        snapshot->slots[i].action = action;
        return snapshot->slots[i];
    };
    // The first profile that binds an action to a hand decides how it takes that hand.
    for (const Profile& p : profiles_) {
        for (const Profile::Entry& e : p.entries) {
            ActionUse& u = slot(e.action);
            if (u.hand[e.hand] != Use::None) continue;
            u.hand[e.hand] = e.use;
            if (e.use != Use::X && e.use != Use::Y) continue;
            const Use other = e.use == Use::X ? Use::Y : Use::X;
            for (const Profile::Entry& f : p.entries) {
                if (f.hand == e.hand && f.use == other) {
                    u.partner[e.hand] = f.action;
                    break;
                }
            }
        }
    }
    current_.store(snapshot.get(), std::memory_order_release);
    snapshots_.push_back(std::move(snapshot));
}

const ActionUse* BindingTable::find(XrAction action) const {
    const Snapshot* s = current_.load(std::memory_order_acquire);
    if (s == nullptr || action == XR_NULL_HANDLE) return nullptr;
    for (std::size_t i = slotOf(action, s->mask);; i = (i + 1) & s->mask) {
        const ActionUse& u = s->slots[i];
        if (u.action == action) return &u;
        if (u.action == XR_NULL_HANDLE) return nullptr;
    }
}

void BindingTable::clear() {
    std::lock_guard lock(mutex_);
    profiles_.clear();
    current_.store(nullptr, std::memory_order_release);
}

}  // namespace xrlayer
