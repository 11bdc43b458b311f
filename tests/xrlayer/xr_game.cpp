// The three kinds of game of the layer's tests.
#include "tests/xrlayer/xr_game.h"

#include <algorithm>
#include <cstring>

namespace xrtest {

namespace {

const char* const kProfiles[] = {
    "/interaction_profiles/oculus/touch_controller",
    "/interaction_profiles/valve/index_controller",
    "/interaction_profiles/htc/vive_controller",
    "/interaction_profiles/microsoft/motion_controller",
};

}  // namespace

template <class F>
void XrGame::resolve(F& f, const char* name) {
    PFN_xrVoidFunction found = nullptr;
    if (XR_FAILED(get_(instance_, name, &found)) || found == nullptr) ok_ = false;
    f = reinterpret_cast<F>(found);
}

XrPath XrGame::path(const std::string& text) {
    XrPath p = XR_NULL_PATH;
    if (XR_FAILED(stringToPath_(instance_, text.c_str(), &p))) {
        ok_ = false;
    }
    return p;
}

XrAction XrGame::action(const char* name, XrActionType type, std::vector<XrPath> subactions) {
    XrActionCreateInfo info{XR_TYPE_ACTION_CREATE_INFO};
    std::strcpy(info.actionName, name);
    std::strcpy(info.localizedActionName, name);
    info.actionType = type;
    info.countSubactionPaths = static_cast<std::uint32_t>(subactions.size());
    info.subactionPaths = subactions.data();
    XrAction a = XR_NULL_HANDLE;
    if (XR_FAILED(createAction_(set_, &info, &a))) ok_ = false;
    return actions_[name] = a;
}

XrGame::XrGame(PFN_xrGetInstanceProcAddr get, XrInstance instance, GameKind kind)
    : get_(get), instance_(instance), kind_(kind) {
    PFN_xrCreateActionSet createActionSet = nullptr;
    PFN_xrSuggestInteractionProfileBindings suggest = nullptr;
    PFN_xrGetSystem getSystem = nullptr;
    PFN_xrCreateSession createSession = nullptr;
    PFN_xrAttachSessionActionSets attachActionSets = nullptr;
    resolve(createActionSet, "xrCreateActionSet");
    resolve(suggest, "xrSuggestInteractionProfileBindings");
    resolve(getSystem, "xrGetSystem");
    resolve(createSession, "xrCreateSession");
    resolve(attachActionSets, "xrAttachSessionActionSets");
    resolve(stringToPath_, "xrStringToPath");
    resolve(createAction_, "xrCreateAction");
    resolve(waitFrame_, "xrWaitFrame");
    resolve(syncActions_, "xrSyncActions");
    resolve(getVector2f_, "xrGetActionStateVector2f");
    resolve(getFloat_, "xrGetActionStateFloat");
    if (!ok_) return;
    XrActionSetCreateInfo setInfo{XR_TYPE_ACTION_SET_CREATE_INFO};
    std::strcpy(setInfo.actionSetName, "locomotion");
    std::strcpy(setInfo.localizedActionSetName, "locomotion");
    if (XR_FAILED(createActionSet(instance_, &setInfo, &set_))) ok_ = false;
    hands_[0] = path("/user/hand/left");
    hands_[1] = path("/user/hand/right");
    const auto v2 = XR_ACTION_TYPE_VECTOR2F_INPUT;
    const auto f = XR_ACTION_TYPE_FLOAT_INPUT;
    if (kind == GameKind::Hands) {
        action("move", v2), action("turn", v2), action("pad", v2), action("vive", v2);
    } else if (kind == GameKind::Unity) {
        action("stick", v2, {hands_[0], hands_[1]});
    } else {
        action("lx", f), action("ly", f), action("rx", f), action("ry", f);
    }
    for (const char* profile : kProfiles) {
        const bool vive = std::strstr(profile, "vive") != nullptr;
        const std::string stick = vive ? "/input/trackpad" : "/input/thumbstick";
        const std::string left = "/user/hand/left" + stick, right = "/user/hand/right" + stick;
        std::vector<XrActionSuggestedBinding> b;
        const auto bind = [&](const char* a, const std::string& p) {
            b.push_back({actions_[a], path(p)});
        };
        if (kind == GameKind::Hands) {
            bind("move", left), bind("turn", right);
            // Touch controllers have no trackpad.
            if (std::strstr(profile, "oculus") == nullptr) {
                bind(vive ? "vive" : "pad", "/user/hand/left/input/trackpad");
            }
        } else if (kind == GameKind::Unity) {
            bind("stick", left), bind("stick", right);
        } else {
            bind("lx", left + "/x"), bind("ly", left + "/y");
            bind("rx", right + "/x"), bind("ry", right + "/y");
        }
        XrInteractionProfileSuggestedBinding s{XR_TYPE_INTERACTION_PROFILE_SUGGESTED_BINDING};
        s.interactionProfile = path(profile);
        s.countSuggestedBindings = static_cast<std::uint32_t>(b.size());
        s.suggestedBindings = b.data();
        if (XR_FAILED(suggest(instance_, &s))) ok_ = false;
    }
    XrSystemGetInfo systemInfo{XR_TYPE_SYSTEM_GET_INFO};
    systemInfo.formFactor = XR_FORM_FACTOR_HEAD_MOUNTED_DISPLAY;
    XrSessionCreateInfo sessionInfo{XR_TYPE_SESSION_CREATE_INFO};
    XrSessionActionSetsAttachInfo attach{XR_TYPE_SESSION_ACTION_SETS_ATTACH_INFO};
    attach.countActionSets = 1;
    attach.actionSets = &set_;
    if (XR_FAILED(getSystem(instance_, &systemInfo, &sessionInfo.systemId)) ||
        XR_FAILED(createSession(instance_, &sessionInfo, &session_)) ||
        XR_FAILED(attachActionSets(session_, &attach))) {
        ok_ = false;
    }
}

StickRead XrGame::read(XrAction action, XrPath subaction) {
    XrActionStateGetInfo get{XR_TYPE_ACTION_STATE_GET_INFO};
    get.action = action;
    get.subactionPath = subaction;
    XrActionStateVector2f s{XR_TYPE_ACTION_STATE_VECTOR2F};
    getVector2f_(session_, &get, &s);
    return {s.currentState.x, s.currentState.y, s.changedSinceLastSync != XR_FALSE,
            s.lastChangeTime};
}

float XrGame::readFloat(XrAction action, bool& changed, XrTime& lastChange) {
    XrActionStateGetInfo get{XR_TYPE_ACTION_STATE_GET_INFO};
    get.action = action;
    XrActionStateFloat s{XR_TYPE_ACTION_STATE_FLOAT};
    getFloat_(session_, &get, &s);
    changed = changed || s.changedSinceLastSync != XR_FALSE;
    lastChange = std::max(lastChange, s.lastChangeTime);
    return s.currentState;
}

std::map<std::string, StickRead> XrGame::frame() {
    XrFrameState frameState{XR_TYPE_FRAME_STATE};
    waitFrame_(session_, nullptr, &frameState);
    XrActiveActionSet active{set_, XR_NULL_PATH};
    XrActionsSyncInfo sync{XR_TYPE_ACTIONS_SYNC_INFO};
    sync.countActiveActionSets = 1;
    sync.activeActionSets = &active;
    syncActions_(session_, &sync);
    std::map<std::string, StickRead> r;
    if (kind_ == GameKind::Hands) {
        for (const auto& [key, name] :
             {std::pair{"L", "move"}, {"R", "turn"}, {"P", "pad"}, {"V", "vive"}}) {
            r[key] = read(actions_[name]);
        }
    } else if (kind_ == GameKind::Unity) {
        r["L"] = read(actions_["stick"], hands_[0]);
        r["R"] = read(actions_["stick"], hands_[1]);
        r["N"] = read(actions_["stick"]);
    } else {
        for (const char* hand : {"l", "r"}) {
            StickRead& s = r[hand[0] == 'l' ? "L" : "R"];
            s.x = readFloat(actions_[std::string(hand) + "x"], s.changed, s.lastChange);
            s.y = readFloat(actions_[std::string(hand) + "y"], s.changed, s.lastChange);
        }
    }
    return r;
}

}  // namespace xrtest
