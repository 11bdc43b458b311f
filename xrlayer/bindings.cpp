// The thumbstick bindings of each interaction profile, and the snapshot of the current profile's
// that the frame path looks actions up in: open addressing over a power-of-two array.
#include "xrlayer/bindings.h"

#include <algorithm>
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

// "/user/hand/<left|right>/input/<thumbstick|trackpad>[/x|/y|/dpad_<direction>]"; other paths
// use nothing.
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
        const std::pair<std::string_view, Use> uses[] = {{"", Use::Stick},
                                                         {"/x", Use::X},
                                                         {"/y", Use::Y},
                                                         {"/dpad_up", Use::DpadUp},
                                                         {"/dpad_down", Use::DpadDown},
                                                         {"/dpad_left", Use::DpadLeft},
                                                         {"/dpad_right", Use::DpadRight}};
        for (const auto& [suffix, use] : uses) {
            if (rest == suffix) p.use = use;
        }
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
        std::string path;
    };
    std::vector<Entry> entries;
};

struct BindingTable::Snapshot {
    std::vector<ActionUse> slots;  // a power of two, at most half full
    std::size_t mask = 0;
    std::vector<StickSet> stickSets[2];
    XrPath profile[2] = {XR_NULL_PATH, XR_NULL_PATH};
    const ActionUse* walkAction[2] = {nullptr, nullptr};
};

BindingTable::BindingTable() = default;
BindingTable::~BindingTable() = default;

void BindingTable::actionSetCreated(XrActionSet set, std::uint32_t priority, const char*) {
    std::lock_guard lock(mutex_);
    setPriority_[set] = priority;
}

void BindingTable::actionCreated(XrAction action, XrActionSet set, const char* name) {
    std::lock_guard lock(mutex_);
    actions_[action] = {set, name};
}

void BindingTable::actionDestroyed(XrAction action) {
    std::lock_guard lock(mutex_);
    actions_.erase(action);
    for (Profile& p : profiles_) {
        std::erase_if(p.entries, [action](const Profile::Entry& e) { return e.action == action; });
    }
    publish();
}

void BindingTable::actionSetDestroyed(XrActionSet set) {
    std::lock_guard lock(mutex_);
    setPriority_.erase(set);
    std::erase(attached_, set);
    std::erase_if(actions_, [set](const auto& a) { return a.second.set == set; });
    for (Profile& p : profiles_) {
        std::erase_if(p.entries,
                      [this](const Profile::Entry& e) { return !actions_.contains(e.action); });
    }
    publish();
}

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
        learnt.entries.push_back({b.action, p.hand, p.use, b.path});
    }
    std::lock_guard lock(mutex_);
    std::erase_if(profiles_, [profile](const Profile& q) { return q.path == profile; });
    profiles_.push_back(std::move(learnt));
    publish();
}

void BindingTable::attached(const XrActionSet* sets, std::uint32_t count) {
    std::lock_guard lock(mutex_);
    attached_.assign(sets, sets + count);
    publish();
}

void BindingTable::currentProfile(int hand, XrPath profile) {
    std::lock_guard lock(mutex_);
    current_[hand] = profile;
    publish();
}

void BindingTable::sessionEnded() {
    std::lock_guard lock(mutex_);
    attached_.clear();
    current_[0] = current_[1] = XR_NULL_PATH;
    publish();
}

void BindingTable::clear() {
    std::lock_guard lock(mutex_);
    setPriority_.clear();
    actions_.clear();
    profiles_.clear();
    attached_.clear();
    current_[0] = current_[1] = XR_NULL_PATH;
    publish();
}

