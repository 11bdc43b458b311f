// The OpenXR implicit API layer that adds the platform's walk to the game's thumbsticks: the
// loader's negotiation, the one instance the layer serves, and the hooks on the game's input.
// Every other function, every other instance, and everything the layer does not understand
// passes straight through.
#include <openxr/openxr.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <optional>
#include <vector>

#include "xrlayer/bindings.h"
#include "xrlayer/loader_interface.h"
#include "xrlayer/steamvr_guard.h"
#include "xrlayer/walk_source.h"

#if defined(_WIN32)
#define TARVEL_XR_EXPORT extern "C" __declspec(dllexport)
#else
#define TARVEL_XR_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace xrlayer {

namespace {

// Set to any value, even empty, it leaves the layer passing everything through (on Linux the
// manifest also names it, so that the loader does not load the layer at all).
constexpr const char* kDisableVariable = "DISABLE_TARVEL_XR_LAYER";

struct Vec {
    float x = 0.0f;
    float y = 0.0f;
    bool operator==(const Vec&) const = default;
};

// A value kept in the unit circle (a stick) or, for a lone axis, in [-1, 1].
Vec limited(Vec v, bool circle) {
    if (!circle) return {std::clamp(v.x, -1.0f, 1.0f), std::clamp(v.y, -1.0f, 1.0f)};
    const float squared = v.x * v.x + v.y * v.y;
    if (squared <= 1.0f) return v;
    const float length = std::sqrt(squared);
    return {v.x / length, v.y / length};
}

// What comes after this layer, for the instance it serves.
struct Next {
    PFN_xrDestroyInstance destroyInstance = nullptr;
    PFN_xrPollEvent pollEvent = nullptr;
    PFN_xrStringToPath stringToPath = nullptr;
    PFN_xrPathToString pathToString = nullptr;
    PFN_xrCreateActionSet createActionSet = nullptr;
    PFN_xrDestroyActionSet destroyActionSet = nullptr;
    PFN_xrCreateAction createAction = nullptr;
    PFN_xrDestroyAction destroyAction = nullptr;
    PFN_xrSuggestInteractionProfileBindings suggestBindings = nullptr;
    PFN_xrDestroySession destroySession = nullptr;
    PFN_xrAttachSessionActionSets attach = nullptr;
    PFN_xrGetCurrentInteractionProfile currentProfile = nullptr;
    PFN_xrWaitFrame waitFrame = nullptr;
    PFN_xrSyncActions syncActions = nullptr;
    PFN_xrGetActionStateBoolean getBoolean = nullptr;
    PFN_xrGetActionStateFloat getFloat = nullptr;
    PFN_xrGetActionStateVector2f getVector2f = nullptr;
};

// What the status last said, so that it is written again only when that changes (and at least
// every kStatusEveryNs, so that the program knows the game runs).
struct StatusKey {
    xrwalk::Because because{};
    XrAction action = XR_NULL_HANDLE;
    XrPath profile = XR_NULL_PATH;
    bool operator==(const StatusKey&) const = default;
};

template <class F>
bool resolve(PFN_xrGetInstanceProcAddr get, XrInstance instance, const char* name, F& out) {
    PFN_xrVoidFunction f = nullptr;
    if (XR_FAILED(get(instance, name, &f)) || f == nullptr) return false;
    out = reinterpret_cast<F>(f);
    return true;
}

// What one xrSyncActions decided, per hand: the walk now and at the sync before (zero while the
// walk pauses), the priority of the action sets it goes to, and when it last changed. Published
// as one, so that a read on another thread never mixes two syncs.
struct SyncState {
    Vec now[2];
    Vec before[2];
    std::uint32_t priority[2] = {0, 0};
    XrTime changedAt[2] = {0, 0};      // the sync at which the walk last changed
    XrTime changedBefore[2] = {0, 0};  // and the one before that
    std::uint32_t generation = 0;      // counts the syncs
};

// A value written by one thread at a time and read by any, as one: a sequence count around
// words that are each atomic.
template <class T>
class Published {
    static constexpr std::size_t kWords = (sizeof(T) + 7) / 8;

