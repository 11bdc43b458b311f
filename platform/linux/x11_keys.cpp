// The virtual-key and keysym table: one entry per pair, read left to right by
// the window system and right to left by the XTest injector.
#include "platform/linux/x11_keys.h"

#include <X11/Xutil.h>
#include <X11/keysym.h>

#include "platform/virtual_keys.h"
#include "platform/window_system.h"

namespace platform::x11 {

static_assert(kVkReturn == vk::kReturn && kVkEscape == vk::kEscape);

namespace {

// Which lookups an entry serves. The first entry that serves a lookup wins.
enum class Way : std::uint8_t {
    Both,
    FromX,  // a keysym that gives the code, but not the key to press for it
    ToX,    // the key to press for the code, which it does not give back
};

struct KeyRun {
    int firstKey;
    int lastKey;
    KeySym firstSym;
    Way way;
};

// Codes that follow their keysyms one for one.
constexpr KeyRun kRuns[] = {
    {vk::kA, vk::kZ, XK_a, Way::Both},
    {vk::kA, vk::kZ, XK_A, Way::FromX},
    {vk::k0, vk::k9, XK_0, Way::Both},
    {vk::kF1, vk::kF24, XK_F1, Way::Both},
    {vk::kNumpad0, vk::kNumpad9, XK_KP_0, Way::Both},
};

struct KeyPair {
    int key;
    KeySym sym;
    Way way = Way::Both;
};

constexpr KeyPair kPairs[] = {
    {vk::kBack, XK_BackSpace},
    {vk::kTab, XK_Tab},
    {vk::kReturn, XK_Return},
    {vk::kReturn, XK_KP_Enter, Way::FromX},
    {vk::kShift, XK_Shift_L},
    {vk::kShift, XK_Shift_R, Way::FromX},
    {vk::kControl, XK_Control_L},
    {vk::kControl, XK_Control_R, Way::FromX},
    {vk::kMenu, XK_Alt_L},
    {vk::kMenu, XK_Alt_R, Way::FromX},
    {vk::kMenu, XK_ISO_Level3_Shift, Way::FromX},  // AltGr
    {vk::kLShift, XK_Shift_L, Way::ToX},
    {vk::kRShift, XK_Shift_R, Way::ToX},
    {vk::kLControl, XK_Control_L, Way::ToX},
    {vk::kRControl, XK_Control_R, Way::ToX},
    {vk::kLMenu, XK_Alt_L, Way::ToX},
    {vk::kRMenu, XK_Alt_R, Way::ToX},
    {vk::kLWin, XK_Super_L},
    {vk::kRWin, XK_Super_R},
    {vk::kApps, XK_Menu},
    {vk::kPause, XK_Pause},
    {vk::kCapital, XK_Caps_Lock},
    {vk::kNumLock, XK_Num_Lock},
    {vk::kScroll, XK_Scroll_Lock},
    {vk::kSnapshot, XK_Print},
    {vk::kEscape, XK_Escape},
    {vk::kSpace, XK_space},

    // The navigation block, and the keypad's keys with NumLock off, which
    // Windows reports as the same keys. Its middle key is VK_CLEAR.
    {vk::kPrior, XK_Prior},
    {vk::kNext, XK_Next},
    {vk::kEnd, XK_End},
    {vk::kHome, XK_Home},
    {vk::kLeft, XK_Left},
    {vk::kUp, XK_Up},
    {vk::kRight, XK_Right},
    {vk::kDown, XK_Down},
    {vk::kInsert, XK_Insert},
    {vk::kDelete, XK_Delete},
    {vk::kPrior, XK_KP_Prior, Way::FromX},
    {vk::kNext, XK_KP_Next, Way::FromX},
    {vk::kEnd, XK_KP_End, Way::FromX},
    {vk::kHome, XK_KP_Home, Way::FromX},
    {vk::kLeft, XK_KP_Left, Way::FromX},
    {vk::kUp, XK_KP_Up, Way::FromX},
    {vk::kRight, XK_KP_Right, Way::FromX},
    {vk::kDown, XK_KP_Down, Way::FromX},
    {vk::kInsert, XK_KP_Insert, Way::FromX},
    {vk::kDelete, XK_KP_Delete, Way::FromX},
    {vk::kClear, XK_KP_Begin},
    {vk::kClear, XK_Clear, Way::FromX},

    // The keypad's operators. Its decimal key is pressed by the keysym of its
    // first level: KP_Decimal alone also names the keypad comma key of some
    // keymaps.
    {vk::kMultiply, XK_KP_Multiply},
    {vk::kAdd, XK_KP_Add},
    {vk::kSeparator, XK_KP_Separator},
    {vk::kSubtract, XK_KP_Subtract},
    {vk::kDecimal, XK_KP_Decimal, Way::FromX},
    {vk::kDecimal, XK_KP_Delete, Way::ToX},
    {vk::kDivide, XK_KP_Divide},

    // Punctuation keys, by their US characters, and the ISO keyboard's extra key.
    {vk::kOem1, XK_semicolon},
    {vk::kOemPlus, XK_equal},
    {vk::kOemComma, XK_comma},
    {vk::kOemMinus, XK_minus},
    {vk::kOemPeriod, XK_period},
    {vk::kOem2, XK_slash},
    {vk::kOem3, XK_grave},
    {vk::kOem4, XK_bracketleft},
    {vk::kOem5, XK_backslash},
    {vk::kOem6, XK_bracketright},
    {vk::kOem7, XK_apostrophe},
    {vk::kOem102, XK_less},

    // The Japanese keyboard's own keys, with the codes its Windows layout
    // gives them: ":*", "@`", "^~", the yen key, 変換, 無変換, 半角/全角,
    // カタカナ/ひらがな and 英数.
    {vk::kOem1, XK_colon, Way::FromX},
    {vk::kOem3, XK_at, Way::FromX},
    {vk::kOem7, XK_asciicircum, Way::FromX},
    {vk::kOem5, XK_yen, Way::FromX},
    {vk::kConvert, XK_Henkan_Mode},
    {vk::kNonConvert, XK_Muhenkan},
    {vk::kKanji, XK_Zenkaku_Hankaku},
    {vk::kDbeHiragana, XK_Hiragana_Katakana},
    {vk::kDbeHiragana, XK_Hiragana, Way::FromX},
    {vk::kDbeKatakana, XK_Katakana},
    {vk::kDbeAlphanumeric, XK_Eisu_toggle},
};

}  // namespace

std::uint32_t virtualKeyOf(KeySym keysym) {
    for (const KeyRun& run : kRuns) {
        const KeySym last = run.firstSym + static_cast<KeySym>(run.lastKey - run.firstKey);
        if (run.way != Way::ToX && keysym >= run.firstSym && keysym <= last) {
            return static_cast<std::uint32_t>(run.firstKey +
                                              static_cast<int>(keysym - run.firstSym));
        }
    }
    for (const KeyPair& pair : kPairs) {
        if (pair.way != Way::ToX && pair.sym == keysym) return static_cast<std::uint32_t>(pair.key);
    }
    return 0;
}

KeySym keysymOf(int virtualKey) {
    for (const KeyRun& run : kRuns) {
        if (run.way != Way::FromX && virtualKey >= run.firstKey && virtualKey <= run.lastKey) {
            return run.firstSym + static_cast<KeySym>(virtualKey - run.firstKey);
        }
    }
    for (const KeyPair& pair : kPairs) {
        if (pair.way != Way::FromX && pair.key == virtualKey) return pair.sym;
    }
    return NoSymbol;
}

std::uint32_t virtualKeyOfKey(KeySym first, KeySym second, bool numLock, bool shift) {
    // Shift with NumLock on gives the navigation key, as on Windows.
    if (numLock && !shift && IsKeypadKey(second)) return virtualKeyOf(second);
    // The Japanese keyboard has two keys with a backslash: the yen key
    // (backslash and bar) is VK_OEM_5, the "ろ" key beside the right Shift
    // (backslash and underscore) is VK_OEM_102.
    if (first == XK_backslash && second == XK_underscore) return vk::kOem102;
    return virtualKeyOf(first);
}

}  // namespace platform::x11
