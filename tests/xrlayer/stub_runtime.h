// The tests' stub OpenXR runtime: its entry points, for the loader and for tests that stand in
// for the loader themselves.
#pragma once

#include <openxr/openxr.h>

#include "xrlayer/loader_interface.h"

#if defined(_WIN32)
#define TARVEL_STUB_EXPORT __declspec(dllexport)
#else
#define TARVEL_STUB_EXPORT __attribute__((visibility("default")))
#endif

// The lastChangeTime of every stick read: they never move.
inline constexpr XrTime kStubChangeTime = 5;

// The loader's request to a runtime, as the loader defines it.
struct StubRuntimeRequest {
    XrLoaderInterfaceStructs structType;
    uint32_t structVersion;
    size_t structSize;
    uint32_t runtimeInterfaceVersion;
    XrVersion runtimeApiVersion;
    PFN_xrGetInstanceProcAddr getInstanceProcAddr;
};

XrResult XRAPI_CALL stubGetInstanceProcAddr(XrInstance instance, const char* name,
                                            PFN_xrVoidFunction* function);
// The runtime's end of the layer chain (what the loader's own link calls).
XrResult XRAPI_CALL stubCreateInstance(const XrInstanceCreateInfo* info,
                                       const XrApiLayerCreateInfo* layerInfo, XrInstance* instance);
