// A probe game for the Windows tests: the OpenXR loader that games ship (openxr_loader.dll in
// the game's folder) finds the runtime and the layers as the system has them registered; the
// program's block holds a walk, and the three kinds of game read their sticks.
//   xr_loader_probe walk    the layer is listed, loaded, and adds the walk to the left stick;
//   xr_loader_probe absent  the layer is not loaded, the sticks are the runtime's own;
//   xr_loader_probe hold F  as walk, then keeps playing (the layer's DLL held) until the file F
//                           exists, and checks the walk again.
// Each line of output says what was seen; the exit code is 0 when every check held.
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/xr_walk_block.h"
#include "tests/xrlayer/xr_game.h"

namespace {

constexpr float kForward = 0.25f, kSideways = -0.08f;
int failures = 0;

void check(bool held, const std::string& what) {
    std::printf("%s %s\n", held ? "ok  " : "FAIL", what.c_str());
    std::fflush(stdout);
    if (!held) ++failures;
}

template <class F>
F loaderFunction(HMODULE loader, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(loader, name)));
}

// The full name of the layer's DLL in this process, or "" when none is loaded.
std::string layerModule() {
    HMODULE modules[512];
    DWORD bytes = 0;
    if (!EnumProcessModules(GetCurrentProcess(), modules, sizeof modules, &bytes)) return "";
    for (DWORD i = 0; i < bytes / sizeof(HMODULE); ++i) {
        char name[MAX_PATH] = {};
        GetModuleFileNameA(modules[i], name, MAX_PATH);
        const char* base = std::strrchr(name, '\\');
        if (base != nullptr && _strnicmp(base + 1, "tarvel_xr", 9) == 0) return name;
    }
    return "";
}

// One writer per user: when another probe of the test (a game left holding the layer) writes
// already, its walk is the same.
void publishWalk() {
    static platform::XrWalkWriter writer;
    static const bool opened = writer.open() == platform::XrWalkWriter::Opened::Yes;
    if (opened) writer.publish({kForward, kSideways, 0.0f}, 1, platform::monotonicNanoseconds());
}

// Each kind of game in an instance of its own; the left stick walks or not. With `stop`, the
// last game goes on playing (its instance holding the layer) until that file exists.
void play(HMODULE loader, bool walking, const char* stop = nullptr) {
    const auto get = loaderFunction<PFN_xrGetInstanceProcAddr>(loader, "xrGetInstanceProcAddr");
    const auto create = loaderFunction<PFN_xrCreateInstance>(loader, "xrCreateInstance");
    const auto destroy = loaderFunction<PFN_xrDestroyInstance>(loader, "xrDestroyInstance");
    for (const auto kind :
         {xrtest::GameKind::Hands, xrtest::GameKind::Unity, xrtest::GameKind::Unreal}) {
        XrInstanceCreateInfo info{XR_TYPE_INSTANCE_CREATE_INFO};
        std::strcpy(info.applicationInfo.applicationName, "probe");
        info.applicationInfo.apiVersion = XR_MAKE_VERSION(1, 0, 0);
        XrInstance instance = XR_NULL_HANDLE;
        const XrResult created = create(&info, &instance);
        check(created == XR_SUCCESS, "xrCreateInstance: " + std::to_string(created));
        if (created != XR_SUCCESS) return;
        const std::string module = layerModule();
        check(module.empty() != walking, "layer module: " + (module.empty() ? "none" : module));
        xrtest::XrGame game(get, instance, kind);
        const std::string name = "game " + std::to_string(static_cast<int>(kind));
        const auto expectWalk = [&] {
            publishWalk();
            const xrtest::Frame frame = game.frame();
            const xrtest::StickRead left = frame.at("L"), right = frame.at("R");
            const bool walked = left.x == kSideways && left.y == kForward;
            check(game.ok() && walked == walking && (walking || (left.x == 0 && left.y == 0)) &&
                      right.x == 0 && right.y == 0,
                  name + ": left stick " + std::to_string(left.x) + " " + std::to_string(left.y));
        };
        expectWalk();
        if (stop != nullptr && kind == xrtest::GameKind::Unreal) {
            std::printf("holding %s\n", module.c_str());
            std::fflush(stdout);
            while (GetFileAttributesA(stop) == INVALID_FILE_ATTRIBUTES) {
                publishWalk();
                game.frame();
                Sleep(50);
            }
            expectWalk();
            check(layerModule() == module, "still the layer module " + module);
        }
        destroy(instance);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode != "walk" && mode != "absent" && !(mode == "hold" && argc > 2)) {
        std::fprintf(stderr, "usage: xr_loader_probe walk|absent|hold STOP_FILE\n");
        return 2;
    }
    const bool walking = mode != "absent";
    HMODULE loader = LoadLibraryA("openxr_loader.dll");
    check(loader != nullptr, "openxr_loader.dll loaded");
    if (loader == nullptr) return 1;

    const auto enumerate =
        loaderFunction<PFN_xrEnumerateApiLayerProperties>(loader, "xrEnumerateApiLayerProperties");
    std::uint32_t count = 0;
    enumerate(0, &count, nullptr);
    std::vector<XrApiLayerProperties> layers(count, {XR_TYPE_API_LAYER_PROPERTIES});
    enumerate(count, &count, layers.data());
    bool listed = false;
    for (const auto& layer : layers)
        listed |= std::strcmp(layer.layerName, "XR_APILAYER_TARVEL_walk") == 0;
    check(listed == walking, std::string("layer ") + (listed ? "listed" : "not listed"));

    play(loader, walking, mode == "hold" ? argv[2] : nullptr);
    return failures == 0 ? 0 : 1;
}