  public:
    void store(const T& value) {
        std::uint64_t words[kWords] = {};
        std::memcpy(words, &value, sizeof value);
        const std::uint32_t s = sequence_.load(std::memory_order_relaxed);
        sequence_.store(s + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        for (std::size_t i = 0; i < kWords; ++i)
            words_[i].store(words[i], std::memory_order_relaxed);
        sequence_.store(s + 2, std::memory_order_release);
    }
    T load() const {
        std::uint64_t words[kWords];
        for (;;) {
            const std::uint32_t s = sequence_.load(std::memory_order_acquire);
            for (std::size_t i = 0; i < kWords; ++i)
                words[i] = words_[i].load(std::memory_order_relaxed);
            std::atomic_thread_fence(std::memory_order_acquire);
            if (s % 2 == 0 && sequence_.load(std::memory_order_relaxed) == s) break;
        }
        T value;
        std::memcpy(&value, words, sizeof value);
        return value;
    }

  private:
    std::atomic<std::uint32_t> sequence_{0};
    std::atomic<std::uint64_t> words_[kWords] = {};
};

// The physical values of Float axes read in the current sync, so that the partner of each axis
// is read from the runtime at most once per sync.
struct AxisCache {
    struct Entry {
        std::uint32_t generation = 0;
        XrAction action = XR_NULL_HANDLE;
        XrPath subaction = XR_NULL_PATH;
        float value = 0.0f;
        bool active = false;
    };
    std::mutex mutex;
    Entry entries[8];
    std::size_t next = 0;

