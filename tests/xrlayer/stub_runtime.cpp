// A tiny OpenXR runtime for the layer's tests: the loader finds it through XR_RUNTIME_JSON (or
// a test calls it directly as the layer's next link). Its sticks stand still at the values in
// TARVEL_STUB_STICKS ("lx ly rx ry"); an action reads the stick of the hand its subaction path
// names (with none, the first hand it is bound to), whole or as one axis.
#include "tests/xrlayer/stub_runtime.h"

#include <openxr/openxr.h>

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
    XrTime frameTime = 0;
} stub;

template <class H>
H newHandle() {
    return reinterpret_cast<H>(++stub.handles);
}

XrResult XRAPI_CALL createInstance(const XrInstanceCreateInfo*, XrInstance* instance) {
    stub = {};
    std::istringstream(std::getenv("TARVEL_STUB_STICKS") ? std::getenv("TARVEL_STUB_STICKS")
                                                         : "") >>
        stub.sticks[0][0] >> stub.sticks[0][1] >> stub.sticks[1][0] >> stub.sticks[1][1];
    *instance = newHandle<XrInstance>();
    return XR_SUCCESS;
}

XrResult XRAPI_CALL stringToPath(XrInstance, const char* text, XrPath* path) {
    for (std::size_t i = 0; i < stub.paths.size(); ++i) {
        if (stub.paths[i] == text) return *path = i + 1, XR_SUCCESS;
    }
    stub.paths.push_back(text);
    *path = stub.paths.size();
    return XR_SUCCESS;
}

XrResult XRAPI_CALL pathToString(XrInstance, XrPath path, std::uint32_t capacity,
                                 std::uint32_t* count, char* buffer) {
    if (path == 0 || path > stub.paths.size()) return XR_ERROR_PATH_INVALID;
    const std::string& text = stub.paths[path - 1];
    *count = static_cast<std::uint32_t>(text.size() + 1);
    if (capacity < *count) return capacity == 0 ? XR_SUCCESS : XR_ERROR_SIZE_INSUFFICIENT;
    std::memcpy(buffer, text.c_str(), *count);
    return XR_SUCCESS;
}

XrResult XRAPI_CALL suggest(XrInstance, const XrInteractionProfileSuggestedBinding* s) {
    for (std::uint32_t i = 0; i < s->countSuggestedBindings; ++i) {
        const XrActionSuggestedBinding& b = s->suggestedBindings[i];
        stub.bindings[b.action].push_back(stub.paths[b.binding - 1]);
    }
    return XR_SUCCESS;
}

// The physical stick behind a read: whole, or the axis its binding ends in.
XrVector2f physical(const XrActionStateGetInfo* get, char* axis) {
    const std::string sub = get->subactionPath ? stub.paths[get->subactionPath - 1] : "";
    for (const std::string& b : stub.bindings[get->action]) {
        if (b.rfind(sub, 0) != 0) continue;
        const int hand = b.rfind("/user/hand/left", 0) == 0 ? 0 : 1;
        *axis = b.back() == 'x' || b.back() == 'y' ? b.back() : 0;
        return {stub.sticks[hand][0], stub.sticks[hand][1]};
    }
    return {};
}

XrResult XRAPI_CALL getVector2f(XrSession, const XrActionStateGetInfo* get,
                                XrActionStateVector2f* state) {
    char axis = 0;
    state->currentState = physical(get, &axis);
    state->isActive = XR_TRUE;
    state->changedSinceLastSync = XR_FALSE;
    state->lastChangeTime = kStubChangeTime;
    return XR_SUCCESS;
}

XrResult XRAPI_CALL getFloat(XrSession, const XrActionStateGetInfo* get,
                             XrActionStateFloat* state) {
    char axis = 0;
    const XrVector2f v = physical(get, &axis);
    state->currentState = axis == 'y' ? v.y : v.x;
    state->isActive = XR_TRUE;
    state->changedSinceLastSync = XR_FALSE;
    state->lastChangeTime = kStubChangeTime;
    return XR_SUCCESS;
}

XrResult XRAPI_CALL waitFrame(XrSession, const XrFrameWaitInfo*, XrFrameState* state) {
    state->predictedDisplayTime = stub.frameTime += 1000;
    return XR_SUCCESS;
}

