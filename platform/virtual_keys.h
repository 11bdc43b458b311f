// Windows virtual-key codes, and which keys take the E0 prefix: portable
// tables shared by the input emulator, the injectors and the tests.
#pragma once

#include <cstdint>

namespace platform::vk {

inline constexpr int kBack = 0x08;
inline constexpr int kTab = 0x09;
inline constexpr int kClear = 0x0C;
inline constexpr int kReturn = 0x0D;
inline constexpr int kShift = 0x10;
inline constexpr int kControl = 0x11;
inline constexpr int kMenu = 0x12;  // Alt
inline constexpr int kPause = 0x13;
inline constexpr int kCapital = 0x14;  // Caps Lock
inline constexpr int kKanji = 0x19;    // Japanese keyboards: 半角/全角
inline constexpr int kEscape = 0x1B;
inline constexpr int kConvert = 0x1C;     // Japanese keyboards: 変換
inline constexpr int kNonConvert = 0x1D;  // Japanese keyboards: 無変換
inline constexpr int kSpace = 0x20;
inline constexpr int kPrior = 0x21;  // Page Up
inline constexpr int kNext = 0x22;   // Page Down
inline constexpr int kEnd = 0x23;
inline constexpr int kHome = 0x24;
inline constexpr int kLeft = 0x25;
inline constexpr int kUp = 0x26;
inline constexpr int kRight = 0x27;
inline constexpr int kDown = 0x28;
inline constexpr int kSnapshot = 0x2C;  // Print Screen
inline constexpr int kInsert = 0x2D;
inline constexpr int kDelete = 0x2E;
inline constexpr int k0 = 0x30;  // '0' to '9' are 0x30 to 0x39
inline constexpr int k9 = 0x39;
inline constexpr int kA = 0x41;  // 'A' to 'Z' are 0x41 to 0x5A
inline constexpr int kZ = 0x5A;
inline constexpr int kLWin = 0x5B;
inline constexpr int kRWin = 0x5C;
inline constexpr int kApps = 0x5D;     // context-menu key
inline constexpr int kNumpad0 = 0x60;  // numeric keypad 0 to 9 are 0x60 to 0x69
inline constexpr int kNumpad9 = 0x69;
inline constexpr int kMultiply = 0x6A;
inline constexpr int kAdd = 0x6B;
inline constexpr int kSeparator = 0x6C;
inline constexpr int kSubtract = 0x6D;
inline constexpr int kDecimal = 0x6E;
inline constexpr int kDivide = 0x6F;
inline constexpr int kF1 = 0x70;  // F1 to F24 are 0x70 to 0x87
inline constexpr int kF12 = 0x7B;
inline constexpr int kF24 = 0x87;
inline constexpr int kNumLock = 0x90;
inline constexpr int kScroll = 0x91;  // Scroll Lock
inline constexpr int kLShift = 0xA0;
inline constexpr int kRShift = 0xA1;
inline constexpr int kLControl = 0xA2;
inline constexpr int kRControl = 0xA3;
inline constexpr int kLMenu = 0xA4;
inline constexpr int kRMenu = 0xA5;
inline constexpr int kOem1 = 0xBA;       // ;:
inline constexpr int kOemPlus = 0xBB;    // =+
inline constexpr int kOemComma = 0xBC;   // ,<
inline constexpr int kOemMinus = 0xBD;   // -_
inline constexpr int kOemPeriod = 0xBE;  // .>
inline constexpr int kOem2 = 0xBF;       // /?
inline constexpr int kOem3 = 0xC0;       // `~
inline constexpr int kOem4 = 0xDB;       // [{
inline constexpr int kOem5 = 0xDC;       // \|
inline constexpr int kOem6 = 0xDD;       // ]}
inline constexpr int kOem7 = 0xDE;       // '"
inline constexpr int kOem102 = 0xE2;     // the extra key left of Z on 105-key boards
// Japanese keyboards: 英数 (Caps Lock), カタカナ, ひらがな.
inline constexpr int kDbeAlphanumeric = 0xF0;
inline constexpr int kDbeKatakana = 0xF1;
inline constexpr int kDbeHiragana = 0xF2;

// Keys whose scan code is sent with the E0 prefix: the navigation cluster,
// the right-hand Ctrl and Alt, the Windows and menu keys, keypad divide and
// Num Lock. A scan-code key stroke of one of these must say so, or it arrives
// as the numeric-keypad key that shares its scan code.
constexpr bool isExtendedKey(int virtualKey) {
    switch (virtualKey) {
        case kPrior:
        case kNext:
        case kEnd:
        case kHome:
        case kLeft:
        case kUp:
        case kRight:
        case kDown:
        case kInsert:
        case kDelete:
        case kLWin:
        case kRWin:
        case kApps:
        case kDivide:
        case kNumLock:
        case kRControl:
        case kRMenu:
            return true;
        default:
            return false;
    }
}

}  // namespace platform::vk
