// Three kinds of game, setting up and reading their locomotion as such games do, through the
// xrGetInstanceProcAddr they are given (the loader's, or the layer's where a test stands in for
// the loader): a Vector2f action per hand; one Vector2f action bound to both hands with
// subaction paths, as Unity does; Float actions on each stick's x and y, as Unreal's legacy
// input does. Each binds every profile of kProfiles; the game of a Vector2f action per hand also
// binds the left stick's forward direction as a button (XR_EXT_dpad_binding), and with a menu
// a second action set of higher priority binds the left stick too.
#pragma once

#include <openxr/openxr.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace xrtest {

enum class GameKind { Hands, Unity, Unreal };

// The controllers' profiles and whether each has thumbsticks, trackpads.
struct Profile {
    const char* path;
    bool thumbstick;
    bool trackpad;
};
inline constexpr Profile kProfiles[] = {
    {"oculus/touch_controller", true, false},    {"valve/index_controller", true, true},
    {"htc/vive_controller", false, true},        {"htc/vive_cosmos_controller", true, false},
    {"microsoft/motion_controller", true, true}, {"hp/mixed_reality_controller", true, false},
    {"bytedance/pico4_controller", true, false}, {"khr/simple_controller", false, false},
};

struct StickRead {
    float x = 0.0f;
    float y = 0.0f;
    bool changed = false;
    XrTime lastChange = 0;
};
using Frame = std::map<std::string, StickRead>;