    const Entry* find(std::uint32_t generation, XrAction action, XrPath subaction) const {
        for (const Entry& e : entries) {
            if (e.generation == generation && e.action == action && e.subaction == subaction) {
                return &e;
            }
        }
        return nullptr;
    }
    void put(const Entry& e) {
        entries[next] = e;
        next = (next + 1) % std::size(entries);
    }
};

struct Layer {
    // The next link's xrGetInstanceProcAddr (never this layer's own, which it is when the same
    // library is installed twice and loaded once).
    std::atomic<PFN_xrGetInstanceProcAddr> nextGetProcAddr{nullptr};
    std::mutex mutex;  // taking and letting go of the served instance
    std::atomic<XrInstance> served{XR_NULL_HANDLE};
    Next next;
    XrPath handPath[2] = {XR_NULL_PATH, XR_NULL_PATH};
    BindingTable bindings;
    WalkSource source;
    std::mutex syncMutex;  // one sync at a time decides the walk
    Published<SyncState> sync;
    SyncState lastSync;  // the syncs' own copy, under syncMutex
    AxisCache axes;
    std::atomic<XrSession> session{XR_NULL_HANDLE};
    // The session's state from its last state event; unknown (0) counts as focused, for a
    // runtime that sends none.
    std::atomic<XrSessionState> sessionState{XR_SESSION_STATE_UNKNOWN};
    // The predicted display times of the last two frames: the older one has passed.
    std::atomic<XrTime> displayTime{0}, pastDisplayTime{0};
    // The status written back for the program, under syncMutex.
    xrwalk::Status status;
    StatusKey statusKey;
    std::int64_t statusWrittenNs = 0;
};

// The names the status carries from the start: the game's executable and its runtime's name.
void nameGame(xrwalk::Status& status, XrInstance instance, PFN_xrGetInstanceProcAddr get) {
    status = {};
    platform::executableName(status.exe, sizeof status.exe);
    PFN_xrGetInstanceProperties properties = nullptr;
    XrInstanceProperties p{XR_TYPE_INSTANCE_PROPERTIES, nullptr, 0, ""};
    if (resolve(get, instance, "xrGetInstanceProperties", properties) &&
        XR_SUCCEEDED(properties(instance, &p))) {
        std::snprintf(status.runtime, sizeof status.runtime, "%s", p.runtimeName);
    }
}

Layer& layer() {
    static Layer l;
    return l;
}

XrResult XRAPI_CALL getInstanceProcAddr(XrInstance instance, const char* name,
                                        PFN_xrVoidFunction* function);

// Serves `instance` when no other is served and every function the hooks call is there.
void serve(XrInstance instance, PFN_xrGetInstanceProcAddr get) {
    Layer& l = layer();
    std::lock_guard lock(l.mutex);
    if (l.served.load() != XR_NULL_HANDLE) return;
    Next n;
    if (!resolve(get, instance, "xrDestroyInstance", n.destroyInstance) ||
        !resolve(get, instance, "xrPollEvent", n.pollEvent) ||
        !resolve(get, instance, "xrStringToPath", n.stringToPath) ||
        !resolve(get, instance, "xrPathToString", n.pathToString) ||
        !resolve(get, instance, "xrCreateActionSet", n.createActionSet) ||
        !resolve(get, instance, "xrDestroyActionSet", n.destroyActionSet) ||
        !resolve(get, instance, "xrCreateAction", n.createAction) ||
        !resolve(get, instance, "xrDestroyAction", n.destroyAction) ||
        !resolve(get, instance, "xrSuggestInteractionProfileBindings", n.suggestBindings) ||
        !resolve(get, instance, "xrDestroySession", n.destroySession) ||
        !resolve(get, instance, "xrAttachSessionActionSets", n.attach) ||
        !resolve(get, instance, "xrGetCurrentInteractionProfile", n.currentProfile) ||
        !resolve(get, instance, "xrWaitFrame", n.waitFrame) ||
        !resolve(get, instance, "xrSyncActions", n.syncActions) ||
        !resolve(get, instance, "xrGetActionStateBoolean", n.getBoolean) ||
        !resolve(get, instance, "xrGetActionStateFloat", n.getFloat) ||
        !resolve(get, instance, "xrGetActionStateVector2f", n.getVector2f)) {
        return;
    }
    static const char* const kHands[2] = {"/user/hand/left", "/user/hand/right"};
    for (int h = 0; h < 2; ++h) {
        l.handPath[h] = XR_NULL_PATH;
        if (XR_FAILED(n.stringToPath(instance, kHands[h], &l.handPath[h]))) return;
    }
    l.next = n;
    l.bindings.clear();
    {
        // The sync count goes on: the axis cache never takes an earlier instance's values.
        std::lock_guard syncLock(l.syncMutex);
        SyncState fresh;
        fresh.generation = l.lastSync.generation + 1;
        l.lastSync = fresh;
        l.sync.store(fresh);
    }
    l.session.store(XR_NULL_HANDLE);
    l.sessionState.store(XR_SESSION_STATE_UNKNOWN);
    l.displayTime.store(0);
    l.pastDisplayTime.store(0);
    l.source.close();  // found again at the first read
    {
        std::lock_guard syncLock(l.syncMutex);
        nameGame(l.status, instance, get);
        l.statusKey = {};
        l.statusWrittenNs = 0;
    }
    learnRuntime(get, instance);
    l.served.store(instance, std::memory_order_release);
}

XrResult XRAPI_CALL createApiLayerInstance(const XrInstanceCreateInfo* info,
                                           const XrApiLayerCreateInfo* layerInfo,
                                           XrInstance* instance) {
    if (layerInfo == nullptr ||
        layerInfo->structType != XR_LOADER_INTERFACE_STRUCT_API_LAYER_CREATE_INFO ||
        layerInfo->nextInfo == nullptr) {
        return XR_ERROR_INITIALIZATION_FAILED;
    }
    const XrApiLayerNextInfo* own = layerInfo->nextInfo;
    if (own->structType != XR_LOADER_INTERFACE_STRUCT_API_LAYER_NEXT_INFO ||
        own->nextGetInstanceProcAddr == nullptr || own->nextCreateApiLayerInstance == nullptr) {
        return XR_ERROR_INITIALIZATION_FAILED;
    }
    Layer& l = layer();
    const bool nextIsSelf = own->nextGetInstanceProcAddr == &getInstanceProcAddr;
    if (!nextIsSelf) l.nextGetProcAddr.store(own->nextGetInstanceProcAddr);
    XrApiLayerCreateInfo down = *layerInfo;
    down.nextInfo = own->next;
    const XrResult result = own->nextCreateApiLayerInstance(info, &down, instance);
    if (XR_FAILED(result) || instance == nullptr) return result;
    // Installed twice, the layer is loaded twice: only the copy nearest the runtime walks.
    bool duplicate = nextIsSelf;
    for (const XrApiLayerNextInfo* later = own->next; later != nullptr && !duplicate;
         later = later->next) {
        duplicate = std::strncmp(later->layerName, own->layerName, XR_MAX_API_LAYER_NAME_SIZE) == 0;
    }
    if (duplicate) return result;
    if (std::getenv(kDisableVariable) == nullptr) {
        serve(*instance, own->nextGetInstanceProcAddr);
    } else {
        // Switched off by its variable: the program's window says so.
        xrwalk::Status status;
        nameGame(status, *instance, own->nextGetInstanceProcAddr);
        status.magic = xrwalk::kStatusMagic;
        status.because = xrwalk::Because::Disabled;
        status.startedNs = status.aliveNs = WalkSource::now();
        status.check = xrwalk::statusCheckOf(status);
        l.source.writeStatus(status);
    }
    return result;
}

XrResult XRAPI_CALL destroyInstance(XrInstance instance) {
    Layer& l = layer();
    const PFN_xrDestroyInstance destroy = l.next.destroyInstance;
    {
        std::lock_guard lock(l.mutex);
        if (l.served.load() == instance) {
            l.served.store(XR_NULL_HANDLE);
            l.bindings.clear();
            l.source.close();
        }
    }
    return destroy(instance);
}

// The profile the runtime now uses for each hand, asked for when it says that it changed.
void followProfiles(Layer& l, XrSession session) {
    for (int h = 0; h < 2; ++h) {
        XrInteractionProfileState state{XR_TYPE_INTERACTION_PROFILE_STATE, nullptr, XR_NULL_PATH};
        const bool known = XR_SUCCEEDED(l.next.currentProfile(session, l.handPath[h], &state));
        l.bindings.currentProfile(h, known ? state.interactionProfile : XR_NULL_PATH);
    }
}

XrResult XRAPI_CALL pollEvent(XrInstance instance, XrEventDataBuffer* event) {
    Layer& l = layer();
    const XrResult result = l.next.pollEvent(instance, event);
    if (result != XR_SUCCESS || instance != l.served.load()) return result;
    if (event->type == XR_TYPE_EVENT_DATA_INTERACTION_PROFILE_CHANGED) {
        const auto* changed = reinterpret_cast<const XrEventDataInteractionProfileChanged*>(event);
        if (changed->session == l.session.load()) {
            try {
                followProfiles(l, changed->session);
            } catch (const std::exception&) {
                // Out of memory: the walk keeps the bindings it had.
            }
        }
    } else if (event->type == XR_TYPE_EVENT_DATA_SESSION_STATE_CHANGED) {
        const auto* changed = reinterpret_cast<const XrEventDataSessionStateChanged*>(event);
        if (changed->session == l.session.load()) l.sessionState.store(changed->state);
    }
    return result;
}

// Learning what the game declares must never fail the game: out of memory, the walk keeps what
// it knew.
template <class F>
void learning(F f) {
    try {
        f();
    } catch (const std::exception&) {
    }
}

XrResult XRAPI_CALL createActionSet(XrInstance instance, const XrActionSetCreateInfo* info,
                                    XrActionSet* set) {
    Layer& l = layer();
    const XrResult result = l.next.createActionSet(instance, info, set);
    if (XR_SUCCEEDED(result) && instance == l.served.load()) {
        learning([&] { l.bindings.actionSetCreated(*set, info->priority, info->actionSetName); });
    }
    return result;
}

XrResult XRAPI_CALL destroyActionSet(XrActionSet set) {
    Layer& l = layer();
    learning([&] { l.bindings.actionSetDestroyed(set); });
    return l.next.destroyActionSet(set);
}

XrResult XRAPI_CALL createAction(XrActionSet set, const XrActionCreateInfo* info,
                                 XrAction* action) {
    Layer& l = layer();
    const XrResult result = l.next.createAction(set, info, action);
    if (XR_SUCCEEDED(result))
        learning([&] { l.bindings.actionCreated(*action, set, info->actionName); });
    return result;
}

XrResult XRAPI_CALL destroyAction(XrAction action) {
    Layer& l = layer();
    learning([&] { l.bindings.actionDestroyed(action); });
    return l.next.destroyAction(action);
}

XrResult XRAPI_CALL suggestBindings(XrInstance instance,
                                    const XrInteractionProfileSuggestedBinding* suggested) {
    Layer& l = layer();
    const XrResult result = l.next.suggestBindings(instance, suggested);
    if (XR_FAILED(result) || suggested == nullptr || instance != l.served.load()) return result;
    learning([&] {
        std::vector<SuggestedBinding> bindings;
        for (std::uint32_t i = 0; i < suggested->countSuggestedBindings; ++i) {
            const XrActionSuggestedBinding& b = suggested->suggestedBindings[i];
            char text[XR_MAX_PATH_LENGTH];
            std::uint32_t length = 0;
            if (XR_SUCCEEDED(
                    l.next.pathToString(instance, b.binding, sizeof text, &length, text)) &&
                length > 0 && length <= sizeof text) {
                bindings.push_back({b.action, std::string(text, length - 1)});
            }
        }
        l.bindings.learn(suggested->interactionProfile, bindings);
    });
    return result;
}

XrResult XRAPI_CALL attachActionSets(XrSession session, const XrSessionActionSetsAttachInfo* info) {
    Layer& l = layer();
    const XrResult result = l.next.attach(session, info);
    if (XR_SUCCEEDED(result) && info != nullptr) {
        l.session.store(session);
        learning([&] { l.bindings.attached(info->actionSets, info->countActionSets); });
    }
    return result;
}

XrResult XRAPI_CALL destroySession(XrSession session) {
    Layer& l = layer();
    if (session == l.session.load()) {
        l.session.store(XR_NULL_HANDLE);
        l.sessionState.store(XR_SESSION_STATE_UNKNOWN);
        learning([&] { l.bindings.sessionEnded(); });
    }
    return l.next.destroySession(session);
}

XrResult XRAPI_CALL waitFrame(XrSession session, const XrFrameWaitInfo* info,
                              XrFrameState* frameState) {
    Layer& l = layer();
    const XrResult result = l.next.waitFrame(session, info, frameState);
    if (XR_SUCCEEDED(result) && frameState != nullptr) {
        l.pastDisplayTime.store(l.displayTime.exchange(frameState->predictedDisplayTime));
    }
    return result;
}

// Whether the walk goes to `hand` after this sync, and to the sets of which priority: to the
// stick actions of the lowest-priority attached set that binds the hand's stick, while that set
// is active and no active set of higher priority binds the same stick (a menu has it then), and
// while the session is focused.
bool walkGoes(const Layer& l, const BindingTable::Reader& bindings, const XrActionsSyncInfo& info,
              int hand, std::uint32_t& priority) {
    const std::vector<StickSet>& sets = bindings.stickSets(hand);
    if (sets.empty()) return false;
    priority = sets.front().priority;
    const XrSessionState state = l.sessionState.load();
    if (state != XR_SESSION_STATE_UNKNOWN && state != XR_SESSION_STATE_FOCUSED) return false;
    bool active = false;
    for (std::uint32_t i = 0; i < info.countActiveActionSets; ++i) {
        const XrActiveActionSet& a = info.activeActionSets[i];
        if (a.subactionPath != XR_NULL_PATH && a.subactionPath != l.handPath[hand]) continue;
        for (const StickSet& s : sets) {
            if (s.set != a.actionSet) continue;
            if (s.priority > priority) return false;
            active = true;
        }
    }
    return active;
}

XrInstance instanceOf(const Layer& l) {
    return l.served.load(std::memory_order_relaxed);
}

// Where the left hand's walk goes, or why nowhere, written back for the program when that
// changes and every kStatusEveryNs while the game syncs. Under syncMutex.
void noteStatus(Layer& l, const BindingTable::Reader& bindings, bool fresh, bool goes,
                XrInstance instance) {
    const XrPath profile = bindings.profile(kLeft);
    const ActionUse* action = bindings.walkAction(kLeft);
    using xrwalk::Because;
    StatusKey key{profile == XR_NULL_PATH ? Because::NoProfile
                  : action == nullptr     ? Because::NoStickBinding
                  : !fresh                ? Because::NoWalk
                  : !goes                 ? Because::Paused
                                          : Because::Adding,
                  action != nullptr ? action->action : XR_NULL_HANDLE, profile};
    const std::int64_t now = WalkSource::now();
    if (key == l.statusKey && l.statusWrittenNs != 0 &&
        now - l.statusWrittenNs < xrwalk::kStatusEveryNs) {
        return;
    }
    xrwalk::Status& status = l.status;
    status.magic = xrwalk::kStatusMagic;
    if (key.profile != l.statusKey.profile || l.statusWrittenNs == 0) {
        std::uint32_t length = 0;
        status.profile[0] = '\0';
        if (profile == XR_NULL_PATH ||
            XR_FAILED(l.next.pathToString(instance, profile, sizeof status.profile, &length,
                                          status.profile))) {
            status.profile[0] = '\0';
        }
    }
    status.because = key.because;
    if (key.because == Because::NoStickBinding &&
        std::strstr(status.profile, "/khr/simple_controller") != nullptr) {
        status.because = Because::SimpleController;
    }
    std::snprintf(status.action, sizeof status.action, "%s",
                  action != nullptr ? action->name.c_str() : "");
    std::snprintf(status.path, sizeof status.path, "%s",
                  action != nullptr ? action->path[kLeft].c_str() : "");
    if (status.startedNs == 0) status.startedNs = now;
    status.aliveNs = now;
    status.check = xrwalk::statusCheckOf(status);
    l.source.writeStatus(status);
    l.statusKey = key;
    l.statusWrittenNs = now;
}

// The walk is taken once per sync, as the game's own input is: every read until the next sync
// sees the same value.
XrResult XRAPI_CALL syncActions(XrSession session, const XrActionsSyncInfo* info) {
    Layer& l = layer();
    const XrResult result = l.next.syncActions(session, info);
    if (XR_FAILED(result) || info == nullptr) return result;
    // On SteamVR's runtime with the SteamVR driver running, the treadmill walks the game.
    const xrwalk::Reading reading = standAsideForSteamVr() ? xrwalk::Reading{} : l.source.read();
    const xrwalk::Axes a = reading.axes;
    const Vec walk[2] = {{a.horizontal, a.vertical}, {a.lookHorizontal, 0.0f}};
    const XrTime past = l.pastDisplayTime.load(std::memory_order_relaxed);
    const BindingTable::Reader bindings(l.bindings);
    std::lock_guard lock(l.syncMutex);
    SyncState& s = l.lastSync;
    ++s.generation;
    bool goes[2] = {false, false};
    for (int h = 0; h < 2; ++h) {
        std::uint32_t priority = 0;
        goes[h] = walkGoes(l, bindings, *info, h, priority);
        s.before[h] = s.now[h];
        s.now[h] = goes[h] ? walk[h] : Vec{};
        s.priority[h] = priority;
        if (s.now[h] != s.before[h]) {
            s.changedBefore[h] = s.changedAt[h];
            s.changedAt[h] = past;
        }
    }
    l.sync.store(s);
    noteStatus(l, bindings, reading.fresh, goes[kLeft], instanceOf(l));
    return result;
}

// The hand whose walk a read of `use` takes: the one named by the subaction path, or with none
// (the game reads both hands together) the left one if the action is bound to it. -1: none.
int handOf(const Layer& l, const ActionUse& use, XrPath subaction) {
    if (subaction == XR_NULL_PATH) {
        return use.hand[kLeft] != Use::None ? kLeft : use.hand[kRight] != Use::None ? kRight : -1;
    }
    for (int h = 0; h < 2; ++h) {
        if (subaction == l.handPath[h]) return use.hand[h] != Use::None ? h : -1;
    }
    return -1;
}

// A read of an action the walk may go to: its hand and the sync's decision, or hand -1.
struct Target {
    int hand = -1;
    SyncState sync;
};

Target targetOf(const Layer& l, const ActionUse* use, XrPath subaction) {
    Target t;
    if (use == nullptr) return t;
    const int h = handOf(l, *use, subaction);
    if (h < 0) return t;
    t.sync = l.sync.load();
    if (use->priority == t.sync.priority[h]) t.hand = h;
    return t;
}

// The change fields of a read whose sum is `now` and was `before` at the last sync: set when it
// changed, the time then no later than the walk's change (never the predicted time of a frame
// still to come); kept as the runtime gave them otherwise, but for the walk's last change.
void noteChange(const Target& t, bool changed, XrBool32& changedSinceLastSync,
                XrTime& lastChangeTime) {
    const int h = t.hand;
    const bool walkChanged = !(t.sync.now[h] == t.sync.before[h]);
    if (changed) changedSinceLastSync = XR_TRUE;
    const XrTime walkTime = changed || !walkChanged ? t.sync.changedAt[h] : t.sync.changedBefore[h];
    lastChangeTime = std::max(lastChangeTime, walkTime);
}

XrResult XRAPI_CALL getVector2f(XrSession session, const XrActionStateGetInfo* get,
                                XrActionStateVector2f* state) {
    Layer& l = layer();
    const XrResult result = l.next.getVector2f(session, get, state);
    if (XR_FAILED(result) || !state->isActive) return result;
    const BindingTable::Reader bindings(l.bindings);
    const ActionUse* use = bindings.find(get->action);
    const Target t = targetOf(l, use, get->subactionPath);
    if (t.hand < 0 || use->hand[t.hand] != Use::Stick) return result;
    const Vec walkNow = t.sync.now[t.hand], walkBefore = t.sync.before[t.hand];
    if (walkNow == Vec{} && walkBefore == Vec{}) return result;  // idle: exactly the runtime's
    const Vec p{state->currentState.x, state->currentState.y};
    const auto sum = [&](Vec w) { return w == Vec{} ? p : limited({p.x + w.x, p.y + w.y}, true); };
    const Vec now = sum(walkNow);
    noteChange(t, !(now == sum(walkBefore)), state->changedSinceLastSync, state->lastChangeTime);
    state->currentState = {now.x, now.y};
    return result;
}

XrResult XRAPI_CALL getFloat(XrSession session, const XrActionStateGetInfo* get,
                             XrActionStateFloat* state) {
    Layer& l = layer();
    const XrResult result = l.next.getFloat(session, get, state);
    if (XR_FAILED(result) || !state->isActive) return result;
    const BindingTable::Reader bindings(l.bindings);
    const ActionUse* use = bindings.find(get->action);
    const Target t = targetOf(l, use, get->subactionPath);
    if (t.hand < 0 || (use->hand[t.hand] != Use::X && use->hand[t.hand] != Use::Y)) return result;
    const int h = t.hand;
    const Vec walkNow = t.sync.now[h], walkBefore = t.sync.before[h];
    if (walkNow == Vec{} && walkBefore == Vec{}) return result;  // idle: exactly the runtime's
    const XrAction partner = use->partner[h];
    // The other axis of the stick as the game would read it, from the runtime once per sync, so
    // that the pair stays in the circle; a lone axis is kept in [-1, 1].
    float other = 0.0f;
    bool paired = false;
    if (partner != XR_NULL_HANDLE) {
        std::lock_guard lock(l.axes.mutex);
        l.axes.put({t.sync.generation, get->action, get->subactionPath, state->currentState, true});
        const AxisCache::Entry* cached =
            l.axes.find(t.sync.generation, partner, get->subactionPath);
        AxisCache::Entry read{t.sync.generation, partner, get->subactionPath, 0.0f, false};
        if (cached == nullptr) {
            XrActionStateGetInfo partnerGet = *get;
            partnerGet.action = partner;
            XrActionStateFloat partnerState{XR_TYPE_ACTION_STATE_FLOAT, nullptr, 0.0f, 0, 0, 0};
            if (XR_SUCCEEDED(l.next.getFloat(session, &partnerGet, &partnerState))) {
                read.value = partnerState.currentState;
                read.active = partnerState.isActive != XR_FALSE;
            }
            l.axes.put(read);
            cached = &read;
        }
        other = cached->value;
        paired = cached->active;
    }
    const bool isX = use->hand[h] == Use::X;
    const Vec p = isX ? Vec{state->currentState, other} : Vec{other, state->currentState};
    const auto sum = [&](Vec w) {
        const Vec v = w == Vec{} ? p : limited({p.x + w.x, p.y + w.y}, paired);
        return isX ? v.x : v.y;
    };
    const float now = sum(walkNow);
    noteChange(t, now != sum(walkBefore), state->changedSinceLastSync, state->lastChangeTime);
    state->currentState = now;
    return result;
}

// A direction of the stick as a button: pressed while the walk leans that way past half.
bool pressed(Use use, Vec walk) {
    switch (use) {
        case Use::DpadUp:
            return walk.y >= 0.5f;
        case Use::DpadDown:
            return walk.y <= -0.5f;
        case Use::DpadLeft:
            return walk.x <= -0.5f;
        case Use::DpadRight:
            return walk.x >= 0.5f;
        default:
            return false;
    }
}

XrResult XRAPI_CALL getBoolean(XrSession session, const XrActionStateGetInfo* get,
                               XrActionStateBoolean* state) {
    Layer& l = layer();
    const XrResult result = l.next.getBoolean(session, get, state);
    if (XR_FAILED(result) || !state->isActive) return result;
    const BindingTable::Reader bindings(l.bindings);
    const ActionUse* use = bindings.find(get->action);
    const Target t = targetOf(l, use, get->subactionPath);
    if (t.hand < 0) return result;
    const Use direction = use->hand[t.hand];
    const bool now = pressed(direction, t.sync.now[t.hand]);
    const bool before = pressed(direction, t.sync.before[t.hand]);
    if (!now && !before) return result;  // idle: exactly the runtime's
    const bool physical = state->currentState != XR_FALSE;
    noteChange(t, (physical || now) != (physical || before), state->changedSinceLastSync,
               state->lastChangeTime);
    state->currentState = physical || now ? XR_TRUE : XR_FALSE;
    return result;
}

struct Hook {
    const char* name;
    PFN_xrVoidFunction function;
};

#define TARVEL_XR_HOOK(name, function) \
    { name, reinterpret_cast<PFN_xrVoidFunction>(&function) }
const Hook kHooks[] = {
    TARVEL_XR_HOOK("xrDestroyInstance", destroyInstance),
    TARVEL_XR_HOOK("xrPollEvent", pollEvent),
    TARVEL_XR_HOOK("xrCreateActionSet", createActionSet),
    TARVEL_XR_HOOK("xrDestroyActionSet", destroyActionSet),
    TARVEL_XR_HOOK("xrCreateAction", createAction),
    TARVEL_XR_HOOK("xrDestroyAction", destroyAction),
    TARVEL_XR_HOOK("xrSuggestInteractionProfileBindings", suggestBindings),
    TARVEL_XR_HOOK("xrAttachSessionActionSets", attachActionSets),
    TARVEL_XR_HOOK("xrDestroySession", destroySession),
    TARVEL_XR_HOOK("xrWaitFrame", waitFrame),
    TARVEL_XR_HOOK("xrSyncActions", syncActions),
    TARVEL_XR_HOOK("xrGetActionStateBoolean", getBoolean),
    TARVEL_XR_HOOK("xrGetActionStateVector2f", getVector2f),
    TARVEL_XR_HOOK("xrGetActionStateFloat", getFloat),
};
#undef TARVEL_XR_HOOK

XrResult XRAPI_CALL getInstanceProcAddr(XrInstance instance, const char* name,
                                        PFN_xrVoidFunction* function) {
    if (name == nullptr || function == nullptr) return XR_ERROR_VALIDATION_FAILURE;
    if (std::strcmp(name, "xrGetInstanceProcAddr") == 0) {
        *function = reinterpret_cast<PFN_xrVoidFunction>(&getInstanceProcAddr);
        return XR_SUCCESS;
    }
    Layer& l = layer();
    const PFN_xrGetInstanceProcAddr next = l.nextGetProcAddr.load();
    if (next == nullptr) return XR_ERROR_HANDLE_INVALID;
    const XrResult result = next(instance, name, function);
    // Only functions that the next link has are taken over, and only for the served instance.
    if (XR_FAILED(result) || *function == nullptr || instance == XR_NULL_HANDLE ||
        instance != l.served.load(std::memory_order_acquire)) {
        return result;
    }
    for (const Hook& hook : kHooks) {
        if (std::strcmp(name, hook.name) == 0) *function = hook.function;
    }
    return result;
}

}  // namespace

}  // namespace xrlayer

