// What the game bound to the thumbsticks: learnt from xrSuggestInteractionProfileBindings, so
// that a read of an action knows whether, and how, the walk goes into it.
#pragma once

#include <openxr/openxr.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace xrlayer {

enum Hand : int { kLeft = 0, kRight = 1 };

// How an action takes one hand's stick: the whole stick (a Vector2f action on .../thumbstick,
// or .../trackpad where the profile binds no thumbstick of that hand), or one of its axes (a
// Float action on .../x or .../y, as Unreal's legacy input binds them).
enum class Use : std::uint8_t { None, Stick, X, Y };

struct ActionUse {
    XrAction action = XR_NULL_HANDLE;
    Use hand[2] = {Use::None, Use::None};
    // For a Float axis: the action bound to the other axis of the same hand's stick in the same
    // profile, so that the pair can be kept in the unit circle; null when there is none.
    XrAction partner[2] = {XR_NULL_HANDLE, XR_NULL_HANDLE};
};

// One suggested binding as the layer reads it: the action and the binding path's text.
struct SuggestedBinding {
    XrAction action;
    std::string path;
};

class BindingTable {
  public:
    BindingTable();
    ~BindingTable();

    // Takes the bindings of one successful suggestion for `profile`; they replace those the
    // profile had (as the runtime does). Not on the game's frame path: it allocates.
    void learn(XrPath profile, const std::vector<SuggestedBinding>& bindings);

    // The stick uses of `action`, or null when it is bound to no stick. On the frame path: no
    // lock, no allocation.
    const ActionUse* find(XrAction action) const;

    void clear();

  private:
    struct Snapshot;
    struct Profile;
    void publish();

    std::mutex mutex_;
    std::vector<Profile> profiles_;
    // Every snapshot ever published lives until the table goes: a reader may still hold one.
    std::vector<std::unique_ptr<Snapshot>> snapshots_;
    std::atomic<const Snapshot*> current_{nullptr};
};

}  // namespace xrlayer
