// The tests' stub OpenXR runtime: the loader finds it through XR_RUNTIME_JSON, or a test that
// stands in for the loader gives its entry points to the layer as the next link. Its sticks
// stand still at TARVEL_STUB_STICKS ("lx ly rx ry"; 0 when unset).
#pragma once

#include "xrlayer/loader_interface.h"

// The lastChangeTime of every read: the sticks never move.
inline constexpr XrTime kStubChangeTime = 5;

XrResult XRAPI_CALL stubGetInstanceProcAddr(XrInstance, const char* name, PFN_xrVoidFunction* f);
XrResult XRAPI_CALL stubCreateInstance(const XrInstanceCreateInfo*, const XrApiLayerCreateInfo*,
                                       XrInstance* instance);
