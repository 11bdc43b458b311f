// The stub runtime: paths, actions and bindings kept as given; a read takes the stick of the
// hand its subaction path names (with none, the first hand the action is bound to), whole or as
// the axis its binding ends in.
#include "tests/xrlayer/stub_runtime.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
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
} stub;

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
    char axis = 0;
    const XrVector2f v = read(get, state, &axis);
    state->currentState = axis == 'y' ? v.y : v.x;
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

// Named by TARVEL_STUB_RUNTIME_NAME ("stub" when unset), so that a test can play SteamVR's.
XrResult XRAPI_CALL instanceProperties(XrInstance, XrInstanceProperties* properties) {
    const char* name = std::getenv("TARVEL_STUB_RUNTIME_NAME");
    std::snprintf(properties->runtimeName, XR_MAX_RUNTIME_NAME_SIZE, "%s", name ? name : "stub");
    return XR_SUCCESS;
}

XrResult XRAPI_CALL noExtensions(const char*, std::uint32_t, std::uint32_t* count,
                                 XrExtensionProperties*) {
    *count = 0;
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
        TARVEL_STUB("xrEnumerateInstanceExtensionProperties", noExtensions),
        TARVEL_STUB("xrCreateInstance", createInstance),
        TARVEL_STUB("xrDestroyInstance", succeed<XrInstance>),
        TARVEL_STUB("xrGetSystem", getSystem),
        TARVEL_STUB("xrGetInstanceProperties", instanceProperties),
        TARVEL_STUB("xrStringToPath", stringToPath),
        TARVEL_STUB("xrPathToString", pathToString),
        TARVEL_STUB("xrCreateSession", (create<XrInstance, XrSessionCreateInfo, XrSession>)),
        TARVEL_STUB("xrDestroySession", succeed<XrSession>),
        TARVEL_STUB("xrCreateActionSet", (create<XrInstance, XrActionSetCreateInfo, XrActionSet>)),
        TARVEL_STUB("xrCreateAction", (create<XrActionSet, XrActionCreateInfo, XrAction>)),
        TARVEL_STUB("xrSuggestInteractionProfileBindings", suggest),
        TARVEL_STUB("xrAttachSessionActionSets",
                    (succeed<XrSession, const XrSessionActionSetsAttachInfo*>)),
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

// The loader's entry point: interface version 1, every call through stubGetInstanceProcAddr.
extern "C" XrResult XRAPI_CALL xrNegotiateLoaderRuntimeInterface(const void*,
                                                                 RuntimeRequest* request) {
    request->runtimeInterfaceVersion = 1;
    request->runtimeApiVersion = XR_CURRENT_API_VERSION;
    request->getInstanceProcAddr = &stubGetInstanceProcAddr;
    return XR_SUCCESS;
}
