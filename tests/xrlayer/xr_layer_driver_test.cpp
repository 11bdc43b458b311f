// The layer's library driven directly, as the loader drives it: its negotiation takes only the
// structures and versions it knows, and over the stub runtime its hooks add the walk from the
// program's block (written by the program's own code) to a Unity-style game's left stick. Runs
// on Linux and, for the Windows DLL, under Wine, where no OpenXR loader is to be had.
#include <gtest/gtest.h>

#include <functional>

#include "platform/xr_walk_block.h"
#include "tests/support/support.h"
#include "tests/xrlayer/stub_runtime.h"
#include "tests/xrlayer/xr_game.h"
#include "xrlayer/loader_interface.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>

#include "tests/support/scoped_env.h"
#endif

namespace {

PFN_xrNegotiateLoaderApiLayerInterface negotiation() {
#if defined(_WIN32)
    void* symbol = reinterpret_cast<void*>(
        GetProcAddress(LoadLibraryA("tarvel_xr.dll"), "xrNegotiateLoaderApiLayerInterface"));
#else
    void* library =
        dlopen((testsupport::binaryDir() + "/../lib/libtarvel_xr.so").c_str(), RTLD_NOW);
    void* symbol = library ? dlsym(library, "xrNegotiateLoaderApiLayerInterface") : nullptr;
#endif
    return reinterpret_cast<PFN_xrNegotiateLoaderApiLayerInterface>(symbol);
}

struct Negotiation {
    XrNegotiateLoaderInfo loader{XR_LOADER_INTERFACE_STRUCT_LOADER_INFO,
                                 1,
                                 sizeof(XrNegotiateLoaderInfo),
                                 1,
                                 1,
                                 XR_MAKE_VERSION(1, 0, 0),
                                 XR_MAKE_VERSION(1, 0x3ff, 0xfff)};
    XrNegotiateApiLayerRequest request{XR_LOADER_INTERFACE_STRUCT_API_LAYER_REQUEST,
                                       1,
                                       sizeof(XrNegotiateApiLayerRequest),
                                       0,
                                       0,
                                       nullptr,
                                       nullptr};
    XrResult run() { return negotiation()(&loader, "XR_APILAYER_TARVEL_walk", &request); }
};

TEST(XrLayerLibrary, NegotiationTakesOnlyWhatItKnows) {
    ASSERT_NE(negotiation(), nullptr);
    const std::function<void(Negotiation&)> unknown[] = {
        [](Negotiation& n) { n.loader.structType = XR_LOADER_INTERFACE_STRUCT_API_LAYER_REQUEST; },
        [](Negotiation& n) { n.loader.structVersion = 2; },
        [](Negotiation& n) { n.loader.structSize -= 8; },
        [](Negotiation& n) { n.request.structType = XR_LOADER_INTERFACE_STRUCT_LOADER_INFO; },
        [](Negotiation& n) { n.request.structSize += 8; },
        [](Negotiation& n) { n.loader.minInterfaceVersion = n.loader.maxInterfaceVersion = 2; },
        [](Negotiation& n) { n.loader.minApiVersion = XR_MAKE_VERSION(2, 0, 0); },
        [](Negotiation& n) { n.loader.maxApiVersion = XR_MAKE_VERSION(0, 9, 0); },
    };
    for (const auto& change : unknown) {
        Negotiation n;
        change(n);
        EXPECT_EQ(n.run(), XR_ERROR_INITIALIZATION_FAILED);
        EXPECT_EQ(n.request.getInstanceProcAddr, nullptr);
    }
    Negotiation n;
    n.loader.minInterfaceVersion = 0;  // a loader that also speaks older versions
    ASSERT_EQ(n.run(), XR_SUCCESS);
    EXPECT_EQ(n.request.layerInterfaceVersion, 1u);
    EXPECT_NE(n.request.getInstanceProcAddr, nullptr);
    EXPECT_NE(n.request.createApiLayerInstance, nullptr);
}

TEST(XrLayerLibrary, HooksAddTheProgramsWalkOverTheRuntime) {
#if !defined(_WIN32)
    testsupport::TempDir dir;
    testsupport::ScopedEnv runtime("XDG_RUNTIME_DIR", dir.path());
#endif
    platform::XrWalkWriter writer;
    ASSERT_EQ(writer.open(), platform::XrWalkWriter::Opened::Yes);
    ASSERT_TRUE(writer.publish({0.25f, -0.08f, 0.0f}, 1, platform::monotonicNanoseconds()));
    Negotiation n;
    ASSERT_EQ(n.run(), XR_SUCCESS);
    XrApiLayerNextInfo next{XR_LOADER_INTERFACE_STRUCT_API_LAYER_NEXT_INFO,
                            1,
                            sizeof(XrApiLayerNextInfo),
                            "XR_APILAYER_TARVEL_walk",
                            &stubGetInstanceProcAddr,
                            &stubCreateInstance,
                            nullptr};
    XrApiLayerCreateInfo layer{XR_LOADER_INTERFACE_STRUCT_API_LAYER_CREATE_INFO,
                               1,
                               sizeof(XrApiLayerCreateInfo),
                               nullptr,
                               {},
                               &next};
    XrInstanceCreateInfo info{XR_TYPE_INSTANCE_CREATE_INFO};
    XrInstance instance = XR_NULL_HANDLE;
    ASSERT_EQ(n.request.createApiLayerInstance(&info, &layer, &instance), XR_SUCCESS);
    {
        xrtest::XrGame game(n.request.getInstanceProcAddr, instance, xrtest::GameKind::Unity);
        ASSERT_TRUE(game.ok());
        const auto frame = game.frame();
        EXPECT_NEAR(frame.at("L").x, -0.08f, 1e-6f);
        EXPECT_NEAR(frame.at("L").y, 0.25f, 1e-6f);
        EXPECT_EQ(frame.at("R").x, 0.0f);
        EXPECT_EQ(frame.at("R").y, 0.0f);
    }
    PFN_xrVoidFunction destroy = nullptr;
    n.request.getInstanceProcAddr(instance, "xrDestroyInstance", &destroy);
    EXPECT_EQ(reinterpret_cast<PFN_xrDestroyInstance>(destroy)(instance), XR_SUCCESS);
}

}  // namespace
