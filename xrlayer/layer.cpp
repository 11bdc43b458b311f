// The OpenXR implicit API layer that adds the platform's walk to the game's thumbsticks: the
// loader's negotiation, the one instance the layer serves, and the hooks on the game's input.
// Every other function, every other instance, and everything the layer does not understand
// passes straight through.
#include <openxr/openxr.h>

#include <algorithm>
#include <atomic>
#include <cmath>
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
    PFN_xrSuggestInteractionProfileBindings suggestBindings = nullptr;
    PFN_xrPathToString pathToString = nullptr;
    PFN_xrStringToPath stringToPath = nullptr;
    PFN_xrWaitFrame waitFrame = nullptr;
    PFN_xrSyncActions syncActions = nullptr;
    PFN_xrGetActionStateFloat getFloat = nullptr;
    PFN_xrGetActionStateVector2f getVector2f = nullptr;
};

// One hand's walk: its value at the last xrSyncActions and at the one before, and the display
// time of the frame in which it last changed (0: never).
struct HandWalk {
    std::atomic<float> x{0.0f}, y{0.0f}, beforeX{0.0f}, beforeY{0.0f};
    std::atomic<XrTime> changedAt{0};
    Vec now() const {
        return {x.load(std::memory_order_relaxed), y.load(std::memory_order_relaxed)};
    }
    Vec before() const {
        return {beforeX.load(std::memory_order_relaxed), beforeY.load(std::memory_order_relaxed)};
    }
};

struct Layer {
    // The next link's xrGetInstanceProcAddr (never this layer's own, which it is when the same
    // library is installed twice and loaded once).
    std::atomic<PFN_xrGetInstanceProcAddr> nextGetProcAddr{nullptr};
    std::mutex mutex;  // taking and letting go of the served instance
    std::atomic<XrInstance> served{XR_NULL_HANDLE};
    Next next;
    std::atomic<XrPath> handPath[2] = {XR_NULL_PATH, XR_NULL_PATH};
    BindingTable bindings;
    WalkSource source;
    HandWalk walk[2];  // left: sideways and forward; right: the turn on x
    std::atomic<XrTime> displayTime{0};
};

Layer& layer() {
    static Layer l;
    return l;
}

XrResult XRAPI_CALL getInstanceProcAddr(XrInstance instance, const char* name,
                                        PFN_xrVoidFunction* function);

template <class F>
bool resolve(PFN_xrGetInstanceProcAddr get, XrInstance instance, const char* name, F& out) {
    PFN_xrVoidFunction f = nullptr;
    if (XR_FAILED(get(instance, name, &f)) || f == nullptr) return false;
    out = reinterpret_cast<F>(f);
    return true;
}

