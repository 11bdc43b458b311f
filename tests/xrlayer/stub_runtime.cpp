// The stub runtime: paths, actions and bindings kept as given; a read takes the stick of the
// hand its subaction path names (with none, the first hand the action is bound to), whole or as
// the axis its binding ends in. Once action sets are attached it says that the current profile
// (TARVEL_STUB_PROFILE, else Touch) changed, and the session state TARVEL_STUB_STATE if set.
#include "tests/xrlayer/stub_runtime.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Stub {
    std::vector<std::string> paths;  // XrPath n is paths[n - 1]
    std::map<XrAction, std::vector<std::string>> bindings;
    float sticks[2][2] = {};
    std::uintptr_t handles = 0;
    XrTime displayTime = 0;
    std::deque<XrEventDataBuffer> events;
    XrPath profile = XR_NULL_PATH;
} stub;

// Calls of each kind the runtime took, for the tests that count what the layer adds.
std::atomic<unsigned> floatReads{0};

template <class... A>
XrResult XRAPI_CALL succeed(A...) {
    return XR_SUCCESS;
}

template <class Parent, class Info, class Handle>
XrResult XRAPI_CALL create(Parent, const Info*, Handle* handle) {
    *handle = reinterpret_cast<Handle>(++stub.handles);
    return XR_SUCCESS;
}

XrResult XRAPI_CALL createInstance(const XrInstanceCreateInfo*, XrInstance* instance) {
    stub = {};
    const char* sticks = std::getenv("TARVEL_STUB_STICKS");
    std::istringstream(sticks ? sticks : "") >> stub.sticks[0][0] >> stub.sticks[0][1] >>
        stub.sticks[1][0] >> stub.sticks[1][1];
    return create<int, int>(0, nullptr, instance);
}

XrResult XRAPI_CALL stringToPath(XrInstance, const char* text, XrPath* path) {
    std::size_t i = 0;
    while (i < stub.paths.size() && stub.paths[i] != text) ++i;
    if (i == stub.paths.size()) stub.paths.push_back(text);
    *path = i + 1;
    return XR_SUCCESS;
}

XrResult XRAPI_CALL pathToString(XrInstance, XrPath path, std::uint32_t capacity,
                                 std::uint32_t* count, char* text) {
    const std::string& s = stub.paths.at(path - 1);
    *count = static_cast<std::uint32_t>(s.size() + 1);
    if (capacity >= *count) std::memcpy(text, s.c_str(), *count);
    return capacity == 0 || capacity >= *count ? XR_SUCCESS : XR_ERROR_SIZE_INSUFFICIENT;
}

XrResult XRAPI_CALL suggest(XrInstance, const XrInteractionProfileSuggestedBinding* s) {
    for (std::uint32_t i = 0; i < s->countSuggestedBindings; ++i) {
        const XrActionSuggestedBinding& b = s->suggestedBindings[i];
        stub.bindings[b.action].push_back(stub.paths.at(b.binding - 1));
    }
    return XR_SUCCESS;
}

template <class State>
XrVector2f read(const XrActionStateGetInfo* get, State* state, char* axis) {
    state->isActive = XR_TRUE;
    state->changedSinceLastSync = XR_FALSE;
    state->lastChangeTime = kStubChangeTime;
    const std::string sub = get->subactionPath ? stub.paths.at(get->subactionPath - 1) : "";
    for (const std::string& b : stub.bindings[get->action]) {
        if (b.rfind(sub, 0) != 0) continue;
        const float* s = stub.sticks[b.rfind("/user/hand/left", 0) == 0 ? 0 : 1];
        *axis = b.back();
        return {s[0], s[1]};
    }
    return {};
}

XrResult XRAPI_CALL getVector2f(XrSession, const XrActionStateGetInfo* get,
                                XrActionStateVector2f* state) {
    char axis = 0;
    state->currentState = read(get, state, &axis);
    return XR_SUCCESS;
}