TARVEL_XR_EXPORT XrResult XRAPI_CALL
xrNegotiateLoaderApiLayerInterface(const XrNegotiateLoaderInfo* loaderInfo, const char* layerName,
                                   XrNegotiateApiLayerRequest* request) {
    if (loaderInfo == nullptr || layerName == nullptr || request == nullptr ||
        loaderInfo->structType != XR_LOADER_INTERFACE_STRUCT_LOADER_INFO ||
        loaderInfo->structVersion != XR_LOADER_INFO_STRUCT_VERSION ||
        loaderInfo->structSize != sizeof(XrNegotiateLoaderInfo) ||
        request->structType != XR_LOADER_INTERFACE_STRUCT_API_LAYER_REQUEST ||
        request->structVersion != XR_API_LAYER_INFO_STRUCT_VERSION ||
        request->structSize != sizeof(XrNegotiateApiLayerRequest) ||
        loaderInfo->minInterfaceVersion > XR_CURRENT_LOADER_API_LAYER_VERSION ||
        loaderInfo->maxInterfaceVersion < XR_CURRENT_LOADER_API_LAYER_VERSION ||
        XR_VERSION_MAJOR(loaderInfo->minApiVersion) > 1 ||
        XR_VERSION_MAJOR(loaderInfo->maxApiVersion) < 1) {
        return XR_ERROR_INITIALIZATION_FAILED;
    }
    request->layerInterfaceVersion = XR_CURRENT_LOADER_API_LAYER_VERSION;
    request->layerApiVersion = XR_CURRENT_API_VERSION;
    request->getInstanceProcAddr = &xrlayer::getInstanceProcAddr;
    request->createApiLayerInstance = &xrlayer::createApiLayerInstance;
    return XR_SUCCESS;
}