// Serves `instance` when no other is served and every function the hooks call is there.
void serve(XrInstance instance, PFN_xrGetInstanceProcAddr get) {
    Layer& l = layer();
    std::lock_guard lock(l.mutex);
    if (l.served.load() != XR_NULL_HANDLE) return;
    Next n;
    if (!resolve(get, instance, "xrDestroyInstance", n.destroyInstance) ||
        !resolve(get, instance, "xrSuggestInteractionProfileBindings", n.suggestBindings) ||
        !resolve(get, instance, "xrPathToString", n.pathToString) ||
        !resolve(get, instance, "xrStringToPath", n.stringToPath) ||
        !resolve(get, instance, "xrWaitFrame", n.waitFrame) ||
        !resolve(get, instance, "xrSyncActions", n.syncActions) ||
        !resolve(get, instance, "xrGetActionStateFloat", n.getFloat) ||
        !resolve(get, instance, "xrGetActionStateVector2f", n.getVector2f)) {
        return;
    }
    l.next = n;
    l.bindings.clear();
    for (auto& p : l.handPath) p.store(XR_NULL_PATH);
    for (HandWalk& w : l.walk) {
        for (auto* v : {&w.x, &w.y, &w.beforeX, &w.beforeY}) v->store(0.0f);
        w.changedAt.store(0);
    }
    l.displayTime.store(0);
    l.source.close();  // found again at the first read
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
    if (!duplicate && std::getenv(kDisableVariable) == nullptr) {
        serve(*instance, own->nextGetInstanceProcAddr);
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

// The binding paths' texts of one suggestion, learnt when the runtime took it.
void learn(Layer& l, XrInstance instance, const XrInteractionProfileSuggestedBinding& suggested) {
    static const char* const kHands[2] = {"/user/hand/left", "/user/hand/right"};
    for (int h = 0; h < 2; ++h) {
        XrPath path = XR_NULL_PATH;
        if (l.handPath[h].load() == XR_NULL_PATH &&
            XR_SUCCEEDED(l.next.stringToPath(instance, kHands[h], &path))) {
            l.handPath[h].store(path);
        }
    }
    std::vector<SuggestedBinding> bindings;
    for (std::uint32_t i = 0; i < suggested.countSuggestedBindings; ++i) {
        const XrActionSuggestedBinding& b = suggested.suggestedBindings[i];
        char text[XR_MAX_PATH_LENGTH];
        std::uint32_t length = 0;
        if (XR_SUCCEEDED(l.next.pathToString(instance, b.binding, sizeof text, &length, text)) &&
            length > 0 && length <= sizeof text) {
            bindings.push_back({b.action, std::string(text, length - 1)});
        }
    }
    l.bindings.learn(suggested.interactionProfile, bindings);
}

XrResult XRAPI_CALL suggestBindings(XrInstance instance,
                                    const XrInteractionProfileSuggestedBinding* suggested) {
    Layer& l = layer();
    const XrResult result = l.next.suggestBindings(instance, suggested);
    if (XR_SUCCEEDED(result) && suggested != nullptr && instance == l.served.load()) {
        try {
            learn(l, instance, *suggested);
        } catch (const std::exception&) {
            // Out of memory: the game keeps what was learnt before.
        }
    }
    return result;
}

XrResult XRAPI_CALL waitFrame(XrSession session, const XrFrameWaitInfo* info,
                              XrFrameState* frameState) {
    Layer& l = layer();
    const XrResult result = l.next.waitFrame(session, info, frameState);
    if (XR_SUCCEEDED(result) && frameState != nullptr) {
        l.displayTime.store(frameState->predictedDisplayTime, std::memory_order_relaxed);
    }
    return result;
}

// The walk is taken once per sync, as the game's own input is: every read until the next sync
// sees the same value.
XrResult XRAPI_CALL syncActions(XrSession session, const XrActionsSyncInfo* info) {
    Layer& l = layer();
    const XrResult result = l.next.syncActions(session, info);
    if (XR_FAILED(result)) return result;
    const xrwalk::Axes a = standAsideForSteamVr() ? xrwalk::Axes{} : l.source.read().axes;
    const Vec hands[2] = {{a.horizontal, a.vertical}, {a.lookHorizontal, 0.0f}};
    const XrTime at = l.displayTime.load(std::memory_order_relaxed);
    for (int h = 0; h < 2; ++h) {
        HandWalk& w = l.walk[h];
        const Vec before = w.now();
        w.beforeX.store(before.x, std::memory_order_relaxed);
        w.beforeY.store(before.y, std::memory_order_relaxed);
        w.x.store(hands[h].x, std::memory_order_relaxed);
        w.y.store(hands[h].y, std::memory_order_relaxed);
        if (hands[h] != before && at != 0) w.changedAt.store(at, std::memory_order_relaxed);
    }
    return result;
}

// The hand whose walk a read of `use` takes: the one named by the subaction path, or with none
// (the game reads both hands together) the left one if the action is bound to it. -1: none.
int handOf(const Layer& l, const ActionUse& use, XrPath subaction) {
    if (subaction == XR_NULL_PATH) {
        return use.hand[kLeft] != Use::None ? kLeft : use.hand[kRight] != Use::None ? kRight : -1;
    }
    for (int h = 0; h < 2; ++h) {
        if (subaction == l.handPath[h].load(std::memory_order_relaxed)) {
            return use.hand[h] != Use::None ? h : -1;
        }
    }
    return -1;
}

// The physical value `p` plus the hand's walk now and at the last sync, or nothing while the
// hand has not walked since the last sync: `p` then passes through exactly.
struct Sums {
    Vec now;
    Vec before;
};

std::optional<Sums> sumsOf(const HandWalk& w, Vec p, bool circle) {
    const Vec now = w.now();
    const Vec before = w.before();
    if (now == Vec{} && before == Vec{}) return std::nullopt;
    const auto sum = [&](Vec walk) {
        return walk == Vec{} ? p : limited({p.x + walk.x, p.y + walk.y}, circle);
    };
    return Sums{sum(now), sum(before)};
}

// A read's lastChangeTime is no earlier than the frame in which the hand's walk last changed.
void noteChangeTime(const HandWalk& w, XrTime& lastChange) {
    lastChange = std::max(lastChange, w.changedAt.load(std::memory_order_relaxed));
}

// changedSinceLastSync is also set where the sum differs from the sum at the last sync: the
// physical value has not changed since then, or the runtime says that it has.
XrResult XRAPI_CALL getVector2f(XrSession session, const XrActionStateGetInfo* get,
                                XrActionStateVector2f* state) {
    Layer& l = layer();
    const XrResult result = l.next.getVector2f(session, get, state);
    if (XR_FAILED(result) || !state->isActive) return result;
    const ActionUse* use = l.bindings.find(get->action);
    const int h = use != nullptr ? handOf(l, *use, get->subactionPath) : -1;
    if (h < 0 || use->hand[h] != Use::Stick) return result;
    noteChangeTime(l.walk[h], state->lastChangeTime);
    const auto sums = sumsOf(l.walk[h], {state->currentState.x, state->currentState.y}, true);
    if (!sums) return result;
    if (!(sums->now == sums->before)) state->changedSinceLastSync = XR_TRUE;
    state->currentState = {sums->now.x, sums->now.y};
    return result;
}

XrResult XRAPI_CALL getFloat(XrSession session, const XrActionStateGetInfo* get,
                             XrActionStateFloat* state) {
    Layer& l = layer();
    const XrResult result = l.next.getFloat(session, get, state);
    if (XR_FAILED(result) || !state->isActive) return result;
    const ActionUse* use = l.bindings.find(get->action);
    const int h = use != nullptr ? handOf(l, *use, get->subactionPath) : -1;
    if (h < 0 || (use->hand[h] != Use::X && use->hand[h] != Use::Y)) return result;
    noteChangeTime(l.walk[h], state->lastChangeTime);
    // The other axis of the stick, read as the game would, so that the pair stays in the
    // circle; a lone axis is kept in [-1, 1].
    float other = 0.0f;
    bool paired = false;
    if (use->partner[h] != XR_NULL_HANDLE) {
        XrActionStateGetInfo partnerGet = *get;
        partnerGet.action = use->partner[h];
        XrActionStateFloat partner{};
        partner.type = XR_TYPE_ACTION_STATE_FLOAT;
        if (XR_SUCCEEDED(l.next.getFloat(session, &partnerGet, &partner)) && partner.isActive) {
            other = partner.currentState;
            paired = true;
        }
    }
    const bool isX = use->hand[h] == Use::X;
    const Vec p = isX ? Vec{state->currentState, other} : Vec{other, state->currentState};
    const auto sums = sumsOf(l.walk[h], p, paired);
    if (!sums) return result;
    const float now = isX ? sums->now.x : sums->now.y;
    if (now != (isX ? sums->before.x : sums->before.y)) state->changedSinceLastSync = XR_TRUE;
    state->currentState = now;
    return result;
}

struct Hook {
    const char* name;
    PFN_xrVoidFunction function;
};

const Hook kHooks[] = {
    {"xrDestroyInstance", reinterpret_cast<PFN_xrVoidFunction>(&destroyInstance)},
    {"xrSuggestInteractionProfileBindings", reinterpret_cast<PFN_xrVoidFunction>(&suggestBindings)},
    {"xrWaitFrame", reinterpret_cast<PFN_xrVoidFunction>(&waitFrame)},
    {"xrSyncActions", reinterpret_cast<PFN_xrVoidFunction>(&syncActions)},
    {"xrGetActionStateVector2f", reinterpret_cast<PFN_xrVoidFunction>(&getVector2f)},
    {"xrGetActionStateFloat", reinterpret_cast<PFN_xrVoidFunction>(&getFloat)},
};

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
