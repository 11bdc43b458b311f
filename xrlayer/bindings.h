// What the game declared about its input, as far as the walk needs it: its action sets and their
// priorities, its actions, the stick bindings it suggested per interaction profile, the sets it
// attached, and the profile the runtime currently uses per hand. The frame path looks actions up
// in a snapshot of the current profile's bindings, rebuilt after each change.
#pragma once

#include <openxr/openxr.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace xrlayer {

enum Hand : int { kLeft = 0, kRight = 1 };

// How an action takes one hand's stick: the whole stick (a Vector2f action on .../thumbstick,
// or .../trackpad where the profile binds no thumbstick of that hand), one of its axes (a Float
// action on .../x or .../y, as Unreal's legacy input binds them), or one direction of the stick
// as a button (XR_EXT_dpad_binding: .../thumbstick/dpad_up and so on).
enum class Use : std::uint8_t { None, Stick, X, Y, DpadUp, DpadDown, DpadLeft, DpadRight };

struct ActionUse {
    XrAction action = XR_NULL_HANDLE;
    XrActionSet set = XR_NULL_HANDLE;
    std::uint32_t priority = 0;  // the set's
    Use hand[2] = {Use::None, Use::None};
    // For a Float axis: the action bound to the other axis of the same hand's stick in the same
    // profile, so that the pair can be kept in the unit circle; null when there is none.
    XrAction partner[2] = {XR_NULL_HANDLE, XR_NULL_HANDLE};
    // The action's name and its binding's path per hand in the current profile, for the status
    // the program shows.
    std::string name;
    std::string path[2];
};

// One suggested binding as the layer reads it: the action and the binding path's text.
struct SuggestedBinding {
    XrAction action;
    std::string path;
};

// An attached action set that binds a hand's stick in the current profile.
struct StickSet {
    XrActionSet set;
    std::uint32_t priority;
};

class BindingTable {
    struct Snapshot;

  public:
    BindingTable();
    ~BindingTable();

    // What the game creates and destroys (destroying a set forgets its actions).
    void actionSetCreated(XrActionSet set, std::uint32_t priority, const char* name);
    void actionCreated(XrAction action, XrActionSet set, const char* name);
    void actionDestroyed(XrAction action);
    void actionSetDestroyed(XrActionSet set);
    // The bindings of one successful suggestion for `profile`: they replace those the profile
    // had (as the runtime does).
    void learn(XrPath profile, const std::vector<SuggestedBinding>& bindings);
    void attached(const XrActionSet* sets, std::uint32_t count);
    // The profile the runtime now uses for `hand` (XR_NULL_PATH: none yet, nothing is added).
    void currentProfile(int hand, XrPath profile);
    // The session ended: what was attached to it and its profiles are forgotten.
    void sessionEnded();
    // Everything forgotten (the instance ended).
    void clear();

    // A read of the current snapshot: what it finds stays valid while the Reader lives. On the
    // frame path: no lock, no allocation.
    class Reader {
      public:
        explicit Reader(const BindingTable& table);
        ~Reader();
        Reader(const Reader&) = delete;
        Reader& operator=(const Reader&) = delete;
        // The stick uses of `action` in the current profile, or null when it takes no stick.
        const ActionUse* find(XrAction action) const;
        // The attached sets that bind `hand`'s stick, lowest priority first.
        const std::vector<StickSet>& stickSets(int hand) const;
        // The profile the runtime uses for `hand`, and the action of the lowest-priority set
        // that the walk goes to there (a whole stick first); null when none.
        XrPath profile(int hand) const;
        const ActionUse* walkAction(int hand) const;

      private:
        const BindingTable& table_;
        const Snapshot* snapshot_;
    };

    // Snapshots published and not yet freed (for the tests of re-creation).
    std::size_t snapshotsHeld() const;

  private:
    struct Profile;
    void publish();

    mutable std::mutex mutex_;
    std::map<XrActionSet, std::uint32_t> setPriority_;
    struct Declared {
        XrActionSet set;
        std::string name;
    };
    std::map<XrAction, Declared> actions_;
    std::vector<Profile> profiles_;
    std::vector<XrActionSet> attached_;
    XrPath current_[2] = {XR_NULL_PATH, XR_NULL_PATH};

    // The snapshot the frame path reads, those replaced but perhaps still read, and how many
    // reads are under way: a replaced one is freed once no read is.
    std::atomic<const Snapshot*> snapshot_{nullptr};
    std::vector<std::unique_ptr<Snapshot>> retired_;
    std::unique_ptr<Snapshot> live_;
    mutable std::atomic<int> readers_{0};
};

}  // namespace xrlayer
