// The X11 key table: what code each key gives, in both directions, against
// the codes that Windows gives the same keys.
#include <gtest/gtest.h>
// clang-format off
#include <X11/keysym.h>
// clang-format on

#include "platform/linux/x11_keys.h"
#include "platform/virtual_keys.h"

using platform::x11::keysymOf;
using platform::x11::virtualKeyOf;
using platform::x11::virtualKeyOfKey;

namespace {

// The code a key message carries for a key pressed by this code.
std::uint32_t messageCodeOf(int code) {
    using namespace platform::vk;
    switch (code) {
        case kLShift:
        case kRShift:
            return kShift;
        case kLControl:
        case kRControl:
            return kControl;
        case kLMenu:
        case kRMenu:
            return kMenu;
        default:
            return static_cast<std::uint32_t>(code);
    }
}

// Every key the injector can press gives its code back; the keypad's decimal
// key (pressed by its first level, KP_Delete) does so with NumLock on.
TEST(X11KeyTable, EveryKeyTheInjectorPressesGivesItsCodeBack) {
    int keys = 0;
    for (int code = 1; code < 256; ++code) {
        const KeySym sym = keysymOf(code);
        if (sym == NoSymbol) continue;
        ++keys;
        const std::uint32_t back = code == platform::vk::kDecimal
                                       ? virtualKeyOfKey(sym, XK_KP_Decimal, true, false)
                                       : virtualKeyOf(sym);
        EXPECT_EQ(back, messageCodeOf(code)) << "code 0x" << std::hex << code;
    }
    EXPECT_GE(keys, 120);  // letters, digits, F keys, keypad and the rest
    // Among them the keys that had no key message before.
    for (int code : {0xDB, 0xDD, 0xDE, 0xC0, 0xDC, 0xE2, 0x5B, 0x5C, 0x5D, 0x90, 0x91, 0x2C, 0x0C,
                     0x1C, 0x1D, 0x19, 0xF2}) {
        EXPECT_NE(keysymOf(code), static_cast<KeySym>(NoSymbol)) << "code 0x" << std::hex << code;
    }
}

// Keys that gave no key message before, with their Windows codes.
TEST(X11KeyTable, PunctuationSystemKeypadAndJapaneseKeysHaveTheirWindowsCodes) {
    const struct {
        KeySym sym;
        std::uint32_t code;
    } keys[] = {
        {XK_bracketleft, 0xDB},
        {XK_bracketright, 0xDD},
        {XK_apostrophe, 0xDE},
        {XK_grave, 0xC0},
        {XK_backslash, 0xDC},
        {XK_less, 0xE2},
        {XK_Super_L, 0x5B},
        {XK_Super_R, 0x5C},
        {XK_Menu, 0x5D},
        {XK_Num_Lock, 0x90},
        {XK_Scroll_Lock, 0x91},
        {XK_Print, 0x2C},
        {XK_KP_Home, 0x24},
        {XK_KP_Up, 0x26},
        {XK_KP_Prior, 0x21},
        {XK_KP_Left, 0x25},
        {XK_KP_Begin, 0x0C},
        {XK_KP_Right, 0x27},
        {XK_KP_End, 0x23},
        {XK_KP_Down, 0x28},
        {XK_KP_Next, 0x22},
        {XK_KP_Insert, 0x2D},
        {XK_KP_Delete, 0x2E},
        {XK_Henkan_Mode, 0x1C},
        {XK_Muhenkan, 0x1D},
        {XK_Zenkaku_Hankaku, 0x19},
        {XK_Hiragana_Katakana, 0xF2},
        {XK_yen, 0xDC},
        {XK_at, 0xC0},
        {XK_colon, 0xBA},
    };
    for (const auto& k : keys)
        EXPECT_EQ(virtualKeyOf(k.sym), k.code) << "keysym 0x" << std::hex << k.sym;
}

TEST(X11KeyTable, KeypadDigitsNeedNumLockAndTheJapaneseBackslashKeysDiffer) {
    // The keypad's 7 key: Home, 7 with NumLock, Home again with Shift.
    EXPECT_EQ(virtualKeyOfKey(XK_KP_Home, XK_KP_7, false, false), 0x24u);
    EXPECT_EQ(virtualKeyOfKey(XK_KP_Home, XK_KP_7, true, false), 0x67u);
    EXPECT_EQ(virtualKeyOfKey(XK_KP_Home, XK_KP_7, true, true), 0x24u);
    EXPECT_EQ(virtualKeyOfKey(XK_KP_Delete, XK_KP_Decimal, true, false), 0x6Eu);
    // A letter is the same code on every level.
    EXPECT_EQ(virtualKeyOfKey(XK_w, XK_W, true, true), 0x57u);
    // Japanese keyboard: the yen key and the "ろ" key.
    EXPECT_EQ(virtualKeyOfKey(XK_backslash, XK_bar, false, false), 0xDCu);
    EXPECT_EQ(virtualKeyOfKey(XK_backslash, XK_underscore, false, false), 0xE2u);
}

}  // namespace