class XrGame {
  public:
    XrGame(PFN_xrGetInstanceProcAddr get, XrInstance instance, GameKind kind, bool menu = false)
        : get_(get), instance_(instance), kind_(kind) {
        XrActionSetCreateInfo setInfo{XR_TYPE_ACTION_SET_CREATE_INFO};
        std::strcpy(setInfo.actionSetName, "locomotion");
        std::strcpy(setInfo.localizedActionSetName, "locomotion");
        call<PFN_xrCreateActionSet>("xrCreateActionSet", instance_, &setInfo, &set_);
        if (menu) {
            std::strcpy(setInfo.actionSetName, "menu");
            std::strcpy(setInfo.localizedActionSetName, "menu");
            setInfo.priority = 1;
            call<PFN_xrCreateActionSet>("xrCreateActionSet", instance_, &setInfo, &menu_);
            XrActionCreateInfo info{XR_TYPE_ACTION_CREATE_INFO};
            std::strcpy(info.actionName, "menu_nav");
            std::strcpy(info.localizedActionName, "menu_nav");
            info.actionType = XR_ACTION_TYPE_VECTOR2F_INPUT;
            call<PFN_xrCreateAction>("xrCreateAction", menu_, &info, &actions_["menu_nav"]);
        }
        hands_[0] = path("/user/hand/left");
        hands_[1] = path("/user/hand/right");
        const std::vector<std::string> names =
            kind == GameKind::Hands ? std::vector<std::string>{"move", "turn", "pad", "vive", "up"}
            : kind == GameKind::Unity ? std::vector<std::string>{"stick"}
                                      : std::vector<std::string>{"lx", "ly", "rx", "ry"};
        for (const std::string& name : names) {
            XrActionCreateInfo info{XR_TYPE_ACTION_CREATE_INFO};
            std::strcpy(info.actionName, name.c_str());
            std::strcpy(info.localizedActionName, name.c_str());
            info.actionType = kind == GameKind::Unreal ? XR_ACTION_TYPE_FLOAT_INPUT
                                                       : XR_ACTION_TYPE_VECTOR2F_INPUT;
            if (name == "up") info.actionType = XR_ACTION_TYPE_BOOLEAN_INPUT;
            info.countSubactionPaths = kind == GameKind::Unity ? 2 : 0;
            info.subactionPaths = hands_;
            call<PFN_xrCreateAction>("xrCreateAction", set_, &info, &actions_[name]);
        }
        for (const Profile& profile : kProfiles) {
            const std::string l = "/user/hand/left/input/", r = "/user/hand/right/input/";
            const std::string stick = profile.thumbstick ? "thumbstick" : "trackpad";
            std::vector<std::pair<std::string, std::string>> bindings;
            if (!profile.thumbstick && !profile.trackpad) {
                // A simple controller: no stick to bind, a button at most.
                if (kind == GameKind::Hands) bindings = {{"up", l + "select/click"}};
            } else if (kind == GameKind::Unity) {
                bindings = {{"stick", l + stick}, {"stick", r + stick}};
            } else if (kind == GameKind::Unreal) {
                bindings = {{"lx", l + stick + "/x"},
                            {"ly", l + stick + "/y"},
                            {"rx", r + stick + "/x"},
                            {"ry", r + stick + "/y"}};
            } else {
                bindings = {{"move", l + stick}, {"turn", r + stick}};
                // "vive": a trackpad that is its hand's only stick; "pad": a trackpad beside
                // thumbsticks.
                if (!profile.thumbstick) bindings.push_back({"vive", l + "trackpad"});
                if (profile.thumbstick && profile.trackpad)
                    bindings.push_back({"pad", l + "trackpad"});
                if (profile.thumbstick) bindings.push_back({"up", l + "thumbstick/dpad_up"});
            }
            if (menu && (profile.thumbstick || profile.trackpad)) {
                bindings.push_back({"menu_nav", l + stick});
            }
            if (bindings.empty()) continue;
            std::vector<XrActionSuggestedBinding> suggested;
            for (const auto& [action, binding] : bindings) {
                suggested.push_back({actions_[action], path(binding)});
            }
            XrInteractionProfileSuggestedBinding s{XR_TYPE_INTERACTION_PROFILE_SUGGESTED_BINDING};
            s.interactionProfile = path(std::string("/interaction_profiles/") + profile.path);
            s.countSuggestedBindings = static_cast<std::uint32_t>(suggested.size());
            s.suggestedBindings = suggested.data();
            call<PFN_xrSuggestInteractionProfileBindings>("xrSuggestInteractionProfileBindings",
                                                          instance_, &s);
        }
        XrSystemGetInfo system{XR_TYPE_SYSTEM_GET_INFO};
        system.formFactor = XR_FORM_FACTOR_HEAD_MOUNTED_DISPLAY;
        XrSessionCreateInfo session{XR_TYPE_SESSION_CREATE_INFO};
        call<PFN_xrGetSystem>("xrGetSystem", instance_, &system, &session.systemId);
        call<PFN_xrCreateSession>("xrCreateSession", instance_, &session, &session_);
        XrSessionActionSetsAttachInfo attach{XR_TYPE_SESSION_ACTION_SETS_ATTACH_INFO};
        const XrActionSet sets[2] = {set_, menu_};
        attach.countActionSets = menu ? 2 : 1;
        attach.actionSets = sets;
        call<PFN_xrAttachSessionActionSets>("xrAttachSessionActionSets", session_, &attach);
    }

    bool ok() const { return ok_; }
    XrSession session() const { return session_; }
    XrActionSet actionSet() const { return set_; }
    XrAction action(const std::string& name) { return actions_[name]; }

