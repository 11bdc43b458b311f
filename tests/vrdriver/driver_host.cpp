// The test host's loading of the library and its recording interfaces.
#include "tests/vrdriver/driver_host.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstring>

#include "tests/support/support.h"

namespace vrtest {

namespace {
constexpr openvr::InputError kUnsupported = static_cast<openvr::InputError>(4);
}

std::string driverLibrary() {
#if defined(_WIN32)
    return testsupport::binaryDir() + "/../steamvr/tarvel/bin/win64/driver_tarvel.dll";
#else
    return testsupport::binaryDir() + "/../steamvr/tarvel/bin/linux64/driver_tarvel.so";
#endif
}

DriverHost::~DriverHost() {
    if (provider_ != nullptr) stop();
#if defined(_WIN32)
    if (library_ != nullptr) FreeLibrary(static_cast<HMODULE>(library_));
#else
    if (library_ != nullptr) dlclose(library_);
#endif
}

bool DriverHost::load(const std::string& library) {
#if defined(_WIN32)
    HMODULE module = LoadLibraryA(library.c_str());
    library_ = module;
    if (module != nullptr) {
        factory_ = reinterpret_cast<openvr::DriverFactory>(
            reinterpret_cast<void*>(GetProcAddress(module, "HmdDriverFactory")));
    }
#else
    library_ = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library_ != nullptr) {
        factory_ = reinterpret_cast<openvr::DriverFactory>(dlsym(library_, "HmdDriverFactory"));
    }
#endif
    return factory_ != nullptr;
}

void* DriverHost::factory(const char* version, int* returnCode) {
    return factory_(version, returnCode);
}

openvr::InitError DriverHost::start() {
    devices.clear();
    strings.clear();
    ints.clear();
    bools.clear();
    components.clear();
    poses.clear();
    int code = -1;
    provider_ = static_cast<openvr::IServerTrackedDeviceProvider*>(
        factory_(openvr::kServerTrackedDeviceProvider, &code));
    if (provider_ == nullptr) return static_cast<openvr::InitError>(code);
    openvr::InitError worst = provider_->Init(this);
    for (std::uint32_t i = 0; i < devices.size() && worst == openvr::InitErrorNone; ++i) {
        worst = devices[i].driver->Activate(i);
    }
    return worst;
}

void DriverHost::runFrame() {
    provider_->RunFrame();
}

void DriverHost::stop() {
    for (const AddedDevice& device : devices) device.driver->Deactivate();
    provider_->Cleanup();
    provider_ = nullptr;
}

const Component* DriverHost::component(const std::string& name) const {
    for (const Component& c : components) {
        if (c.name == name) return &c;
    }
    return nullptr;
}

void* DriverHost::GetGenericInterface(const char* version, openvr::InitError* error) {
    void* found = nullptr;
    const std::string v = version;
    if (v == openvr::kServerDriverHost) found = static_cast<openvr::IVRServerDriverHost*>(this);
    if (v == openvr::kProperties) found = static_cast<openvr::IVRProperties*>(this);
    if (v == openvr::kDriverInput) found = static_cast<openvr::IVRDriverInput*>(this);
    if (v == openvr::kDriverLog) found = static_cast<openvr::IVRDriverLog*>(this);
    if (error != nullptr) {
        *error = found != nullptr ? openvr::InitErrorNone : openvr::InitErrorInterfaceNotFound;
    }
    return found;
}

bool DriverHost::TrackedDeviceAdded(const char* serial, openvr::TrackedDeviceClass deviceClass,
                                    openvr::ITrackedDeviceServerDriver* driver) {
    devices.push_back({serial, deviceClass, driver});
    return true;
}

void DriverHost::TrackedDevicePoseUpdated(std::uint32_t device, const openvr::DriverPose& pose,
                                          std::uint32_t size) {
    if (size == sizeof pose) poses.emplace_back(device, pose);
}

openvr::TrackedPropertyError DriverHost::ReadPropertyBatch(openvr::PropertyContainerHandle,
                                                           openvr::PropertyRead*, std::uint32_t) {
    return static_cast<openvr::TrackedPropertyError>(15);
}

openvr::TrackedPropertyError DriverHost::WritePropertyBatch(openvr::PropertyContainerHandle,
                                                            openvr::PropertyWrite* batch,
                                                            std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) {
        openvr::PropertyWrite& w = batch[i];
        w.error = openvr::PropertySuccess;
        if (w.tag == openvr::kStringTag && w.bufferSize > 0) {
            strings[w.prop] = std::string(static_cast<const char*>(w.buffer), w.bufferSize - 1);
        } else if (w.tag == openvr::kInt32Tag && w.bufferSize == 4) {
            std::memcpy(&ints[w.prop], w.buffer, 4);
        } else if (w.tag == openvr::kBoolTag && w.bufferSize == 1) {
            bools[w.prop] = *static_cast<const bool*>(w.buffer);
        } else {
            w.error = static_cast<openvr::TrackedPropertyError>(1);
        }
    }
    return openvr::PropertySuccess;
}

openvr::InputError DriverHost::CreateBooleanComponent(openvr::PropertyContainerHandle, const char*,
                                                      openvr::InputComponentHandle*) {
    return kUnsupported;
}

openvr::InputError DriverHost::UpdateBooleanComponent(openvr::InputComponentHandle, bool, double) {
    return kUnsupported;
}

openvr::InputError DriverHost::CreateScalarComponent(openvr::PropertyContainerHandle container,
                                                     const char* name,
                                                     openvr::InputComponentHandle* handle,
                                                     openvr::ScalarType type,
                                                     openvr::ScalarUnits units) {
    components.push_back({name, container, type, units});
    *handle = components.size();
    return openvr::InputErrorNone;
}

openvr::InputError DriverHost::UpdateScalarComponent(openvr::InputComponentHandle handle,
                                                     float value, double) {
    if (handle == 0 || handle > components.size()) return static_cast<openvr::InputError>(3);
    components[handle - 1].value = value;
    ++components[handle - 1].updates;
    return openvr::InputErrorNone;
}

openvr::InputError DriverHost::CreateHapticComponent(openvr::PropertyContainerHandle, const char*,
                                                     openvr::InputComponentHandle*) {
    return kUnsupported;
}

openvr::InputError DriverHost::CreateSkeletonComponent(openvr::PropertyContainerHandle, const char*,
                                                       const char*, const char*, std::int32_t,
                                                       const openvr::BoneTransform*, std::uint32_t,
                                                       openvr::InputComponentHandle*) {
    return kUnsupported;
}

openvr::InputError DriverHost::UpdateSkeletonComponent(openvr::InputComponentHandle, std::int32_t,
                                                       const openvr::BoneTransform*,
                                                       std::uint32_t) {
    return kUnsupported;
}

}  // namespace vrtest
