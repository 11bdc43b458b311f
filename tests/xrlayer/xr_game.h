// Three kinds of game, as they set up and read their locomotion input through whatever
// xrGetInstanceProcAddr they are given (the loader's, or the layer's in a test that stands in
// for the loader): a Vector2f action per hand; one Vector2f action bound to both hands with
// subaction paths, as Unity does; Float actions on each stick's x and y, as Unreal's legacy
// input does. Each binds the Touch, Index, Vive and Mixed Reality controllers.
#pragma once

#include <openxr/openxr.h>

#include <map>
#include <string>
#include <vector>

namespace xrtest {

enum class GameKind { Hands, Unity, Unreal };

struct StickRead {
    float x = 0.0f;
    float y = 0.0f;
    bool changed = false;
    XrTime lastChange = 0;
};

class XrGame {
  public:
    // Sets up the actions, the suggested bindings and a session on `instance`.
    XrGame(PFN_xrGetInstanceProcAddr get, XrInstance instance, GameKind kind);
    bool ok() const { return ok_; }

    // One frame: xrWaitFrame, xrSyncActions, then the game's reads. "L" and "R" are the left
    // and right sticks as the game sees them; Unity's game also reads "N" (both hands at
    // once), and the game of a Vector2f action per hand "P" (an action on the left trackpad of
    // the profiles that have thumbsticks) and "V" (one on the Vive's left trackpad only).
    std::map<std::string, StickRead> frame();

  private:
    template <class F>
    void resolve(F& f, const char* name);
    XrPath path(const std::string& text);
    XrAction action(const char* name, XrActionType type, std::vector<XrPath> subactions = {});
    StickRead read(XrAction action, XrPath subaction = XR_NULL_PATH);
    float readFloat(XrAction action, bool& changed, XrTime& lastChange);

    PFN_xrGetInstanceProcAddr get_;
    XrInstance instance_;
    // Resolved once, as games do.
    PFN_xrStringToPath stringToPath_ = nullptr;
    PFN_xrCreateAction createAction_ = nullptr;
    PFN_xrWaitFrame waitFrame_ = nullptr;
    PFN_xrSyncActions syncActions_ = nullptr;
    PFN_xrGetActionStateVector2f getVector2f_ = nullptr;
    PFN_xrGetActionStateFloat getFloat_ = nullptr;
    GameKind kind_;
    bool ok_ = true;
    XrActionSet set_ = XR_NULL_HANDLE;
    XrSession session_ = XR_NULL_HANDLE;
    std::map<std::string, XrAction> actions_;
    XrPath hands_[2] = {};
};

}  // namespace xrtest