    // One frame: the waiting events, xrWaitFrame, xrSyncActions (of the menu's set too while
    // `menuOpen`), then the game's reads. "L" and "R": the left and right sticks as the game sees
    // them; Unity's game also reads "N" (both hands at once), the game of a Vector2f action per
    // hand "P", "V" and "U" (its "pad", "vive" and "up" actions, "U" 1 while pressed), a game
    // with a menu "M" (its "menu_nav").
    Frame frame(bool menuOpen = false) {
        XrEventDataBuffer event{XR_TYPE_EVENT_DATA_BUFFER};
        PFN_xrVoidFunction poll = nullptr;
        get_(instance_, "xrPollEvent", &poll);
        while (poll != nullptr &&
               reinterpret_cast<PFN_xrPollEvent>(poll)(instance_, &event) == XR_SUCCESS) {
            event = {XR_TYPE_EVENT_DATA_BUFFER};
        }
        XrFrameState frameState{XR_TYPE_FRAME_STATE};
        call<PFN_xrWaitFrame>("xrWaitFrame", session_, nullptr, &frameState);
        const XrActiveActionSet active[2] = {{set_, XR_NULL_PATH}, {menu_, XR_NULL_PATH}};
        XrActionsSyncInfo sync{XR_TYPE_ACTIONS_SYNC_INFO};
        sync.countActiveActionSets = menuOpen ? 2 : 1;
        sync.activeActionSets = active;
        call<PFN_xrSyncActions>("xrSyncActions", session_, &sync);
        Frame f;
        if (kind_ == GameKind::Hands) {
            for (const auto& [key, name] :
                 {std::pair{"L", "move"}, {"R", "turn"}, {"P", "pad"}, {"V", "vive"}}) {
                f[key] = read(actions_[name]);
            }
            XrActionStateGetInfo get{XR_TYPE_ACTION_STATE_GET_INFO, nullptr, actions_["up"]};
            XrActionStateBoolean up{XR_TYPE_ACTION_STATE_BOOLEAN};
            call<PFN_xrGetActionStateBoolean>("xrGetActionStateBoolean", session_, &get, &up);
            f["U"] = {up.currentState ? 1.0f : 0.0f, 0.0f, up.changedSinceLastSync != XR_FALSE,
                      up.lastChangeTime};
        } else if (kind_ == GameKind::Unity) {
            f["L"] = read(actions_["stick"], hands_[0]);
            f["R"] = read(actions_["stick"], hands_[1]);
            f["N"] = read(actions_["stick"]);
        } else {
            f["L"] = read(actions_["lx"], XR_NULL_PATH, actions_["ly"]);
            f["R"] = read(actions_["rx"], XR_NULL_PATH, actions_["ry"]);
        }
        if (menu_ != XR_NULL_HANDLE) f["M"] = read(actions_["menu_nav"]);
        return f;
    }

  private:
    template <class F, class... A>
    void call(const char* name, A... arguments) {
        PFN_xrVoidFunction f = nullptr;
        if (XR_FAILED(get_(instance_, name, &f)) || f == nullptr ||
            XR_FAILED(reinterpret_cast<F>(f)(arguments...))) {
            ok_ = false;
        }
    }

    XrPath path(const std::string& text) {
        XrPath p = XR_NULL_PATH;
        call<PFN_xrStringToPath>("xrStringToPath", instance_, text.c_str(), &p);
        return p;
    }

    // A Vector2f action, or (given `y`) a pair of Float actions.
    StickRead read(XrAction action, XrPath subaction = XR_NULL_PATH, XrAction y = XR_NULL_HANDLE) {
        XrActionStateGetInfo get{XR_TYPE_ACTION_STATE_GET_INFO, nullptr, action, subaction};
        if (y == XR_NULL_HANDLE) {
            XrActionStateVector2f s{XR_TYPE_ACTION_STATE_VECTOR2F};
            call<PFN_xrGetActionStateVector2f>("xrGetActionStateVector2f", session_, &get, &s);
            return {s.currentState.x, s.currentState.y, s.changedSinceLastSync != XR_FALSE,
                    s.lastChangeTime};
        }
        XrActionStateFloat sx{XR_TYPE_ACTION_STATE_FLOAT}, sy{XR_TYPE_ACTION_STATE_FLOAT};
        call<PFN_xrGetActionStateFloat>("xrGetActionStateFloat", session_, &get, &sx);
        get.action = y;
        call<PFN_xrGetActionStateFloat>("xrGetActionStateFloat", session_, &get, &sy);
        return {sx.currentState, sy.currentState,
                sx.changedSinceLastSync != XR_FALSE || sy.changedSinceLastSync != XR_FALSE,
                std::max(sx.lastChangeTime, sy.lastChangeTime)};
    }

    PFN_xrGetInstanceProcAddr get_;
    XrInstance instance_;
    GameKind kind_;
    bool ok_ = true;
    XrActionSet set_ = XR_NULL_HANDLE;
    XrActionSet menu_ = XR_NULL_HANDLE;
    XrSession session_ = XR_NULL_HANDLE;
    std::map<std::string, XrAction> actions_;
    XrPath hands_[2] = {};
};

}  // namespace xrtest