XrResult XRAPI_CALL getFloat(XrSession, const XrActionStateGetInfo* get,
                             XrActionStateFloat* state) {
    floatReads.fetch_add(1);
    char axis = 0;
    const XrVector2f v = read(get, state, &axis);
    state->currentState = axis == 'y' ? v.y : v.x;
    return XR_SUCCESS;
}

XrResult XRAPI_CALL getBoolean(XrSession, const XrActionStateGetInfo* get,
                               XrActionStateBoolean* state) {
    char axis = 0;
    read(get, state, &axis);
    state->currentState = XR_FALSE;
    return XR_SUCCESS;
}

XrResult XRAPI_CALL attach(XrSession session, const XrSessionActionSetsAttachInfo*) {
    const char* profile = std::getenv("TARVEL_STUB_PROFILE");
    stringToPath(XR_NULL_HANDLE,
                 profile ? profile : "/interaction_profiles/oculus/touch_controller",
                 &stub.profile);
    XrEventDataBuffer event{XR_TYPE_EVENT_DATA_INTERACTION_PROFILE_CHANGED};
    reinterpret_cast<XrEventDataInteractionProfileChanged&>(event).session = session;
    stub.events.push_back(event);
    if (const char* state = std::getenv("TARVEL_STUB_STATE")) {
        XrEventDataBuffer changed{XR_TYPE_EVENT_DATA_SESSION_STATE_CHANGED};
        auto& c = reinterpret_cast<XrEventDataSessionStateChanged&>(changed);
        c.session = session;
        c.state = static_cast<XrSessionState>(std::atoi(state));
        stub.events.push_back(changed);
    }
    return XR_SUCCESS;
}

XrResult XRAPI_CALL pollEvent(XrInstance, XrEventDataBuffer* event) {
    if (stub.events.empty()) return XR_EVENT_UNAVAILABLE;
    *event = stub.events.front();
    stub.events.pop_front();
    return XR_SUCCESS;
}

XrResult XRAPI_CALL currentProfile(XrSession, XrPath, XrInteractionProfileState* state) {
    state->interactionProfile = stub.profile;
    return XR_SUCCESS;
}

XrResult XRAPI_CALL waitFrame(XrSession, const XrFrameWaitInfo*, XrFrameState* state) {
    state->predictedDisplayTime = stub.displayTime += 1000;
    return XR_SUCCESS;
}

XrResult XRAPI_CALL getSystem(XrInstance, const XrSystemGetInfo*, XrSystemId* id) {
    *id = 1;
    return XR_SUCCESS;
}

// One extension: XR_MND_headless (a session without graphics), which Khronos's validation layer
// asks for before it lets such a session pass.
XrResult XRAPI_CALL extensions(const char*, std::uint32_t capacity, std::uint32_t* count,
                               XrExtensionProperties* properties) {
    *count = 1;
    if (capacity == 0) return XR_SUCCESS;
    std::strcpy(properties[0].extensionName, XR_MND_HEADLESS_EXTENSION_NAME);
    properties[0].extensionVersion = 1;
    return XR_SUCCESS;
}

// Named by TARVEL_STUB_RUNTIME_NAME ("tarvel stub" when unset), so that a test can play SteamVR's.
XrResult XRAPI_CALL instanceProperties(XrInstance, XrInstanceProperties* properties) {
    const char* name = std::getenv("TARVEL_STUB_RUNTIME_NAME");
    properties->runtimeVersion = XR_MAKE_VERSION(1, 0, 0);
    std::snprintf(properties->runtimeName, XR_MAX_RUNTIME_NAME_SIZE, "%s",
                  name ? name : "tarvel stub");
    return XR_SUCCESS;
}

XrResult XRAPI_CALL resultToString(XrInstance, XrResult value, char* text) {
    std::snprintf(text, XR_MAX_RESULT_STRING_SIZE, "XR_RESULT_%d", static_cast<int>(value));
    return XR_SUCCESS;
}