void BindingTable::publish() {
    auto snapshot = std::make_unique<Snapshot>();
    // Per hand, the entries of the profile the runtime uses for it, of attached sets only.
    std::vector<std::pair<int, const Profile::Entry*>> taken;
    for (const Profile& p : profiles_) {
        for (const Profile::Entry& e : p.entries) {
            const auto declared = actions_.find(e.action);
            if (p.path != current_[e.hand] || declared == actions_.end() ||
                std::find(attached_.begin(), attached_.end(), declared->second.set) ==
                    attached_.end()) {
                continue;
            }
            taken.push_back({e.hand, &e});
        }
    }
    std::size_t size = 8;
    while (size < 2 * taken.size()) size *= 2;
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
    for (const auto& [hand, e] : taken) {
        ActionUse& u = slot(e->action);
        if (u.hand[hand] != Use::None) continue;
        const Declared& declared = actions_.at(e->action);
        u.set = declared.set;
        u.priority = setPriority_[declared.set];
        u.name = declared.name;
        u.hand[hand] = e->use;
        u.path[hand] = e->path;
        const StickSet stickSet{declared.set, setPriority_[declared.set]};
        auto& sets = snapshot->stickSets[hand];
        if (std::none_of(sets.begin(), sets.end(),
                         [&](const StickSet& s) { return s.set == stickSet.set; })) {
            sets.push_back(stickSet);
        }
        if (e->use != Use::X && e->use != Use::Y) continue;
        const Use other = e->use == Use::X ? Use::Y : Use::X;
        for (const auto& [h, f] : taken) {
            if (h == hand && f->use == other && actions_.at(f->action).set == declared.set) {
                u.partner[hand] = f->action;
                break;
            }
        }
    }
    for (auto& sets : snapshot->stickSets) {
        std::stable_sort(sets.begin(), sets.end(), [](const StickSet& a, const StickSet& b) {
            return a.priority < b.priority;
        });
    }
    for (int h = 0; h < 2; ++h) {
        snapshot->profile[h] = current_[h];
        const auto& sets = snapshot->stickSets[h];
        for (const ActionUse& u : snapshot->slots) {
            if (sets.empty() || u.action == XR_NULL_HANDLE || u.hand[h] == Use::None ||
                u.priority != sets.front().priority) {
                continue;
            }
            const ActionUse* best = snapshot->walkAction[h];
            if (best == nullptr || (u.hand[h] < best->hand[h])) snapshot->walkAction[h] = &u;
        }
    }
    // A replaced snapshot is freed once no read is under way: a read that starts after the
    // store below finds the new one.
    snapshot_.store(snapshot.get(), std::memory_order_seq_cst);
    if (live_) retired_.push_back(std::move(live_));
    live_ = std::move(snapshot);
    if (readers_.load(std::memory_order_seq_cst) == 0) retired_.clear();
}

std::size_t BindingTable::snapshotsHeld() const {
    std::lock_guard lock(mutex_);
    return retired_.size() + (live_ ? 1 : 0);
}

BindingTable::Reader::Reader(const BindingTable& table) : table_(table) {
    table_.readers_.fetch_add(1, std::memory_order_seq_cst);
    snapshot_ = table_.snapshot_.load(std::memory_order_seq_cst);
}

BindingTable::Reader::~Reader() {
    table_.readers_.fetch_sub(1, std::memory_order_release);
}

const ActionUse* BindingTable::Reader::find(XrAction action) const {
    if (snapshot_ == nullptr || action == XR_NULL_HANDLE) return nullptr;
    for (std::size_t i = slotOf(action, snapshot_->mask);; i = (i + 1) & snapshot_->mask) {
        const ActionUse& u = snapshot_->slots[i];
        if (u.action == action) return &u;
        if (u.action == XR_NULL_HANDLE) return nullptr;
    }
}

const std::vector<StickSet>& BindingTable::Reader::stickSets(int hand) const {
    static const std::vector<StickSet> kNone;
    return snapshot_ != nullptr ? snapshot_->stickSets[hand] : kNone;
}

XrPath BindingTable::Reader::profile(int hand) const {
    return snapshot_ != nullptr ? snapshot_->profile[hand] : XR_NULL_PATH;
}

const ActionUse* BindingTable::Reader::walkAction(int hand) const {
    return snapshot_ != nullptr ? snapshot_->walkAction[hand] : nullptr;
}

}  // namespace xrlayer