template <class... Arguments>
XrResult XRAPI_CALL succeed(Arguments...) {
    return XR_SUCCESS;
}

template <class Parent, class Info, class Handle>
XrResult XRAPI_CALL create(Parent, const Info*, Handle* handle) {
    *handle = newHandle<Handle>();
    return XR_SUCCESS;
}

XrResult XRAPI_CALL getSystem(XrInstance, const XrSystemGetInfo*, XrSystemId* id) {
    *id = 1;
    return XR_SUCCESS;
}

XrResult XRAPI_CALL noExtensions(const char*, std::uint32_t, std::uint32_t* count,
                                 XrExtensionProperties*) {
    *count = 0;
    return XR_SUCCESS;
}

}  // namespace

XrResult XRAPI_CALL stubGetInstanceProcAddr(XrInstance, const char* name,
                                            PFN_xrVoidFunction* function) {
    static const std::map<std::string, PFN_xrVoidFunction> functions = {
        {"xrGetInstanceProcAddr", reinterpret_cast<PFN_xrVoidFunction>(&stubGetInstanceProcAddr)},
        {"xrEnumerateInstanceExtensionProperties",
         reinterpret_cast<PFN_xrVoidFunction>(&noExtensions)},
        {"xrCreateInstance", reinterpret_cast<PFN_xrVoidFunction>(&createInstance)},
        {"xrDestroyInstance", reinterpret_cast<PFN_xrVoidFunction>(&succeed<XrInstance>)},
        {"xrGetSystem", reinterpret_cast<PFN_xrVoidFunction>(&getSystem)},
        {"xrStringToPath", reinterpret_cast<PFN_xrVoidFunction>(&stringToPath)},
        {"xrPathToString", reinterpret_cast<PFN_xrVoidFunction>(&pathToString)},
        {"xrCreateSession",
         reinterpret_cast<PFN_xrVoidFunction>(&create<XrInstance, XrSessionCreateInfo, XrSession>)},
        {"xrCreateActionSet", reinterpret_cast<PFN_xrVoidFunction>(
                                  &create<XrInstance, XrActionSetCreateInfo, XrActionSet>)},
        {"xrCreateAction",
         reinterpret_cast<PFN_xrVoidFunction>(&create<XrActionSet, XrActionCreateInfo, XrAction>)},
        {"xrDestroySession", reinterpret_cast<PFN_xrVoidFunction>(&succeed<XrSession>)},
        {"xrSuggestInteractionProfileBindings", reinterpret_cast<PFN_xrVoidFunction>(&suggest)},
        {"xrAttachSessionActionSets",
         reinterpret_cast<PFN_xrVoidFunction>(
             &succeed<XrSession, const XrSessionActionSetsAttachInfo*>)},
        {"xrSyncActions",
         reinterpret_cast<PFN_xrVoidFunction>(&succeed<XrSession, const XrActionsSyncInfo*>)},
        {"xrWaitFrame", reinterpret_cast<PFN_xrVoidFunction>(&waitFrame)},
        {"xrGetActionStateFloat", reinterpret_cast<PFN_xrVoidFunction>(&getFloat)},
        {"xrGetActionStateVector2f", reinterpret_cast<PFN_xrVoidFunction>(&getVector2f)},
    };
    const auto found = functions.find(name);
    *function = found != functions.end() ? found->second : nullptr;
    return *function != nullptr ? XR_SUCCESS : XR_ERROR_FUNCTION_UNSUPPORTED;
}

XrResult XRAPI_CALL stubCreateInstance(const XrInstanceCreateInfo* info,
                                       const XrApiLayerCreateInfo*, XrInstance* instance) {
    return createInstance(info, instance);
}

// The loader's entry point: interface version 1, every call through stubGetInstanceProcAddr.
extern "C" TARVEL_STUB_EXPORT XrResult XRAPI_CALL
xrNegotiateLoaderRuntimeInterface(const void*, StubRuntimeRequest* request) {
    request->runtimeInterfaceVersion = 1;
    request->runtimeApiVersion = XR_CURRENT_API_VERSION;
    request->getInstanceProcAddr = &stubGetInstanceProcAddr;
    return XR_SUCCESS;
}