XrResult XRAPI_CALL structureTypeToString(XrInstance, XrStructureType value, char* text) {
    std::snprintf(text, XR_MAX_STRUCTURE_NAME_SIZE, "XR_TYPE_%d", static_cast<int>(value));
    return XR_SUCCESS;
}

// The loader's request to a runtime, as the loader defines it.
struct RuntimeRequest {
    XrLoaderInterfaceStructs structType;
    uint32_t structVersion;
    size_t structSize;
    uint32_t runtimeInterfaceVersion;
    XrVersion runtimeApiVersion;
    PFN_xrGetInstanceProcAddr getInstanceProcAddr;
};

}  // namespace

XrResult XRAPI_CALL stubGetInstanceProcAddr(XrInstance, const char* name, PFN_xrVoidFunction* f) {
#define TARVEL_STUB(name, function) \
    { name, reinterpret_cast<PFN_xrVoidFunction>(&function) }
    static const std::map<std::string, PFN_xrVoidFunction> functions = {
        TARVEL_STUB("xrGetInstanceProcAddr", stubGetInstanceProcAddr),
        TARVEL_STUB("xrEnumerateInstanceExtensionProperties", extensions),
        TARVEL_STUB("xrResultToString", resultToString),
        TARVEL_STUB("xrGetInstanceProperties", instanceProperties),
        TARVEL_STUB("xrStructureTypeToString", structureTypeToString),
        TARVEL_STUB("xrCreateInstance", createInstance),
        TARVEL_STUB("xrDestroyInstance", succeed<XrInstance>),
        TARVEL_STUB("xrGetSystem", getSystem),
        TARVEL_STUB("xrStringToPath", stringToPath),
        TARVEL_STUB("xrPathToString", pathToString),
        TARVEL_STUB("xrCreateSession", (create<XrInstance, XrSessionCreateInfo, XrSession>)),
        TARVEL_STUB("xrDestroySession", succeed<XrSession>),
        TARVEL_STUB("xrCreateActionSet", (create<XrInstance, XrActionSetCreateInfo, XrActionSet>)),
        TARVEL_STUB("xrCreateAction", (create<XrActionSet, XrActionCreateInfo, XrAction>)),
        TARVEL_STUB("xrSuggestInteractionProfileBindings", suggest),
        TARVEL_STUB("xrAttachSessionActionSets", attach),
        TARVEL_STUB("xrPollEvent", pollEvent),
        TARVEL_STUB("xrGetCurrentInteractionProfile", currentProfile),
        TARVEL_STUB("xrDestroyAction", succeed<XrAction>),
        TARVEL_STUB("xrDestroyActionSet", succeed<XrActionSet>),
        TARVEL_STUB("xrGetActionStateBoolean", getBoolean),
        TARVEL_STUB("xrSyncActions", (succeed<XrSession, const XrActionsSyncInfo*>)),
        TARVEL_STUB("xrWaitFrame", waitFrame),
        TARVEL_STUB("xrGetActionStateFloat", getFloat),
        TARVEL_STUB("xrGetActionStateVector2f", getVector2f),
    };
#undef TARVEL_STUB
    const auto found = functions.find(name);
    *f = found != functions.end() ? found->second : nullptr;
    return *f != nullptr ? XR_SUCCESS : XR_ERROR_FUNCTION_UNSUPPORTED;
}

XrResult XRAPI_CALL stubCreateInstance(const XrInstanceCreateInfo* info,
                                       const XrApiLayerCreateInfo*, XrInstance* instance) {
    return createInstance(info, instance);
}

extern "C" unsigned tarvelStubFloatReads() {
    return floatReads.load();
}

// The loader's entry point: interface version 1, every call through stubGetInstanceProcAddr.
extern "C" XrResult XRAPI_CALL xrNegotiateLoaderRuntimeInterface(const void*,
                                                                 RuntimeRequest* request) {
    request->runtimeInterfaceVersion = 1;
    request->runtimeApiVersion = XR_CURRENT_API_VERSION;
    request->getInstanceProcAddr = &stubGetInstanceProcAddr;
    return XR_SUCCESS;
}
