// The part of the OpenVR driver interface (a C++ ABI: virtual tables in a fixed order, version
// strings, enum values, struct layouts) that the SteamVR driver and its test host use, declared
// here from the interface's published facts for SteamVR 1.16 and later: IServerTrackedDevice-
// Provider_004, ITrackedDeviceServerDriver_005, IVRServerDriverHost_006, IVRProperties_001,
// IVRDriverInput_003, IVRDriverLog_001, and the driver context. The names are the interface's
// own, so that each method can be checked against it; no method may be added, removed or moved.
#pragma once

#include <cstddef>
#include <cstdint>

namespace openvr {

// The interface versions, as vrserver asks for them and as the driver asks vrserver.
inline constexpr const char* kServerTrackedDeviceProvider = "IServerTrackedDeviceProvider_004";
inline constexpr const char* kTrackedDeviceServerDriver = "ITrackedDeviceServerDriver_005";
inline constexpr const char* kServerDriverHost = "IVRServerDriverHost_006";
inline constexpr const char* kProperties = "IVRProperties_001";
inline constexpr const char* kDriverInput = "IVRDriverInput_003";
inline constexpr const char* kDriverLog = "IVRDriverLog_001";

using PropertyContainerHandle = std::uint64_t;
using DriverHandle = std::uint64_t;
using InputComponentHandle = std::uint64_t;
using TrackedDeviceIndex = std::uint32_t;
using PropertyTypeTag = std::uint32_t;

enum InitError : std::int32_t { InitErrorNone = 0, InitErrorInterfaceNotFound = 105 };

enum TrackedDeviceClass : std::int32_t { DeviceClassController = 2 };

enum ControllerRole : std::int32_t { RoleTreadmill = 4 };

enum TrackingResult : std::int32_t { TrackingUninitialized = 1, TrackingRunningOk = 200 };

enum TrackedDeviceProperty : std::int32_t {
    PropModelNumberString = 1001,
    PropSerialNumberString = 1002,
    PropManufacturerNameString = 1005,
    PropInputProfilePathString = 1037,
    PropNeverTrackedBool = 1038,
    PropControllerRoleHintInt32 = 3007,
    PropControllerTypeString = 7000,
};

enum TrackedPropertyError : std::int32_t { PropertySuccess = 0 };

// Type tags of property values.
inline constexpr PropertyTypeTag kInt32Tag = 2;
inline constexpr PropertyTypeTag kBoolTag = 4;
inline constexpr PropertyTypeTag kStringTag = 5;

enum PropertyWriteType : std::int32_t { PropertyWriteSet = 0, PropertyWriteErase = 1 };

enum InputError : std::int32_t { InputErrorNone = 0 };

enum ScalarType : std::int32_t { ScalarAbsolute = 0, ScalarRelative = 1 };
enum ScalarUnits : std::int32_t { UnitsOneSided = 0, UnitsTwoSided = 1 };

// Types that only pass through the interface as pointers or references here.
struct Event;
union EventData;
struct TrackedDevicePose;
struct FrameTiming;
struct BoneTransform;
struct Matrix34 {
    float m[3][4];
};
struct Rect2 {
    float topLeft[2];
    float bottomRight[2];
};

struct Quaternion {
    double w, x, y, z;
};

// A device's pose as the driver reports it (natural alignment on both systems: 280 bytes).
struct DriverPose {
    double poseTimeOffset;
    Quaternion qWorldFromDriverRotation;
    double vecWorldFromDriverTranslation[3];
    Quaternion qDriverFromHeadRotation;
    double vecDriverFromHeadTranslation[3];
    double vecPosition[3];
    double vecVelocity[3];
    double vecAcceleration[3];
    Quaternion qRotation;
    double vecAngularVelocity[3];
    double vecAngularAcceleration[3];
    TrackingResult result;
    bool poseIsValid;
    bool willDriftInYaw;
    bool shouldApplyHeadModel;
    bool deviceIsConnected;
};
static_assert(sizeof(DriverPose) == 280 && offsetof(DriverPose, result) == 272);

struct PropertyWrite {
    TrackedDeviceProperty prop;
    PropertyWriteType writeType;
    TrackedPropertyError setError;
    void* buffer;
    std::uint32_t bufferSize;
    PropertyTypeTag tag;
    TrackedPropertyError error;
};
static_assert(sizeof(PropertyWrite) == 40 && offsetof(PropertyWrite, buffer) == 16);

struct PropertyRead {
    TrackedDeviceProperty prop;
    void* buffer;
    std::uint32_t bufferSize;
    PropertyTypeTag tag;
    std::uint32_t requiredBufferSize;
    TrackedPropertyError error;
};
static_assert(sizeof(PropertyRead) == 32);

// Interfaces that the driver implements. None has a virtual destructor: that would move every
// slot after it.

class ITrackedDeviceServerDriver {  // ITrackedDeviceServerDriver_005
  public:
    virtual InitError Activate(std::uint32_t objectId) = 0;
    virtual void Deactivate() = 0;
    virtual void EnterStandby() = 0;
    virtual void* GetComponent(const char* componentNameAndVersion) = 0;
    virtual void DebugRequest(const char* request, char* response, std::uint32_t responseSize) = 0;
    virtual DriverPose GetPose() = 0;
};

class IVRDriverContext;

class IServerTrackedDeviceProvider {  // IServerTrackedDeviceProvider_004
  public:
    virtual InitError Init(IVRDriverContext* context) = 0;
    virtual void Cleanup() = 0;
    virtual const char* const* GetInterfaceVersions() = 0;
    virtual void RunFrame() = 0;
    virtual bool ShouldBlockStandbyMode() = 0;
    virtual void EnterStandby() = 0;
    virtual void LeaveStandby() = 0;
};

// Interfaces that vrserver implements.

class IVRDriverContext {
  public:
    virtual void* GetGenericInterface(const char* interfaceVersion, InitError* error) = 0;
    virtual DriverHandle GetDriverHandle() = 0;
};

class IVRServerDriverHost {  // IVRServerDriverHost_006
  public:
    virtual bool TrackedDeviceAdded(const char* serialNumber, TrackedDeviceClass deviceClass,
                                    ITrackedDeviceServerDriver* driver) = 0;
    virtual void TrackedDevicePoseUpdated(std::uint32_t whichDevice, const DriverPose& pose,
                                          std::uint32_t poseStructSize) = 0;
    virtual void VsyncEvent(double vsyncTimeOffsetSeconds) = 0;
    virtual void VendorSpecificEvent(std::uint32_t whichDevice, std::int32_t eventType,
                                     const EventData& data, double eventTimeOffset) = 0;
    virtual bool IsExiting() = 0;
    virtual bool PollNextEvent(Event* event, std::uint32_t eventSize) = 0;
    virtual void GetRawTrackedDevicePoses(float predictedSecondsFromNow, TrackedDevicePose* poses,
                                          std::uint32_t poseCount) = 0;
    virtual void RequestRestart(const char* localizedReason, const char* executableToStart,
                                const char* arguments, const char* workingDirectory) = 0;
    virtual std::uint32_t GetFrameTimings(FrameTiming* timing, std::uint32_t frames) = 0;
    virtual void SetDisplayEyeToHead(std::uint32_t whichDevice, const Matrix34& eyeToHeadLeft,
                                     const Matrix34& eyeToHeadRight) = 0;
    virtual void SetDisplayProjectionRaw(std::uint32_t whichDevice, const Rect2& eyeLeft,
                                         const Rect2& eyeRight) = 0;
    virtual void SetRecommendedRenderTargetSize(std::uint32_t whichDevice, std::uint32_t width,
                                                std::uint32_t height) = 0;
};

class IVRProperties {  // IVRProperties_001
  public:
    virtual TrackedPropertyError ReadPropertyBatch(PropertyContainerHandle container,
                                                   PropertyRead* batch, std::uint32_t count) = 0;
    virtual TrackedPropertyError WritePropertyBatch(PropertyContainerHandle container,
                                                    PropertyWrite* batch, std::uint32_t count) = 0;
    virtual const char* GetPropErrorNameFromEnum(TrackedPropertyError error) = 0;
    virtual PropertyContainerHandle TrackedDeviceToPropertyContainer(TrackedDeviceIndex device) = 0;
};

class IVRDriverInput {  // IVRDriverInput_003
  public:
    virtual InputError CreateBooleanComponent(PropertyContainerHandle container, const char* name,
                                              InputComponentHandle* handle) = 0;
    virtual InputError UpdateBooleanComponent(InputComponentHandle component, bool value,
                                              double timeOffset) = 0;
    virtual InputError CreateScalarComponent(PropertyContainerHandle container, const char* name,
                                             InputComponentHandle* handle, ScalarType type,
                                             ScalarUnits units) = 0;
    virtual InputError UpdateScalarComponent(InputComponentHandle component, float value,
                                             double timeOffset) = 0;
    virtual InputError CreateHapticComponent(PropertyContainerHandle container, const char* name,
                                             InputComponentHandle* handle) = 0;
    virtual InputError CreateSkeletonComponent(PropertyContainerHandle container, const char* name,
                                               const char* skeletonPath, const char* basePosePath,
                                               std::int32_t trackingLevel,
                                               const BoneTransform* gripLimitTransforms,
                                               std::uint32_t gripLimitTransformCount,
                                               InputComponentHandle* handle) = 0;
    virtual InputError UpdateSkeletonComponent(InputComponentHandle component,
                                               std::int32_t motionRange,
                                               const BoneTransform* transforms,
                                               std::uint32_t transformCount) = 0;
};

class IVRDriverLog {  // IVRDriverLog_001
  public:
    virtual void Log(const char* message) = 0;
};

// The one function vrserver looks up in a driver library.
using DriverFactory = void* (*)(const char* interfaceName, int* returnCode);

}  // namespace openvr
